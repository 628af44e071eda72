#!/bin/sh
# The host tool's convert as a user meets it: every rate change keeps the whole audio
# (ceil(frames x to / from) frames, as a reference resampler gives them), an output
# name no encoder writes is refused before anything is written, a file cut short is
# converted with a warning and its own exit status, and a stale OUTPUT.part from a
# killed run does not get in the way.
#
# usage: e2e_convert.sh BUILD_DIR
set -u
. "$(dirname "$0")/e2e_common.sh"
keys="--keys TunebayTests tools_e2e_convert"
run_tool() { timeout -k 10 120 "$build/wine-run" "$tool" "$@"; }

# A 16-bit stereo tone of FRAMES frames at RATE; with DECLARED, the data chunk claims
# that many bytes whatever it holds.
make_wave() {
  "$python" - "$@" <<'PY'
import math, struct, sys
path, rate, frames = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
declared = int(sys.argv[4]) if len(sys.argv) > 4 else frames * 4
data = bytearray()
for i in range(frames):
    v = int(round(14000 * math.sin(2 * math.pi * 997 * i / rate)))
    data += struct.pack("<hh", v, v)
fmt = struct.pack("<HHIIHH", 1, 2, rate, rate * 4, 4, 16)
body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", declared)
open(path, "wb").write(b"RIFF" + struct.pack("<I", len(body) + len(data)) + body + data)
PY
}

# The number of frames in a 16-bit stereo WAVE file's data chunk.
frames_of() {
  "$python" - "$1" <<'PY'
import struct, sys
raw = open(sys.argv[1], "rb").read()
pos = 12
while pos + 8 <= len(raw):
    size = struct.unpack_from("<I", raw, pos + 4)[0]
    if raw[pos:pos + 4] == b"data":
        print(size // 4)
        break
    pos += 8 + size + (size & 1)
PY
}

echo "== every rate change keeps the whole audio"
# from to frames: 10 s at 44.1k, 1 s of the others, and a 12 ms clip.
for pair in "44100 48000 441000" "48000 44100 48000" "44100 96000 44100" "8000 48000 8000" \
            "96000 44100 96000" "22050 44100 22050" "44100 8000 529"; do
  set -- $pair
  make_wave "$work/in.wav" "$1" "$3"
  want=$(( ($3 * $2 + $1 - 1) / $1 ))
  if run_tool convert "$(win "$work/in.wav")" "$(win "$work/out.wav")" --format "$2:16:2" \
      $keys > "$work/convert.txt" 2>&1; then
    got=$(frames_of "$work/out.wav")
    echo "$1 -> $2: $3 frames gave $got, wanted $want"
    [ "$got" = "$want" ] || failed "$1 -> $2 gave $got frames, wanted $want"
    grep -q "announced" "$work/convert.txt" && failed "$1 -> $2: the summary reports a shortfall"
  else
    cat "$work/convert.txt"
    failed "convert $1 -> $2 exited non-zero"
  fi
done

echo "== an output name that no encoder writes is refused, and nothing is written"
make_wave "$work/in.wav" 44100 4410
mkdir "$work/refused"
for name in out.mp3 out.txt out; do
  run_tool convert "$(win "$work/in.wav")" "$(win "$work/refused/$name")" $keys \
    > "$work/refused.txt" 2>&1
  code=$?
  cat "$work/refused.txt"
  [ "$code" -eq 2 ] || failed "$name gave exit status $code, wanted 2"
done
grep -q 'no encoder writes .txt; available: .wav' "$work/refused.txt" ||
  grep -q 'no encoder writes' "$work/refused.txt" || failed "the refusal does not say why"
run_tool convert "$(win "$work/in.wav")" "$(win "$work/refused/out.mp3")" $keys 2>&1 |
  grep -q 'no encoder writes .mp3; available: .*\.wav' || failed "the refusal names no extensions"
[ -z "$(ls -A "$work/refused")" ] || failed "a refused conversion wrote $(ls -A "$work/refused")"

echo "== a file cut short converts with a warning and exit status 3"
make_wave "$work/cut.wav" 44100 4410 35280  # declares twice what it holds
run_tool convert "$(win "$work/cut.wav")" "$(win "$work/cut-out.wav")" --format 48000:16:2 \
  $keys > "$work/cut.txt" 2>&1
code=$?
cat "$work/cut.txt"
[ "$code" -eq 3 ] || failed "a file cut short gave exit status $code, wanted 3"
grep -q 'delivered 4800 frames of the 9600 it announced' "$work/cut.txt" ||
  failed "the warning does not give both figures"
[ "$(frames_of "$work/cut-out.wav")" = 4800 ] || failed "the output is not what the input held"
run_tool info "$(win "$work/cut.wav")" $keys > "$work/cut-info.txt" 2>&1
cat "$work/cut-info.txt"
grep -q 'announces 8820 frames but holds data for 4410' "$work/cut-info.txt" ||
  failed "info does not warn of the missing data"

echo "== a stale OUTPUT.part is replaced, and none is left"
printf 'junk' > "$work/stale.wav.part"
run_tool convert "$(win "$work/in.wav")" "$(win "$work/stale.wav")" $keys > /dev/null 2>&1 ||
  failed "a stale .part stopped the conversion"
[ -f "$work/stale.wav" ] || failed "no output beside a stale .part"
[ -e "$work/stale.wav.part" ] && failed "the .part was left behind"

echo "== tags only when they exist"
# The artist the output carries, or "none".
artist_of() {
  "$python" - "$1" <<'PY'
import struct, sys
raw = open(sys.argv[1], "rb").read()
pos, artist = 12, "none"
while pos + 8 <= len(raw):
    size = struct.unpack_from("<I", raw, pos + 4)[0]
    if raw[pos:pos + 4] == b"LIST" and raw[pos + 8:pos + 12] == b"INFO":
        at = pos + 12
        while at + 8 <= pos + 8 + size:
            n = struct.unpack_from("<I", raw, at + 4)[0]
            if raw[at:at + 4] == b"IART":
                artist = raw[at + 8:at + 8 + n].split(b"\0")[0].decode("latin-1")
            at += 8 + n + (n & 1)
    pos += 8 + size + (size & 1)
print(artist)
PY
}
make_wave "$work/long.wav" 44100 4410
for mode in own --tags-from-name --no-tags; do
  extra=""
  [ "$mode" = own ] || extra=$mode
  # shellcheck disable=SC2086
  run_tool convert "$(win "$work/long.wav")" "$(win "$work/tags.wav")" $extra $keys \
    > "$work/tags.txt" 2>&1 || failed "convert $mode exited non-zero"
  artist=$(artist_of "$work/tags.wav")
  echo "$mode: artist $artist"
  case "$mode" in
    --tags-from-name) [ "$artist" = long ] || failed "--tags-from-name gave artist $artist" ;;
    *) [ "$artist" = none ] || failed "$mode invented the artist $artist" ;;
  esac
