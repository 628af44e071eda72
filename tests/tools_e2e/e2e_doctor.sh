#!/bin/sh
# A folder of broken plug-ins beside a good one, as a new user might have it: doctor
# must name each problem and fail, list --verbose must give the scan's reasons, and a
# failed open must name the decoders it asked.
#
# usage: e2e_doctor.sh BUILD_DIR [no-x86_64]
set -u
build=$(cd "${1:?usage: e2e_doctor.sh BUILD_DIR}" && pwd)
tool="$build/bin/tunebay-host.exe"
plugins="$build/testplugins"
export WINEPREFIX="$build/wineprefix"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

dir="$work/plugins"
mkdir -p "$dir"
cp "$plugins/tp_plugin.dll" "$dir/zqgood.dll"
cp "$plugins/tp_plugin.dll" "$dir/zqrefuses.dll"
cp "$plugins/tp_plugin.dll" "$dir/zqcrashes.dll"
cp "$plugins/tp_noready.dll" "$dir/zqnoentry.dll"
cp "$plugins/needs_helper.dll" "$dir/zqneedshelper.dll"
head -c 4096 /dev/urandom >"$dir/zqrandom.dll"
cp "$plugins/tp_plugin.dll" "$dir/unprefixed.dll"
if [ "${2:-}" = no-x86_64 ]; then
  echo "SKIP: the 64-bit case (x86_64-w64-mingw32-gcc was missing at configure time)"
else
  cp "$plugins/wide64.dll" "$dir/zqwide64.dll"
fi
export TP_MODE_zqrefuses=primary=false TP_MODE_zqcrashes=primary=av

"$build/wine-run" "$tool" doctor "Z:$dir" >"$work/doctor" 2>&1
status=$?
cat "$work/doctor"
[ "$status" = 1 ] || fail "doctor exited $status, not 1"
expect() {  # FILE PATTERN: doctor's section of FILE must contain PATTERN
  sed -n "/$1: /,/^[^ ]/p" "$work/doctor" | grep -q "$2" || fail "$1: no '$2'"
}
expect zqgood.dll "^.*zqgood.dll: ok"
expect zqgood.dll "ok    setup"
expect zqgood.dll "ReadyToFinish answered true"
expect zqrefuses.dll "FAIL  primary .*answered false"
expect zqcrashes.dll "FAIL  primary .*access violation (0xc0000005)"
expect zqnoentry.dll "FAIL  entry-point  does not export ORVA_PLUGIN_ReadyToFinish"
expect zqneedshelper.dll "FAIL  imports .*needs absent_helper.dll, which is not found"
expect zqrandom.dll "FAIL  image .*not an executable image"
expect unprefixed.dll "skipped by the scan"
if [ "${2:-}" != no-x86_64 ]; then
  expect zqwide64.dll "FAIL  machine .*built for x64"
fi

"$build/wine-run" "$tool" doctor --json "Z:$dir" >"$work/json" 2>/dev/null
/usr/bin/python3 - "$work/json" <<'PY' || fail "doctor --json"
import json, sys
report = json.load(open(sys.argv[1]))
assert report["ok"] is False
files = {f["file"].split("\\")[-1]: f for f in report["files"]}
assert files["zqgood.dll"]["ok"] is True, files["zqgood.dll"]
for name in ("zqrefuses.dll", "zqnoentry.dll", "zqneedshelper.dll", "zqrandom.dll"):
    assert files[name]["ok"] is False, name
PY

"$build/wine-run" "$tool" doctor "Z:$dir/zqgood.dll" >"$work/one" 2>&1 ||
  fail "doctor on the good plug-in alone: $(cat "$work/one")"

# A plug-in that hangs or ends the process is reported, and the next file is checked.
one="$work/alone"
mkdir -p "$one"
cp "$plugins/tp_plugin.dll" "$one/zqhangs.dll"
cp "$plugins/tp_plugin.dll" "$one/zqquits.dll"
TP_MODE_zqhangs=primary=hang TP_MODE_zqquits=primary=failfast \
  "$build/wine-run" "$tool" doctor --timeout 3 "Z:$one" >"$work/alone.txt" 2>&1
