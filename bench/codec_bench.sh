#!/usr/bin/env bash
# Decoding a 10-minute file through the manager (tunebay-host convert: the decoder
# plug-in, the manager's source proxy with no conversion, the WAVE writer), the whole
# process of the installed tool under Wine, against the format's reference decoder
# writing WAVE natively: flac -d, mpg123 -w, oggdec. Runs alternate (ours, theirs, ours, ...) and the ratio of
# the medians is printed per format.
#
# usage: bash bench/codec_bench.sh [BUILD_DIR [RUNS]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win}" && pwd)
runs=${2:-5}
cmake --build "$build" --target tunebay-host tb_bundled_plugins -j 2 >/dev/null

work=$(mktemp -d)
prefix="$build/wineprefix"
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
. "$root/bench/wine_bench.sh"
start_wine_server

cd "$work"
sox -R -n -b 16 -r 44100 -c 2 src.wav synth 600 sine 220 sine 330 synth pinknoise mix gain -6
flac -s -f -o t.flac src.wav
lame --quiet -b 192 src.wav t.mp3
oggenc -Q -q 5 -o t.ogg src.wav

# Every command runs quiet, ours too (-q: no summary). Printed to /dev/null, a character
# device that the C library takes for a terminal, the summary went out a character at a
# time, each with a console query through Wine's server (441 of them).

# The product as it ships: installed, its binaries stripped. The build tree's carry their
# debug information, which Wine reads into memory with each library: about 0.03 s more
# per run, for loading alone.
cmake --install "$build" --prefix "$work/installed" >/dev/null
host="$work/installed/bin/tunebay-host.exe"
# One line: NAME and the medians of the files of wall and processor times given.
report() {
  local ours theirs oursCpu theirsCpu
  ours=$(cut -d' ' -f1 "$2" | median)
  theirs=$(cut -d' ' -f1 "$3" | median)
  oursCpu=$(cut -d' ' -f2 "$2" | median)
  theirsCpu=$(cut -d' ' -f2 "$3" | median)
  printf '%-6s %9.3fs %9.3fs %7.2f   (%.3fs %.3fs %.2f)\n' "$1" "$ours" "$theirs" \
    "$(awk -v a="$ours" -v b="$theirs" 'BEGIN {print a / b}')" "$oursCpu" "$theirsCpu" \
    "$(awk -v a="$oursCpu" -v b="$theirsCpu" 'BEGIN {print a / b}')"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-6s %10s %10s %7s   %s\n' format ours reference ratio "(processor time: ours reference ratio)"
for format in flac mp3 ogg; do
  case $format in
    flac) ref=(flac -s -f -d -o ref.wav t.flac) ;;
    mp3) ref=(mpg123 -q -w ref.wav t.mp3) ;;
    ogg) ref=(oggdec -Q -o ref.wav t.ogg) ;;
  esac
  : >ours.txt
  : >theirs.txt
  : >theirs24.txt
  for _ in $(seq "$runs"); do
    rm -f out.wav
    timed "$build/wine-run" "$host" convert -q "Z:$work/t.$format" "Z:$work/out.wav" >>ours.txt
    rm -f ref.wav
    timed "${ref[@]}" >>theirs.txt
    if [ "$format" = mp3 ]; then
      # For information: our MP3 output is 24-bit, mpg123 -w's 16-bit.
      rm -f ref.wav
      timed mpg123 -q -e s24 -w ref.wav t.mp3 >>theirs24.txt
    fi
  done
  report "$format" ours.txt theirs.txt
  [ "$format" = mp3 ] && report "mp3/24" ours.txt theirs24.txt
done
echo "(mp3/24: against mpg123 -e s24 -w, which writes 24-bit WAVE as we do)"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
