#!/bin/sh
# The SDK headers as an MSVC user compiles them: each on its own, with clang in MSVC
# mode (syntax only), as C++11 and C++17, warning-free. TB_CHECK_IID_TEXT makes every
# identifier declaration check, through __uuidof, that its text and numbers agree; the
# C header is checked as C99 as well.
#   msvc_check.sh CLANG SOURCE_DIR
set -eu
clang=$1
source=$2
flags="--target=i686-pc-windows-msvc -fsyntax-only -fms-extensions -fms-compatibility
       -ffreestanding -Wall -Wextra -Werror -DTB_CHECK_IID_TEXT
       -isystem $source/tests/sdk/msvc -I$source/include"
status=0
for header in "$source"/include/tunebay/*.h; do
  name=$(basename "$header")
  for std in c++11 c++17; do
    echo "#include <tunebay/$name>" | $clang $flags -std=$std -x c++ - ||
      { echo "FAIL: $name as $std"; status=1; }
  done
done
if [ -f "$source/include/tunebay/tunebay_c.h" ]; then
  echo "#include <tunebay/tunebay_c.h>" | $clang $flags -std=c99 -pedantic -x c - ||
    { echo "FAIL: tunebay_c.h as C99"; status=1; }
fi
[ $status -eq 0 ] && echo "every SDK header compiles in MSVC mode"
exit $status
