#!/usr/bin/env bash
# Fails when a tracked C++ file differs from the committed .clang-format.
# Fix with: git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/tb-format.$$; then
  grep -E '^[^ ].*(warning|error):' /tmp/tb-format.$$ | cut -d: -f1 | sort -u |
    sed 's/^/not formatted: /' >&2
  rm -f /tmp/tb-format.$$
  echo "format: run clang-format -i on the files above" >&2
  exit 1
fi
rm -f /tmp/tb-format.$$
echo "format: ${#files[@]} files match .clang-format"
