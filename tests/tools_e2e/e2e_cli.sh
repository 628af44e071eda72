#!/bin/sh
# The host tool's command line as a user meets it: help and version, mistakes named
# with a guess and exit status 2, --json that parses, --format that changes only what
# is given, -y/-n on an existing output, and result codes explained.
#
# usage: e2e_cli.sh BUILD_DIR
set -u
. "$(dirname "$0")/e2e_common.sh"
keys="--keys TunebayTests tools_e2e_cli"
# Runs the tool; standard output to out.txt, the error stream to err.txt; the status
# in $code.
run() {
  timeout -k 10 120 "$build/wine-run" "$tool" "$@" >"$work/out.txt" 2>"$work/err.txt"
  code=$?
}
expect() {  # STATUS FILE PATTERN WHAT
  [ "$code" -eq "$1" ] || failed "$4: exit status $code, wanted $1"
  grep -q -- "$3" "$work/$2" || { failed "$4: no '$3' in $2"; cat "$work/out.txt" "$work/err.txt"; }
}

echo "== help, version, mistakes"
run help;                 expect 0 out.txt '^  convert ' "help"
run help list;            expect 0 out.txt '^usage: tunebay-host list ' "help list"
run interfaces --help;    expect 0 out.txt '^usage: tunebay-host interfaces' "interfaces --help"
run version;              expect 0 out.txt '^tunebay-host [0-9]' "version"
run lsit;                 expect 2 err.txt "unknown command 'lsit'; did you mean list?" "lsit"
run list --jsno;          expect 2 err.txt 'did you mean --json?' "--jsno"
grep -q '^usage: tunebay-host list' "$work/err.txt" || failed "--jsno: no usage after the error"
[ -s "$work/out.txt" ] && failed "an error printed to standard output"
run convert a.wav;        expect 2 err.txt 'convert needs an INPUT and an OUTPUT' "one operand"
run open x --format 48k;  expect 2 err.txt "--format wants RATE" "--format 48k"

echo "== --json parses"
cp "$build/samples/tone.wav" "$work/in.wav"
run list --json $keys;    expect 0 out.txt '"kindName": "decoder"' "list --json"
for cmd in "list --json" "order --json" "info --json $(win "$work/in.wav")" \
           "open --json --explain $(win "$work/in.wav")"; do
  # shellcheck disable=SC2086
  run $cmd $keys
  "$python" -c 'import json,sys; json.load(open(sys.argv[1], encoding="utf-8"))' \
    "$work/out.txt" || failed "$cmd: not JSON (exit status $code)"
done
"$python" - "$work/out.txt" <<'PY' || failed "open --json: fields"
import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
assert d["format"] == {"sampleRate": 44100, "bitsPerSample": 16, "channels": 2}, d["format"]
assert d["title"] == "Test Tone" and d["converted"] is False
assert any(x["pass"] == 0 for x in d["decoders"]), d["decoders"]
PY

echo "== --format changes only what is given"
for case in "22050 22050 16 2" "::1 44100 16 1" ":24: 44100 24 2"; do
  set -- $case
  run convert "$(win "$work/in.wav")" "$(win "$work/f.wav")" -y --format "$1" $keys
  "$python" - "$work/f.wav" "$2" "$3" "$4" <<'PY' || failed "--format $1 (exit status $code)"
import struct, sys
raw = open(sys.argv[1], "rb").read()
channels, rate = struct.unpack_from("<HI", raw, 22)
bits = struct.unpack_from("<H", raw, 34)[0]
assert (rate, bits, channels) == tuple(map(int, sys.argv[2:])), (rate, bits, channels)
PY
done

echo "== -n keeps, -y replaces an existing output"
printf 'keep me' > "$work/exists.wav"
run convert "$(win "$work/in.wav")" "$(win "$work/exists.wav")" -n $keys
expect 0 err.txt 'skipped: .*exists' "-n"
[ "$(cat "$work/exists.wav")" = "keep me" ] || failed "-n changed the output"
run convert -q "$(win "$work/in.wav")" "$(win "$work/exists.wav")" -y $keys
[ "$code" -eq 0 ] && [ ! -s "$work/out.txt" ] || failed "-q -y: exit status $code or a summary"
[ "$(head -c 4 "$work/exists.wav")" = RIFF ] || failed "-y did not replace the output"
run convert "$(win "$work/in.wav")" "$(win "$work/x.wav")" -y -n $keys
expect 2 err.txt '-y and -n exclude each other' "-y -n"

echo "== a result code comes with its sentence"
printf 'not audio at all' > "$work/junk.xyz"
run info "$(win "$work/junk.xyz")" $keys
expect 1 err.txt 'error: opening .*junk.xyz: no decoder could open .*(FileInvalid)' "info of junk"
run open relative.wav $keys
expect 1 err.txt 'error: opening relative.wav: the name is neither .*(BadPathName)' "a relative name"

echo "== Ctrl+C: exit status 130, no partial output"
# Wine turns SIGINT into the console's Ctrl+C. Ten minutes of audio to a rate whose
# ratio with the source's (48000:44099) takes both of the resampler's stages keep the
# conversion busy for some seconds even on a fast machine; two seconds in, a progress
# line with the time left has come (a line a second, the first one before any speed).
timeout -k 10 120 "$build/wine-run" "$tool" tone "$(win "$work/long.wav")" --seconds 600 \
  --format 48000:24:2 -q $keys || failed "the long tone was not written"
"$build/wine-run" "$tool" convert "$(win "$work/long.wav")" "$(win "$work/long-out.wav")" \
  --format 44099 --progress $keys >"$work/out.txt" 2>"$work/err.txt" &
# wine-run and Wine exec each other: this is the tool's own process.
converter=$!
waited=0
until [ -e "$work/long-out.wav.part" ] || [ "$waited" -ge 60 ]; do sleep 0.2; waited=$((waited + 1)); done
sleep 2
kill -INT "$converter"
wait "$converter"
code=$?
expect 130 err.txt 'interrupted' "Ctrl+C during convert"
grep -q 'ETA ' "$work/err.txt" || failed "--progress gave no line with the time left"
ls "$work" | grep -q long-out && failed "Ctrl+C left $(ls "$work" | grep long-out)"
rm -f "$work/long.wav"

[ "$status" -eq 0 ] && echo "all command-line checks passed"
exit $status
