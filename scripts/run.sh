#!/usr/bin/env bash
# The main job: builds everything and runs the host tool over the bundled plug-ins.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
prefix="$root/build/win/wineprefix"
trap 'WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true' EXIT
cd "$root/build/win"
./wine-run tools/tunebay-host.exe "$@"
