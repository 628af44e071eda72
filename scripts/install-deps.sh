#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, and fetches the Debian
# source packages of the codec libraries that the build cross-compiles for the plug-ins.
# Safe to run again: it only asks apt for what is missing.
set -euo pipefail

packages=(
  cmake make g++ python3
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  gcc-mingw-w64-x86-64-win32
  googletest
  wine wine32:i386
  xvfb xauth
  fonts-wine
  sox
  clang clang-format
  python3-pyftpdlib
  dpkg-dev
  flac lame vorbis-tools mpg123
  time
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  need_update=1
fi

# One query for all: when every package answers "installed" (the usual case), nothing
# more is asked, so a run on a ready machine costs a fraction of a second.
missing=()
installed=$(dpkg-query -W -f='${Status}\n' "${packages[@]}" 2>/dev/null |
  grep -c "install ok installed" || true)
if [ "$installed" -ne "${#packages[@]}" ]; then
  for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
fi

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
elif [ "${need_update:-0}" = 1 ]; then
  "${sudo_cmd[@]}" apt-get update -q
fi

# The codec libraries come from Debian's own source packages, so their versions follow
# the distribution the build runs on. apt needs source entries for that: they are
# derived from the binary entries already configured, so no host is named here.
enable_source_entries() {
  local changed=0 f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822: a stanza's Types line lists "deb-src" beside "deb".
    if grep -Eq '^Types:.*\bdeb\b' "$f" && grep -E '^Types:' "$f" | grep -vq 'deb-src'; then
      "${sudo_cmd[@]}" sed -i -E '/^Types:/{/deb-src/!s/$/ deb-src/}' "$f"
      changed=1
    fi
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    # One-line form: a deb-src line beside each deb line that lacks one.
    local line src
    while IFS= read -r line; do
      src="deb-src${line#deb}"
      if ! grep -Fxq "$src" "$f"; then
        echo "$src" | "${sudo_cmd[@]}" tee -a "$f" >/dev/null
        changed=1
      fi
    done < <(grep -E '^deb[[:space:]]' "$f" || true)
  done
  [ "$changed" = 0 ] || "${sudo_cmd[@]}" apt-get update -q
}

codec_dir="${TB_CODEC_SOURCES:-$(cd "$(dirname "$0")/.." && pwd)/deps/sources}"
codec_packages=(flac libogg libvorbis mpg123)

# True when the package's .dsc is present and every file it lists is too, with the
# checksum it gives. The upstream signature (.asc) is left out: the archive does not
# always carry it, and the .dsc's own checksums already pin the tarballs.
have_source() {
  local dsc
  dsc=$(compgen -G "$codec_dir/${1}_*.dsc" | head -n1) || return 1
  [ -n "$dsc" ] || return 1
  awk '/^Checksums-Sha256:/{on=1; next} /^[^ ]/{on=0} on && NF==3 {print $1"  "$3}' "$dsc" |
    grep -v '\.asc$' | (cd "$codec_dir" && sha256sum --check --quiet --strict -) >/dev/null 2>&1
}

fetch=()
for p in "${codec_packages[@]}"; do
  have_source "$p" || fetch+=("$p")
done
if [ "${#fetch[@]}" -gt 0 ]; then
  enable_source_entries
  mkdir -p "$codec_dir"
  # Only the files: the build unpacks them itself, into its own tree. apt's exit status
  # is not trusted either way (a missing upstream signature fails it); the checksums are.
  (cd "$codec_dir" && apt-get source --download-only -q "${fetch[@]}") || true
  for p in "${fetch[@]}"; do
    if ! have_source "$p"; then
      echo "install-deps: could not fetch the Debian source package $p into $codec_dir" \
        "(are the distribution's package sources reachable?)" >&2
      exit 1
    fi
  done
fi
