#!/usr/bin/env bash
# Builds the benchmark programs, runs every one under Wine (the converter also beside
# sox on the same file) and prints the ratios they measured, all from this one run.
#
# usage: bash bench/run_all.sh [BUILD_DIR]
#   BUILD_DIR  a Windows build tree (default: build/win, configured here if needed)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win}

# The cross compiler, Wine and sox (the converter's yardstick), when missing.
bash "$root/scripts/install-deps.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
build=$(cd "$build" && pwd)
cmake --build "$build" --target order_bench proxy_bench convert_bench -j 2 >/dev/null

prefix="$build/wineprefix"
logs=$(mktemp -d)
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$logs"
}
trap cleanup EXIT
# Outputs of Windows programs end their lines with CR LF.
run() { "$@" | tr -d '\r'; }

echo "== order: GetOrderedComponents against working out the keys once"
run "$build/wine-run" "$build/bin/order_bench.exe" | tee "$logs/order.txt"
echo
echo "== proxy: reading through the source proxy against reading directly"
run "$build/wine-run" "$build/bin/proxy_bench.exe" | tee "$logs/proxy.txt"
echo
echo "== convert: the PCM converter, 44.1 kHz to 48 kHz stereo 16-bit, against sox"
run sh "$root/bench/convert_bench.sh" "$build" 60 | tee "$logs/convert.txt"

echo
echo "== Ratios, all measured in this run"
awk '/^every / { title = $0; sub(/:$/, "", title) }
     /^  ratio:/ { printf "order:   %s: GetOrderedComponents / keys once, median %s" \
                          " (target <= 3)\n", title, $3 + 0 }' "$logs/order.txt"
sed -n 's/^ratio /proxy:   /p' "$logs/proxy.txt"
awk '/^best of/ { printf "convert: %s times real time on one core (target >= 100)\n", $(NF-3) }
     /^ours \/ sox time:/ { printf "convert: our time / sox rate -v time: %s\n", $NF }
     /^sox not installed/ { print "convert: " $0 }' "$logs/convert.txt"
