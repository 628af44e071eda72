#!/bin/sh
# The host tool's main job from end to end, as a user runs it: the sample tone that the
# build wrote is converted from the local file and from an http server on 127.0.0.1,
# and each output is checked for its format, length, pitch, level and tags. Failures
# must leave no output behind and exit non-zero.
#
# usage: e2e_http.sh BUILD_DIR
set -u
. "$(dirname "$0")/e2e_common.sh"
here=$(cd "$(dirname "$0")" && pwd)
sample="$build/samples/tone.wav"

# Nothing may leave the machine: no proxy, whatever the caller's environment says.
unset http_proxy https_proxy ftp_proxy all_proxy no_proxy \
      HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY NO_PROXY

[ -f "$sample" ] || { echo "FAIL: no sample $sample (the build writes it)"; exit 1; }

server=""
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Its own settings key, so that a user's artist/title setting cannot change the tags.
keys="--keys TunebayTests tools_e2e"

run_tool() {
  # Bounded even if a transfer or the tool hangs.
  timeout -k 10 120 "$build/wine-run" "$tool" "$@"
}

check() {
  "$python" "$here/check_wave.py" "$@" --seconds 5 --tolerance-ms 5 --freq 1000 --level -6 \
    --tag "INAM=Test Tone" --tag "IART=Tunebay" --tag "IPRD=Tunebay Samples" \
    --tag "IGNR=Test" --tag "ICRD=2024" || status=1
}

echo "== the README's main job: the local sample to 48000:24:2"
if run_tool convert "$(win "$sample")" "$(win "$work/tone-48k.wav")" --format 48000:24:2 \
    $keys > "$work/local.txt"; then
  cat "$work/local.txt"
  grep -q "convertor: PCM convertor" "$work/local.txt" ||
    failed "the summary does not name the convertor"
  grep -q "decoder:   WAVE decoder (zqwave.dll)" "$work/local.txt" ||
    failed "the summary does not name the decoder"
  check "$work/tone-48k.wav" --format 48000:24:2
else
  failed "convert of the local sample exited non-zero"
fi

echo "== without --format the audio passes unchanged"
if run_tool convert "$(win "$sample")" "$(win "$work/same.wav")" $keys > "$work/same.txt"; then
  cat "$work/same.txt"
  grep -q "convertor: none" "$work/same.txt" || failed "a conversion was reported where none is"
  "$python" - "$sample" "$work/same.wav" <<'PY' || failed "the audio changed on its way through"