status=$?
cat "$work/alone.txt"
[ "$status" = 1 ] || fail "doctor over a hanging plug-in exited $status"
grep -q "FAIL  hang .*no answer within 3 s during the primary step" "$work/alone.txt" ||
  fail "the hang is not reported"
grep -q "FAIL  crash .*ended during the primary step: fail-fast exit .*(0xc0000409)" "$work/alone.txt" ||
  fail "the crash is not reported"

"$build/wine-run" "$tool" list --verbose --plugins "Z:$dir" >"$work/list" 2>&1 ||
  fail "list --verbose: $(cat "$work/list")"
cat "$work/list"
grep -q "zqrefuses.dll: loaded, but ORVA_PLUGIN_GetPrimaryAudioObject answered false" \
  "$work/list" || fail "list: zqrefuses"
grep -q "zqcrashes.dll: fault caught in ORVA_PLUGIN_GetPrimaryAudioObject: access violation" \
  "$work/list" || fail "list: zqcrashes"
grep -q "zqnoentry.dll: no entry point ORVA_PLUGIN_ReadyToFinish" "$work/list" ||
  fail "list: zqnoentry"
grep -q "zqneedshelper.dll: not loaded (system error 126): needs absent_helper.dll" \
  "$work/list" || fail "list: zqneedshelper"
grep -q "zqrandom.dll: not loaded (system error [0-9]*): not an executable image" \
  "$work/list" || fail "list: zqrandom"
grep -q "unprefixed.dll: skipped" "$work/list" || fail "list: unprefixed"
if [ "${2:-}" != no-x86_64 ]; then
  grep -q "zqwide64.dll: not loaded (system error [0-9]*): built for x64" "$work/list" ||
    fail "list: zqwide64"
fi

"$build/wine-run" "$tool" list --verbose --json --plugins "Z:$dir" >"$work/list.json" 2>/dev/null ||
  fail "list --verbose --json"
/usr/bin/python3 - "$work/list.json" <<'PY' || fail "list --verbose --json: files"
import json, sys
files = {f["file"]: f for f in json.load(open(sys.argv[1]))["files"]}
assert files["zqgood.dll"]["outcome"] == "loaded" and files["zqgood.dll"]["components"] == 1
assert files["zqneedshelper.dll"]["outcome"] == "load-failed"
assert "absent_helper.dll" in files["zqneedshelper.dll"]["reason"]
assert files["unprefixed.dll"]["outcome"] == "skipped-name"
PY

# The library's trace: -v to the error stream, TUNEBAY_TRACE=FILE to a file.
"$build/wine-run" "$tool" -v list --plugins "Z:$dir" 2>"$work/trace" >/dev/null ||
  fail "list -v"
grep -q "^tunebay: zqneedshelper.dll: not loaded (system error 126)" "$work/trace" ||
  fail "-v gives no trace: $(cat "$work/trace")"
TUNEBAY_TRACE="Z:$work/trace.txt" "$build/wine-run" "$tool" list --plugins "Z:$dir" \
  >/dev/null 2>&1 || fail "list with TUNEBAY_TRACE"
grep -q "^tunebay: zqgood.dll: loaded with 1 component$" "$work/trace.txt" ||
  fail "TUNEBAY_TRACE wrote no file"

# A file no decoder opens, over the bundled plug-ins: one line per decoder asked.
printf 'not audio' >"$work/noise.wav"
noise="Z:$(echo "$work/noise.wav" | tr / '\\')"
"$build/wine-run" "$tool" open "$noise" >"$work/open" 2>&1 &&
  fail "open of a file no decoder reads succeeded"
cat "$work/open"
grep -q "tried .*(zqwave.dll), pass 0 (lists the extension): " "$work/open" ||
  fail "open names no decoder tried"
echo "PASS"