done
run_tool info "$(win "$work/long.wav")" $keys 2>&1 | grep -q 'artist "long" (guessed from the file name' ||
  failed "info does not show the file name's guess as such"

echo "== names users have: outside the code page, and printed as they are"
make_wave "$work/café.wav" 44100 4410
cp "$work/café.wav" "$work/日本語.wav"
run_tool info "$(win "$work/café.wav")" $keys > "$work/cafe.txt" 2>&1 ||
  failed "info of café.wav exited non-zero"
grep -q 'café.wav' "$work/cafe.txt" || failed "café.wav is not printed as it is"
run_tool convert "$(win "$work/日本語.wav")" "$(win "$work/from-short.wav")" $keys \
  > "$work/short.txt" 2>&1 || failed "a name outside the code page did not open by its short form"
[ "$(frames_of "$work/from-short.wav")" = 4410 ] || failed "the short form gave the wrong audio"
run_tool convert "$(win "$work/café.wav")" "$(win "$work/出力.wav")" $keys > "$work/out-name.txt" 2>&1
code=$?
cat "$work/out-name.txt"
[ "$code" -eq 2 ] || failed "an output name outside the code page gave exit status $code, wanted 2"
grep -q 'cannot pass the manager.s 8-bit interface' "$work/out-name.txt" ||
  failed "the refusal of the output name does not say why"

echo "== a plug-in that will not unload after a written output is a warning"
mkdir "$work/plugins"
for dll in zqwave.dll zqpcmconv.dll zqwavewriter.dll; do cp "$build/bin/plugins/$dll" "$work/plugins/"; done
# The test plug-in under an admitted name, set to refuse to unload.
cp "$build/testplugins/tp_plugin.dll" "$work/plugins/zqstay.dll"
TP_MODE_zqstay=ready=false run_tool convert "$(win "$work/in.wav")" "$(win "$work/stay.wav")" \
  --plugins "$(win "$work/plugins")" $keys > "$work/stay.txt" 2>&1
code=$?
cat "$work/stay.txt"
[ "$code" -eq 0 ] || failed "a refusal to unload after a written output gave exit status $code"
grep -q '^warning: a plug-in is not ready to be unloaded' "$work/stay.txt" ||
  failed "the refusal to unload is not reported"
[ -f "$work/stay.wav" ] || failed "no output beside the refusal to unload"

[ "$status" -eq 0 ] && echo "all convert checks passed"
exit $status
