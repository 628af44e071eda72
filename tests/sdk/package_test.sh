#!/bin/sh
# The SDK as its users get it: installs this build into a temporary prefix, checks what
# the prefix holds (stripped binaries with their debug information beside them, a
# version resource on each), then builds the plug-in and host templates from a copy
# outside the repository against the installed package and runs them under Wine.
#   package_test.sh BUILD_DIR SOURCE_DIR OBJDUMP
set -eu
build=$1
source=$2
objdump=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
  cat "$work/install.log"; fail "cmake --install"; }
for f in include/tunebay/tunebay.h include/tunebay/com_ptr.h include/tunebay/version.h \
         lib/libtunebay.dll.a lib/cmake/Tunebay/TunebayConfig.cmake bin/tunebay.dll \
         bin/tunebay-host.exe bin/plugins/zqwave.dll; do
  [ -f "$prefix/$f" ] || fail "the prefix lacks $f"
done
# The MP3 plug-in's library ships beside it, with its licence, when the codecs are built.
if [ -f "$build/bin/plugins/libmpg123.dll" ]; then
  for f in bin/plugins/libmpg123.dll bin/plugins/licences/libmpg123.txt; do
    [ -f "$prefix/$f" ] || fail "the prefix lacks $f"
  done
fi

# Every shipped binary: stripped, its debug information in .debug/ beside it, and a
# VERSIONINFO resource with this version.
version=$(sed -n 's/^#define TUNEBAY_SDK_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' \
          "$source/include/tunebay/version.h" | paste -sd.)
for bin in "$prefix"/bin/*.dll "$prefix"/bin/*.exe "$prefix"/bin/plugins/*.dll; do
  name=$(basename "$bin")
  # Not ours: a library built by its own project, which a user may replace.
  [ "$name" = libmpg123.dll ] && continue
  debug=$(dirname "$bin")/.debug/$name.debug
  "$objdump" -h "$bin" | grep -q '\.debug_info' && fail "$name still carries debug information"
  "$objdump" -h "$bin" | grep -q '\.gnu_debuglink' || fail "$name does not name its debug file"
  "$objdump" -h "$debug" | grep -q '\.debug_info' || fail "$debug lacks the debug information"
  python3 - "$bin" "$version" <<'PY' || fail "$name has no version resource of $version"
import sys
data = open(sys.argv[1], "rb").read()
for text in ("VS_VERSION_INFO", "FileVersion", sys.argv[2], "Tunebay"):
    if text.encode("utf-16-le") not in data:
        sys.exit(1)
PY
done

# The templates, copied out of the tree and built with two commands each.
cp -r "$source/templates" "$work/templates"
for t in plugin host; do
  (cd "$work/templates/$t" &&
   cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686.cmake" \
         -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >"$work/$t.log" 2>&1 &&
   cmake --build build >>"$work/$t.log" 2>&1) || { cat "$work/$t.log"; fail "building the $t template"; }
done

run() { "$build/wine-run" "$@" 2>&1 | tr -d '\r'; }
# A Windows path of a Linux path: Wine's Z: drive, with backslashes (the manager takes
# only drive paths with backslashes for files).
winpath() { printf 'Z:%s\n' "$1" | tr / '\\'; }
show() { printf '%s\n' "$1"; }
plugins=$work/plugins
mkdir "$plugins"
cp "$work/templates/plugin/build/zqtemplate.dll" "$prefix/bin/plugins/zqwave.dll" "$plugins/"

out=$(run "$prefix/bin/tunebay-host.exe" --version)
show "$out"
show "$out" | grep -q "^tunebay-host $version " || fail "tunebay-host --version"
show "$out" | grep -q "^tunebay.dll $version.0 " || fail "tunebay.dll's version resource"

out=$(run "$prefix/bin/tunebay-host.exe" list --plugins "$(winpath "$plugins")")
show "$out"
show "$out" | grep -q "zqtemplate.dll *0 *Template decoder" || fail "list does not show the template"
show "$out" | grep -q "not ready" && fail "the template plug-in was not ready to finish"

out=$(run "$work/templates/host/build/template-host.exe" "$(winpath "$plugins")" "$(winpath "$build/samples/tone.wav")")
show "$out"
show "$out" | grep -q "component 0: Template decoder (kind 3)" || fail "the host template's list"
show "$out" | grep -q "opened .*: 44100 Hz, 16 bits, 2 channels, 882000 bytes" ||
  fail "the host template did not read the sample"
show "$out" | grep -q "manager released, 0 references left" || fail "the manager outlived the host"
echo "package test passed"
