#!/usr/bin/env bash
# Builds the benchmark programs, runs every one under Wine (the convertor as the host
# tool beside sox on the same files) and prints the ratios they measured, all from this
# one run.
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
cmake --build "$build" --target order_bench proxy_bench convert_bench tunebay-host \
  tb_bundled_plugins -j 2 >/dev/null

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
echo "== convert: tunebay-host convert against sox rate -v, whole processes, same files"
run sh "$root/bench/convert_bench.sh" "$build" 600 3 | tee "$logs/convert.txt"

echo
echo "== Ratios, all measured in this run"
awk '/^every / { title = $0; sub(/:$/, "", title) }
     /^  ratio:/ { printf "order:   %s: GetOrderedComponents / keys once, median %s" \
                          " (target <= 3)\n", title, $3 + 0 }' "$logs/order.txt"
sed -n 's/^ratio /proxy:   /p' "$logs/proxy.txt"
awk '/^ratio / { sub(/^ratio /, ""); printf "convert: %s (target <= 0.5)\n", $0 }
     /^load average/ { print "convert: " $0 }
     /^sox not installed/ { print "convert: " $0 }' "$logs/convert.txt"
