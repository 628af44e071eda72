#!/usr/bin/env bash
# Cross-builds the codec libraries of the FLAC, Ogg Vorbis and MP3 plug-ins for i686
# Windows from Debian's source packages (fetched by install-deps.sh):
#   build-codecs.sh <source packages folder> <work folder> <install prefix> [<runner>]
# libogg, libvorbis and libFLAC become static libraries (optimised, no programs);
# libmpg123 becomes its own DLL, so a user can replace it, built with profile feedback
# when <runner> (the build's wine-run) can run Windows programs. Each package is built
# once: a stamp in the install prefix records what was built, and a second run does
# nothing.
set -euo pipefail
mkdir -p "$2" "$3"
src_dir=$(cd "$1" && pwd) work=$(cd "$2" && pwd) prefix=$(cd "$3" && pwd)
runner=${4:-}
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

# Whether <name> is installed with the C flags $cflags (or, where set, $recipe: the flags
# and what else changes the build). The stamp lives in the prefix and records them:
# removing the installed files, or changing the flags, builds them again. An empty
# stamp is from before the flags were recorded, when every library had the base flags.
built_with() {
  local stamp="$prefix/.$1.built" built
  [ -f "$stamp" ] || return 1
  built=$(cat "$stamp")
  [ "${built:-$base_cflags}" = "${recipe:-$cflags}" ]
}

# Configures CMake project <name> from <source> with the C flags $cflags (the build
# folder kept, so a second configuration with other flags rebuilds in place).
configure() {
  local name=$1 source=$2
  shift 2
  cmake -S "$source" -B "$work/build/$name" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DOGG_INCLUDE_DIR="$prefix/include" -DOGG_LIBRARY="$prefix/lib/libogg.a" \
    -DOgg_DIR="$prefix/lib/cmake/Ogg" \
    -DCMAKE_C_FLAGS_RELEASE="$cflags" \
    -DCMAKE_AR="$(command -v i686-w64-mingw32-gcc-ar-win32)" \
    -DCMAKE_RANLIB="$(command -v i686-w64-mingw32-gcc-ranlib-win32)" \
    -DCMAKE_POLICY_DEFAULT_CMP0074=NEW "$@" >>"$work/$name.log" 2>&1 ||
    fail "configuring $name failed; see $work/$name.log"
}

compile() {
  cmake --build "$work/build/$1" -j "$jobs" >>"$work/$1.log" 2>&1 ||
    fail "building $1 failed; see $work/$1.log"
}

install_built() {
  cmake --install "$work/build/$1" >>"$work/$1.log" 2>&1 ||
    fail "installing $1 failed; see $work/$1.log"
  echo "${recipe:-$cflags}" >"$prefix/.$1.built"
}

