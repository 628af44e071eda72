#!/bin/sh
# The PCM convertor against sox's very-high-quality rate conversion, both as a user runs
# them: whole processes on the same files (`tunebay-host convert` under Wine, sox
# natively), 24-bit stereo output.
#
#  1. Quality: a sine at -1 dBFS (24-bit, 12 s) converted by both at each rate pair;
#     the signal to noise and distortion of each output, measured alike. Both sides
#     are limited by 24-bit rounding, so the tone is 997.3 Hz: its period shares no
#     multiple with any of the rates within the file, and the rounding errors are noise.
#     At 1 kHz they repeat every 8 to 441 samples, and which side comes out a tenth of
#     a dB ahead depends on where a handful of values happen to round.
#  2. Speed: 10-minute files (a length where Wine's fixed start-up no longer counts),
#     44.1 -> 48, 48 -> 44.1 and 96 -> 44.1 kHz; the two sides take turns, and the
#     medians of the rounds give the ratio ours / sox (target: at most 0.5), in wall time
#     and, less disturbed by a busy machine, in processor time.
#
# usage: bench/convert_bench.sh BUILD_DIR [seconds [rounds]]
set -eu
build=$(cd "${1:?usage: convert_bench.sh BUILD_DIR [seconds [rounds]]}" && pwd)
seconds=${2:-600}
rounds=${3:-3}
command -v sox >/dev/null || { echo "sox not installed: no comparison"; exit 0; }
work=$(mktemp -d)
export WINEPREFIX="$build/wineprefix"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/wine_bench.sh"
start_wine_server

bench() { "$build/wine-run" "$build/bin/convert_bench.exe" "$@" | tr -d '\r'; }
ours() { "$build/wine-run" "$build/bin/tunebay-host.exe" convert "Z:$1" "Z:$2" --format "$3:24:2" >/dev/null 2>&1; }
soxv() { sox "$1" -b 24 "$2" rate -v "$3"; }

tone=997.3
echo "Quality: $tone Hz sine at -1 dBFS, 24-bit in and out, SINAD in dB"
printf '%-18s %8s %8s %8s\n' "case" "input" "ours" "sox -v"
for pair in 44100:48000 48000:44100 96000:44100 44100:96000 8000:48000 22050:44100 \
            48000:96000 11025:44100 192000:44100; do
  in=${pair%:*}
  out=${pair#*:}
  bench tone "Z:$work/q.wav" "$in" 12 "$tone" >/dev/null
  ours "$work/q.wav" "$work/q-ours.wav" "$out"
  soxv "$work/q.wav" "$work/q-sox.wav" "$out"
  a=$(bench sinad "Z:$work/q.wav" "$tone" | sed -n 's/^sinad=//p')
  b=$(bench sinad "Z:$work/q-ours.wav" "$tone" | sed -n 's/^sinad=//p')
  c=$(bench sinad "Z:$work/q-sox.wav" "$tone" | sed -n 's/^sinad=//p')
  printf '%-18s %8s %8s %8s\n' "$in -> $out" "$a" "$b" "$c"
done
rm -f "$work"/q*.wav

echo
echo "Speed: $seconds s stereo 24-bit files, whole processes, $rounds rounds taken in turn"
for pair in 44100:48000 48000:44100 96000:44100; do
  in=${pair%:*}
  out=${pair#*:}
  bench tone "Z:$work/in.wav" "$in" "$seconds" >/dev/null
  : >"$work/ours.t"
  : >"$work/sox.t"
  for round in $(seq "$rounds"); do
    timed "$build/wine-run" "$build/bin/tunebay-host.exe" convert "Z:$work/in.wav" \
      "Z:$work/out.wav" --format "$out:24:2" -q >>"$work/ours.t"
    rm -f "$work/out.wav"
    timed sox "$work/in.wav" -b 24 "$work/out.wav" rate -v "$out" >>"$work/sox.t"
    rm -f "$work/out.wav"
  done
  o=$(cut -d' ' -f1 "$work/ours.t" | median)
  s=$(cut -d' ' -f1 "$work/sox.t" | median)
  oc=$(cut -d' ' -f2 "$work/ours.t" | median)
  sc=$(cut -d' ' -f2 "$work/sox.t" | median)
  echo "$in -> $out: ours $(cut -d' ' -f1 "$work/ours.t" | tr '\n' ' ')s, sox $(cut -d' ' -f1 "$work/sox.t" | tr '\n' ' ')s"
  echo "$o $s $in $out $oc $sc" | awk '{ printf "ratio %s -> %s: median ours %.2f s / sox %.2f s = %.2f (processor time %.2f s / %.2f s = %.2f)\n",
                                  $3, $4, $1, $2, $1 / $2, $5, $6, $5 / $6 }'
  rm -f "$work/in.wav"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
