#!/usr/bin/env bash
# After the Windows tests: the FLAC files our encoder wrote pass the reference tool's
# test (which checks the STREAMINFO MD5), decode to the same samples as their input,
# and carry the tags.
set -euo pipefail
cd "$1"
for bits in 16 24; do
  file=written$bits.flac
  flac -s -t "$file"
  flac -s -f -d -o "$file.check.wav" "$file"
  cmp <(sox "$file.check.wav" -t raw -) <(sox "s$bits.flac.ref.wav" -t raw -)
  [ "$(metaflac --show-tag=TITLE "$file")" = "TITLE=Written Title" ]
done
echo "written FLAC files pass flac -t and decode to their input"
