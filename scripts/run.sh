#!/usr/bin/env bash
# The main job: builds everything (the build also writes the sample tone
# build/win/samples/tone.wav) and converts the sample to 48 kHz 24-bit stereo with the
# host tool, through the manager's proxies and the bundled plug-ins, printing the
# summary.
#
# With arguments, runs the host tool with them instead, after building only what it
# needs (the tool, tunebay.dll and the bundled plug-ins). That build is quiet: its
# output goes to build/win/run-build.log, shown only when it fails, so that standard
# output carries the tool's alone (`bash scripts/run.sh list --json | python3 -m
# json.tool`). When no source changed since the last such build, nothing is built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/win"
prefix="$build/wineprefix"

if [ "$#" -eq 0 ]; then
  bash "$root/scripts/install-deps.sh"
  bash "$root/scripts/build.sh"
  trap 'WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true' EXIT
  cd "$build"
  mkdir -p out
  ./wine-run bin/tunebay-host.exe convert samples/tone.wav out/tone-48k.wav --format 48000:24:2
  echo "The converted file: $root/build/win/out/tone-48k.wav"
  exit 0
fi

# Whatever the installer says goes to the error stream: standard output is the tool's.
bash "$root/scripts/install-deps.sh" >&2

# Touched when a quiet build succeeded; set to the time that build started, so that a
# file changed while it ran still counts as changed.
stamp="$build/run-build.stamp"
log="$build/run-build.log"
changed() {
  [ -f "$stamp" ] && [ -f "$build/bin/tunebay-host.exe" ] || return 0
  [ -n "$(find "$root" \( -path "$root/build" -o -path "$root/.git" -o -path "$root/deps" \) \
    -prune -o -newer "$stamp" -type f -print -quit)" ]
}
if changed; then
  mkdir -p "$build"
  started="$build/run-build.started"
  touch "$started"
  if ! {
    if [ ! -f "$build/CMakeCache.txt" ]; then
      cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo
    fi
    cmake --build "$build" -j "$(nproc)" --target tunebay-host tb_bundled_plugins
  } >"$log" 2>&1; then
    cat "$log" >&2
    echo "run.sh: the build failed; its output is above and in $log" >&2
    rm -f "$started"
    exit 1
  fi
  mv "$started" "$stamp"
fi

trap 'WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true' EXIT
# Run from the caller's folder, so that relative names mean what the caller typed.
status=0
"$build/wine-run" "$build/bin/tunebay-host.exe" "$@" || status=$?
exit "$status"
