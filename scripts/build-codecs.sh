#!/usr/bin/env bash
# Cross-builds the codec libraries of the FLAC, Ogg Vorbis and MP3 plug-ins for i686
# Windows from Debian's source packages (fetched by install-deps.sh):
#   build-codecs.sh <source packages folder> <work folder> <install prefix>
# libogg, libvorbis and libFLAC become static libraries (optimised, no programs);
# libmpg123 becomes its own DLL, so a user can replace it. Each package is built once:
# a stamp in the work folder records what was built, and a second run does nothing.
set -euo pipefail
mkdir -p "$2" "$3"
src_dir=$(cd "$1" && pwd) work=$(cd "$2" && pwd) prefix=$(cd "$3" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
toolchain="$root/cmake/mingw-i686.cmake"
jobs=${TB_CODEC_JOBS:-2}

fail() {
  echo "build-codecs: $*" >&2
  exit 1
}

# Unpacks <package> into the work folder with Debian's patches applied, once.
unpack() {
  local pkg=$1 dsc orig deb dir
  dsc=$(compgen -G "$src_dir/${pkg}_*.dsc" | head -n1) ||
    fail "no source package of $pkg in $src_dir: run scripts/install-deps.sh"
  orig=$(compgen -G "$src_dir/${pkg}_*.orig.tar.*" | grep -v '\.asc$' | head -n1) ||
    fail "the upstream tarball of $pkg is missing from $src_dir"
  deb=$(compgen -G "$src_dir/${pkg}_*.debian.tar.*" | head -n1) ||
    fail "the Debian tarball of $pkg is missing from $src_dir"
  dir="$work/src/$pkg"
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    tar -xf "$orig" -C "$dir" --strip-components=1
    tar -xf "$deb" -C "$dir"
    if [ -f "$dir/debian/patches/series" ]; then
      local p
      while read -r p _; do
        case "$p" in '' | '#'*) continue ;; esac
        patch -s -d "$dir" -p1 <"$dir/debian/patches/$p" || fail "patch $p of $pkg does not apply"
      done <"$dir/debian/patches/series"
    fi
    touch "$dir/.unpacked"
  fi
  echo "$dir"
}

# The compiler flags of the libraries. libvorbis is built as its own build system builds
# it for x86 (-O3 -ffast-math); the others with the toolchain's usual -O2. All use SSE2
# for floating point, which the plug-ins' own code relies on too. libogg and libvorbis
# also carry link-time code (beside the ordinary code, for links without it): the Vorbis
# decoder's link optimises them as one, which puts libogg's bit reader inline in
# libvorbis's codebook decoding, a tenth of the decoder's time (decoding takes about 8%
# less processor time).
base_cflags="-O2 -DNDEBUG -msse2 -mfpmath=sse"
vorbis_cflags="-O3 -ffast-math -fsigned-char -DNDEBUG -msse2 -mfpmath=sse"
lto_cflags="-flto -ffat-lto-objects"

# Configures, builds and installs one CMake project into the prefix with the C flags
# $cflags, once per set of flags.
build() {
  local name=$1 source=$2
  shift 2
  # The stamp lives in the prefix and records the flags: removing the installed files,
  # or changing the flags, builds them again. An empty stamp is from before the flags
  # were recorded, when every library had the base flags.
  local stamp="$prefix/.$name.built" built
  if [ -f "$stamp" ]; then
    built=$(cat "$stamp")
    [ "${built:-$base_cflags}" = "$cflags" ] && return 0
  fi
  echo "build-codecs: building $name"
  rm -rf "$work/build/$name"
  cmake -S "$source" -B "$work/build/$name" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DOGG_INCLUDE_DIR="$prefix/include" -DOGG_LIBRARY="$prefix/lib/libogg.a" \
    -DOgg_DIR="$prefix/lib/cmake/Ogg" \
    -DCMAKE_C_FLAGS_RELEASE="$cflags" \
    -DCMAKE_AR="$(command -v i686-w64-mingw32-gcc-ar-win32)" \
    -DCMAKE_RANLIB="$(command -v i686-w64-mingw32-gcc-ranlib-win32)" \
    -DCMAKE_POLICY_DEFAULT_CMP0074=NEW "$@" >"$work/$name.log" 2>&1 ||
    fail "configuring $name failed; see $work/$name.log"
  cmake --build "$work/build/$name" -j "$jobs" >>"$work/$name.log" 2>&1 ||
    fail "building $name failed; see $work/$name.log"
  cmake --install "$work/build/$name" >>"$work/$name.log" 2>&1 ||
    fail "installing $name failed; see $work/$name.log"
  echo "$cflags" >"$stamp"
}

mkdir -p "$work" "$prefix/licences"
ogg=$(unpack libogg)
vorbis=$(unpack libvorbis)
flac=$(unpack flac)
mpg123=$(unpack mpg123)

cflags="$base_cflags $lto_cflags" build ogg "$ogg" -DBUILD_SHARED_LIBS=OFF -DINSTALL_DOCS=OFF \
  -DBUILD_TESTING=OFF
cflags="$vorbis_cflags $lto_cflags" build vorbis "$vorbis" -DBUILD_SHARED_LIBS=OFF \
  -DBUILD_TESTING=OFF
cflags=$base_cflags
build flac "$flac" -DBUILD_SHARED_LIBS=OFF -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF \
  -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF \
  -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF -DWITH_OGG=ON
# The replaceable DLL: shared, with the runtime linked in so it needs only Windows' own
# DLLs, and no output modules or network code (the plug-in decodes files only).
build mpg123 "$mpg123/ports/cmake" -DBUILD_SHARED_LIBS=ON -DBUILD_PROGRAMS=OFF \
  -DBUILD_LIBOUT123=OFF -DNETWORK=OFF -DUSE_MODULES=OFF \
  -DCMAKE_SHARED_LINKER_FLAGS="-static-libgcc -static"

# The licence texts travel with the plug-ins.
cp "$ogg/COPYING" "$prefix/licences/libogg.txt"
cp "$vorbis/COPYING" "$prefix/licences/libvorbis.txt"
cp "$flac/COPYING.Xiph" "$prefix/licences/libflac.txt"
cp "$mpg123/COPYING" "$prefix/licences/libmpg123.txt"
