# Sourced by the end-to-end scripts, after their `set -u`, with the build folder as $1:
# the tool, Debian's interpreter when there is one (the checks need nothing beyond its
# library), a work folder removed at exit, Windows names for its files (Wine maps Z: to
# /), and failures counted in $status rather than ending the script.
build=$(cd "${1:?usage: $(basename "$0") BUILD_DIR}" && pwd)
tool="$build/bin/tunebay-host.exe"
python=/usr/bin/python3
[ -x "$python" ] || python=python3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

win() { printf 'Z:%s' "$1" | tr / '\\'; }
status=0
failed() { echo "FAIL: $*"; status=1; }