import sys
def data(path):
    raw = open(path, "rb").read()
    pos = 12
    while pos + 8 <= len(raw):
        size = int.from_bytes(raw[pos + 4:pos + 8], "little")
        if raw[pos:pos + 4] == b"data":
            return raw[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    sys.exit("no data chunk in " + path)
a, b = data(sys.argv[1]), data(sys.argv[2])
print("data chunks: %d and %d bytes, %s" % (len(a), len(b), "equal" if a == b else "DIFFERENT"))
sys.exit(0 if a == b else 1)
PY
else
  failed "convert without --format exited non-zero"
fi

echo "== an 8-bit mono tone of the tool's own, up to 48000:32:2"
if run_tool tone "$(win "$work/low.wav")" --seconds 2 --freq 1000 --format 22050:8:1 \
    $keys > "$work/low.txt" &&
   run_tool convert "$(win "$work/low.wav")" "$(win "$work/high.wav")" --format 48000:32:2 \
    $keys > "$work/high.txt"; then
  cat "$work/low.txt" "$work/high.txt"
  # The source proxy never asks the convertor for its tail: half the filter (7 ms from
  # 22.05 kHz) stays behind.
  for args in "$work/low.wav --format 22050:8:1" "$work/high.wav --format 48000:32:2"; do
    # shellcheck disable=SC2086
    "$python" "$here/check_wave.py" $args --seconds 2 --tolerance-ms 10 --freq 1000 \
      --level -6 || status=1
  done
else
  failed "tone or convert of the 8-bit tone exited non-zero"
fi

echo "== the same over http from 127.0.0.1, to 48000:16:1"
mkdir "$work/www"
cp "$sample" "$work/www/tone.wav"
# Port 0: the server takes a free port and says which.
"$python" -u -m http.server --bind 127.0.0.1 --directory "$work/www" 0 \
  > "$work/server.log" 2>&1 &
server=$!
port=""
tries=0
while [ -z "$port" ]; do
  port=$(sed -n 's/^Serving HTTP on 127\.0\.0\.1 port \([0-9][0-9]*\).*/\1/p' "$work/server.log")
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || { cat "$work/server.log"; echo "FAIL: no http server"; exit 1; }
  tries=$((tries + 1))
  [ "$tries" -le 100 ] || { echo "FAIL: the http server did not start in 10 s"; exit 1; }
  sleep 0.1
done
url="http://127.0.0.1:$port"

if run_tool convert "$url/tone.wav" "$(win "$work/tone-http.wav")" --format 48000:16:1 \
    $keys > "$work/http.txt"; then
  cat "$work/http.txt"
  check "$work/tone-http.wav" --format 48000:16:1
else
  failed "convert over http exited non-zero"
fi

echo "== batch convert of URLs: one good, one missing"
if run_tool convert "$url/tone.wav?x=1" "$url/missing.wav" --out-dir "$(win "$work/batch")" \
    $keys > "$work/batch.txt"; then
  failed "a missing URL must fail the batch"
fi
cat "$work/batch.txt"
[ -f "$work/batch/tone.wav" ] || failed "the URL's output is not DIR/tone.wav"
grep -q "1 converted, 0 skipped, 1 failed" "$work/batch.txt" || failed "the batch summary is wrong"
grep -q "failed: $url/missing.wav" "$work/batch.txt" || failed "the missing URL is not reported"

echo "== info over http: the tags and the rule's artist and title"
if run_tool info "$url/tone.wav" $keys > "$work/info.txt"; then
  cat "$work/info.txt"
  grep -q 'format:     44100 Hz, 16 bits, 2 channels' "$work/info.txt" ||
    failed "info gives the wrong format"
  grep -q 'length:     220500 frames, 5.000 s' "$work/info.txt" ||
    failed "info gives the wrong length"
  grep -q 'by that rule: title "Test Tone", artist "Tunebay"' "$work/info.txt" ||
    failed "info gives the wrong title or artist"
else
  failed "info over http exited non-zero"
fi

echo "== failures: a missing URL and an impossible format leave nothing behind"
mkdir "$work/failed"
run_tool convert "$url/missing.wav" "$(win "$work/failed/missing.wav")" $keys > "$work/404.txt" 2>&1
code=$?
cat "$work/404.txt"
[ "$code" -eq 1 ] || failed "a missing URL gave exit status $code, wanted 1"
grep -q "404" "$work/404.txt" || failed "the server's 404 is not in the message"
run_tool convert "$(win "$sample")" "$(win "$work/failed/odd.wav")" --format 48000:20:2 $keys \
  > "$work/odd.txt" 2>&1
code=$?
cat "$work/odd.txt"
[ "$code" -eq 1 ] || failed "an unconvertible format gave exit status $code, wanted 1"
leftovers=$(ls -A "$work/failed")
[ -z "$leftovers" ] || failed "a failed conversion left files behind: $leftovers"

echo "== list and order: the catalogue and the user's decoder order"
if run_tool list --json $keys | tr -d '\r' > "$work/list.json"; then
  "$python" - "$work/list.json" <<'PY' || failed "list does not show the bundled plug-ins"
import json, sys
components = json.load(open(sys.argv[1]))["components"]
wanted = [("WAVE decoder", 3, "zqwave.dll", 0), ("PCM convertor", 5, "zqpcmconv.dll", 0),
          ("WAVE writer", 4, "zqwavewriter.dll", 0)]
have = [(c["name"], c["kind"], c["module"], c["index"]) for c in components]
missing = [w for w in wanted if w not in have]
print("%d components listed%s" % (len(have), "; missing %s" % missing if missing else ""))
sys.exit(1 if missing else 0)
PY
else
  failed "list exited non-zero"
fi
# The decoders' keys in the stored order, most preferred first.
order_keys() { run_tool order $keys | tr -d '\r' | awk '$1 ~ /^[0-9]+$/ { print $2 }'; }
before=$(order_keys)
set -- $before
if [ "$#" -lt 2 ]; then
  failed "order lists fewer than two decoders: $before"
else
  first=$1
  last=$(echo "$before" | tail -n 1)
  reversed=$(echo "$before" | awk '{ k[NR] = $0 } END { for (i = NR; i >= 1; i--) print k[i] }')
  # shellcheck disable=SC2086
  run_tool order set $reversed $keys > /dev/null || failed "order set exited non-zero"
  now=$(order_keys | head -n 1)
  [ "$now" = "$last" ] || failed "after order set the first decoder is $now, wanted $last"
  # shellcheck disable=SC2086
  run_tool order set $before $keys > /dev/null || failed "restoring the order failed"
  [ "$(order_keys | head -n 1)" = "$first" ] || failed "the order was not restored"
  run_tool order set no-such-key $keys > /dev/null 2>&1 &&
    failed "order set accepted a key that matches no decoder"
fi

[ "$status" -eq 0 ] && echo "all end-to-end checks passed"
exit $status
