#!/usr/bin/env bash
# Takes PNG screenshots of the two settings dialogs, in English and in German, as a
# host shows them with the bundled plug-ins, and puts them in docs/screenshots/.
# The dialogs run under Wine in a virtual desktop on a private Xvfb display, so they
# are drawn with their frames and captions exactly as Wine draws them.
#
# usage: scripts/screenshots.sh [BUILD_DIR [OUT_DIR]]
#   BUILD_DIR defaults to build/win (built if needed), OUT_DIR to docs/screenshots.
#   TB_SHOT_LANGUAGES="NAME:LANGID[:LOCALE] ..." takes other languages, e.g.
#   "ru:0x0419:ru_RU.UTF-8" (the locale gives Wine the language's ANSI code page).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/win}")
out=$(realpath -m "${2:-$root/docs/screenshots}")
read -r -a languages <<<"${TB_SHOT_LANGUAGES:-en:0x0409 de:0x0407:de_DE.UTF-8}"

bash "$root/scripts/install-deps.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j 2 --target tb_dialog_shots tunebay tb_bundled_plugins

work=$(mktemp -d)
stop_wine() { WINEPREFIX="$build/wineprefix" wineserver -k >/dev/null 2>&1 || true; }
trap 'stop_wine; rm -rf "$work"' EXIT

# Wine draws the caption buttons with the Marlett font. Debian's wine does not look
# for its own fonts in /usr/share/wine/fonts, so the prefix gets a copy of it.
"$build/wine-run" cmd /c exit >/dev/null 2>&1 || true
stop_wine
fonts="$build/wineprefix/drive_c/windows/Fonts"
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$fonts/marlett.ttf" ]; then
  mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
fi

mkdir -p "$out"
for entry in "${languages[@]}"; do
  IFS=: read -r name langid locale <<<"$entry"
  # The program waits for each dialog, captures it from the screen and closes it.
  (cd "$work" && LC_ALL=${locale:-en_US.UTF-8} xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/wine-run" explorer "/desktop=shots,1024x768" "$build/bin/tb_dialog_shots.exe" \
    . "$langid" "$name")
  stop_wine
  for picture in settings artist-title; do
    python3 "$root/scripts/bmp_to_png.py" "$work/$picture-$name.bmp" "$out/$picture-$name.png"
    echo "wrote $out/$picture-$name.png"
  done
done
