#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test: the Windows tests
# under Wine, the platform-free tests natively under ASan/UBSan.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Some tests create windows: without a display the whole run gets one private Xvfb,
# which xvfb-run stops when the run ends. Wine's programs then share one display.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" "$@"
fi
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/check-format.sh"
bash "$root/scripts/build.sh" --native

prefix="$root/build/win/wineprefix"
stop_wine() { WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT
# Make the prefix once, then keep one server warm for the whole run (a server still
# running from making the prefix is waited for first: -p refuses to start beside it).
# A server some earlier run left persistent in this prefix would never end: stopped.
stop_wine
"$root/build/win/wine-run" cmd /c exit >/dev/null 2>&1 || true
WINEPREFIX="$prefix" wineserver -w
WINEPREFIX="$prefix" wineserver -p || echo "note: no persistent wineserver; tests start their own"
# One program first, so Wine's own services are up before the tests start. The tests
# then run one at a time: two programs racing through a fresh prefix's start-up have
# been seen to hang at exit under Wine, and the whole Windows suite takes seconds.
"$root/build/win/wine-run" cmd /c exit >/dev/null 2>&1 || true

status=0
(cd "$root/build/native" && ctest --output-on-failure) || status=1
(cd "$root/build/win" && ctest --output-on-failure) || status=1
exit $status
