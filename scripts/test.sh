#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test: the Windows tests
# under Wine, the platform-free tests natively under ASan/UBSan.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" --native

prefix="$root/build/win/wineprefix"
stop_wine() { WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT
# Make the prefix once, then keep one server warm for the whole run.
"$root/build/win/wine-run" cmd /c exit >/dev/null 2>&1 || true
WINEPREFIX="$prefix" wineserver -p

status=0
(cd "$root/build/native" && ctest --output-on-failure) || status=1
(cd "$root/build/win" && ctest --output-on-failure -j 2) || status=1
exit $status
