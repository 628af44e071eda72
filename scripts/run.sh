#!/usr/bin/env bash
# The main job: builds everything (the build also writes the sample tone
# build/win/samples/tone.wav) and converts the sample to 48 kHz 24-bit stereo with the
# host tool, through the manager's proxies and the bundled plug-ins, printing the
# summary. With arguments, runs the host tool with them instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
prefix="$root/build/win/wineprefix"
trap 'WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true' EXIT
cd "$root/build/win"
if [ "$#" -eq 0 ]; then
  mkdir -p out
  ./wine-run bin/tunebay-host.exe convert samples/tone.wav out/tone-48k.wav --format 48000:24:2
  echo "The converted file: $root/build/win/out/tone-48k.wav"
else
  ./wine-run bin/tunebay-host.exe "$@"
fi
