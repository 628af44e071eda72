#!/bin/sh
# The host tool's batch convert, as a user runs it on a music folder: FLAC and MP3 in
# nested folders, a damaged file and a picture. The outputs must keep the layout and
# the tags, the bad file must be reported with a non-zero exit while the others are
# converted, and -n / -y must skip / overwrite what exists.
#
# usage: e2e_batch.sh BUILD_DIR
set -u
build=$(cd "${1:?usage: e2e_batch.sh BUILD_DIR}" && pwd)
tool="$build/bin/tunebay-host.exe"
export WINEPREFIX="$build/wineprefix"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
run() { "$build/wine-run" "$tool" convert "$@" >"$work/log" 2>&1; }

mkdir -p "$work/in/album/disc2"
sox -R -n -b 16 -r 44100 -c 2 "$work/a.wav" synth 1 sine 440 gain -3
flac -s -T "TITLE=Batch Title" -T "ARTIST=Batch Artist" -o "$work/in/album/one.flac" "$work/a.wav"
lame --quiet -b 128 "$work/a.wav" "$work/in/album/disc2/two.mp3"
head -c 3000 /dev/urandom | { printf 'fLaC'; cat; } >"$work/in/album/bad.flac"
printf 'not audio' >"$work/in/album/cover.jpg"

run "Z:$work/in" --out-dir "Z:$work/out" --to wav && fail "a bad file must fail the batch"
grep -q "bad.flac" "$work/log" || fail "the bad file is not reported"
[ -f "$work/out/album/one.wav" ] || fail "no album/one.wav"
[ -f "$work/out/album/disc2/two.wav" ] || fail "no album/disc2/two.wav"
[ ! -e "$work/out/album/cover.wav" ] || fail "a picture was converted"
[ ! -e "$work/out/album/bad.wav" ] || fail "the bad file left an output"
grep -q "2 converted, 0 skipped, 1 failed" "$work/log" || fail "summary: $(tail -3 "$work/log")"
# The tags travel with the audio.
/usr/bin/python3 - "$work/out/album/one.wav" <<'PY' || fail "tags or length lost"
import sys, wave
data = open(sys.argv[1], 'rb').read()
assert b'Batch Title' in data and b'Batch Artist' in data
w = wave.open(sys.argv[1])
assert w.getnframes() == 44100 and w.getframerate() == 44100
PY

rm "$work/in/album/bad.flac"
run "Z:$work/in" --out-dir "Z:$work/out" && fail "existing outputs must fail without -y or -n"
run "Z:$work/in" --out-dir "Z:$work/out" -n || fail "-n: $(tail -3 "$work/log")"
grep -q "0 converted, 2 skipped, 0 failed" "$work/log" || fail "-n summary: $(tail -2 "$work/log")"
run "Z:$work/in/album/one.flac" --out-dir "Z:$work/out" --to flac --cd -y ||
  fail "-y: $(tail -3 "$work/log")"
flac -s -t "$work/out/one.flac" || fail "the written FLAC does not pass flac -t"
# Two inputs with one output name: the second must not replace the first's output.
run "Z:$work/in/album/one.flac" "Z:$work/in/album/disc2/two.mp3" "Z:$work/in/album/disc2/two.mp3" \
  --out-dir "Z:$work/out2" -y && fail "a clash of outputs must fail"
grep -q "output of an earlier input" "$work/log" || fail "the clash is not reported"
[ -f "$work/out2/two.wav" ] || fail "the first of the clashing inputs was not converted"
# The FLAC compression level, single and batch: both ends pass flac -t and the highest
# is smaller; a level out of range, or for an encoder without levels, writes nothing.
run "Z:$work/a.wav" "Z:$work/l0.flac" --level 0 || fail "--level 0: $(tail -3 "$work/log")"
run "Z:$work/a.wav" --out-dir "Z:$work/l8" --to flac --level 8 || fail "--level 8 in a batch"
flac -s -t "$work/l0.flac" "$work/l8/a.flac" || fail "a FLAC at level 0 or 8 fails flac -t"
[ "$(stat -c %s "$work/l8/a.flac")" -lt "$(stat -c %s "$work/l0.flac")" ] ||
  fail "level 8 is not smaller than level 0"
run "Z:$work/a.wav" "Z:$work/l9.flac" --level 9 && fail "level 9 must be refused"
grep -q "levels 0 to 8" "$work/log" || fail "the refused level is not explained"
run "Z:$work/a.wav" "Z:$work/x.wav" --level 3 && fail "the WAVE writer has no levels"
[ ! -e "$work/l9.flac" ] && [ ! -e "$work/x.wav" ] || fail "a refused level left an output"
echo "batch convert: layout, tags, failures, -n, -y and --level as expected"