# Configures, builds and installs one CMake project into the prefix with the C flags
# $cflags, once per set of flags.
build() {
  local name=$1
  built_with "$name" && return 0
  echo "build-codecs: building $name"
  rm -rf "$work/build/$name"
  : >"$work/$name.log"
  configure "$@"
  compile "$name"
  install_built "$name"
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
mpg123_args=(-DBUILD_SHARED_LIBS=ON -DBUILD_PROGRAMS=OFF -DBUILD_LIBOUT123=OFF -DNETWORK=OFF
  -DUSE_MODULES=OFF)
mpg123_link="-static-libgcc -static"
# Nor its Windows file-name code, for its own mpg123_open (the plug-in hands it its reads
# instead): that needs the shell's path functions, and the shell brings the window
# system, which every process that loads the plug-in would then start (a few hundredths
# of a second under Wine). Without it mpg123_open takes 8-bit names.
sed -i 's/^set(WANT_WIN32_UNICODE ${WIN32})$/set(WANT_WIN32_UNICODE OFF)/' \
  "$mpg123/ports/cmake/src/CMakeLists.txt"
grep -q '^set(WANT_WIN32_UNICODE OFF)$' "$mpg123/ports/cmake/src/CMakeLists.txt" ||
  fail "mpg123's build no longer sets WANT_WIN32_UNICODE where expected"

# Layer III decoding in libmpg123 is most of an MP3 conversion's time, and profile
# feedback makes it faster (about 5% less processor time for the whole conversion of a
# 10-minute file). The library is built instrumented, decodes a few MP3 files that lame
# makes (the rates, modes and float output the plug-in meets most), and is built again
# in the same folder with that profile. Code the training does not reach stays
# optimised as usual (-fprofile-partial-training). Without a runner, lame or sox the
# library is built once, without a profile.
pgo_use="-fprofile-use -fprofile-partial-training -Wno-missing-profile"
train_mpg123() {
  local dir="$work/train" exe
  rm -rf "$dir" && mkdir -p "$dir"
  exe="$work/build/mpg123/src/libmpg123/mpg123-train.exe"
  i686-w64-mingw32-gcc-win32 -O2 -D_FILE_OFFSET_BITS=64 -I"$work/build/mpg123/src/libmpg123" \
    -I"$mpg123/src/libmpg123" "$root/scripts/mpg123-train.c" -o "$exe" \
    "$work/build/mpg123/src/libmpg123/libmpg123.dll.a" >>"$work/mpg123.log" 2>&1 ||
    fail "building the training program failed; see $work/mpg123.log"
  {
    sox -R -n -b 16 -r 44100 -c 2 "$dir/a.wav" synth 30 sine 220 sine 330 synth pinknoise \
      mix gain -6 &&
      sox -R -n -b 16 -r 48000 -c 2 "$dir/b.wav" synth 10 sine 1000 brownnoise mix gain -6 &&
      sox -R -n -b 16 -r 22050 -c 1 "$dir/c.wav" synth 10 pinknoise gain -3 &&
      lame --quiet -V 2 "$dir/a.wav" "$dir/a.mp3" &&
      lame --quiet -b 320 "$dir/b.wav" "$dir/b.mp3" &&
      lame --quiet -b 64 "$dir/c.wav" "$dir/c.mp3"
  } >>"$work/mpg123.log" 2>&1 || fail "making the training files failed; see $work/mpg123.log"
  (cd "$dir" && "$runner" "$exe" a.mp3 b.mp3 c.mp3) >>"$work/mpg123.log" 2>&1 ||
    fail "the training run failed; see $work/mpg123.log"
  rm -rf "$dir"
}
trained=0
if [ -n "$runner" ] && [ -x "$runner" ] && command -v lame >/dev/null && command -v sox >/dev/null
then
  trained=1
  cflags="$base_cflags $pgo_use"
else
  cflags=$base_cflags
fi
recipe="$cflags (8-bit names)"
if built_with mpg123; then
  :
elif [ "$trained" = 1 ]; then
  echo "build-codecs: building mpg123 (instrumented, trained, then with the profile)"
  rm -rf "$work/build/mpg123"
  : >"$work/mpg123.log"
  cflags="$base_cflags -fprofile-generate" configure mpg123 "$mpg123/ports/cmake" \
    "${mpg123_args[@]}" -DCMAKE_SHARED_LINKER_FLAGS="$mpg123_link -fprofile-generate"
  compile mpg123
  train_mpg123
  configure mpg123 "$mpg123/ports/cmake" "${mpg123_args[@]}" \
    -DCMAKE_SHARED_LINKER_FLAGS="$mpg123_link"
  compile mpg123
  install_built mpg123
else
  echo "build-codecs: no runner, lame or sox: libmpg123 gets no profile"
  build mpg123 "$mpg123/ports/cmake" "${mpg123_args[@]}" -DCMAKE_SHARED_LINKER_FLAGS="$mpg123_link"
fi

# The licence texts travel with the plug-ins.
cp "$ogg/COPYING" "$prefix/licences/libogg.txt"
cp "$vorbis/COPYING" "$prefix/licences/libvorbis.txt"
cp "$flac/COPYING.Xiph" "$prefix/licences/libflac.txt"
cp "$mpg123/COPYING" "$prefix/licences/libmpg123.txt"

# The build runs this script when it is newer than the files it makes: they are touched,
# built now or not, so that it does not run again and what copies them sees them new.
touch "$prefix"/lib/*.a "$prefix"/bin/*.dll
