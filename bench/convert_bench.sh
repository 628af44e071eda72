#!/bin/sh
# Times the converter under Wine (bin/convert_bench.exe of a Windows build tree) against
# sox's very-high-quality rate conversion of the same generated file, and prints the
# ratio of the two times, both measured in this one run (best of three each).
#
# usage: bench/convert_bench.sh BUILD_DIR [seconds]
set -eu
build=$(cd "${1:?usage: convert_bench.sh BUILD_DIR [seconds]}" && pwd)
seconds=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/wine-run" "$build/bin/convert_bench.exe" "Z:$work/in.wav" "$seconds" |
  tee "$work/ours.txt"
ours=$(sed -n 's/^convert_seconds=//p' "$work/ours.txt" | tr -d '\r')

command -v sox >/dev/null || { echo "sox not installed: no comparison"; exit 0; }
best=""
for round in 1 2 3; do
  start=$(date +%s.%N)
  sox "$work/in.wav" -b 16 "$work/out.wav" rate -v 48000
  end=$(date +%s.%N)
  best=$(echo "$start $end $best" |
    awk '{ t = $2 - $1; if ($3 == "" || t < $3) print t; else print $3 }')
done
factor=$(echo "$seconds $best" | awk '{ printf "%.1f", $1 / $2 }')
echo "sox rate -v 48000: best of 3: $best s, $factor times real time"
echo "$ours $best" | awk '{ printf "ours / sox time: %.2f\n", $1 / $2 }'
