#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the installer:
# compilers, mingw-w64, zlib, GoogleTest, Wine with Xvfb, libjpeg-turbo cross-built
# for mingw, and the two Wine prefixes. Safe to run again: each step checks first.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"
mkdir -p "$deps"

log() { printf 'bootstrap: %s\n' "$*" >&2; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

packages=(
  cmake make g++ dpkg-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-tools
  libz-mingw-w64-dev zlib1g-dev libgtest-dev googletest
  wine wine64 wine32:i386 xvfb xauth x11-utils imagemagick
)

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

install_packages() {
  local missing
  missing=$(missing_packages)
  [ -z "$missing" ] && return 0
  log "installing: $(echo $missing)"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  ensure_deb_src
  as_root apt-get update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -q --no-install-recommends $missing
}

# apt-get source needs a deb-src entry for the mirror the machine already uses.
ensure_deb_src() {
  local f=/etc/apt/sources.list.d/setup-deb-src.sources
  [ -f "$f" ] && return 0
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$f" >/dev/null
  else
    grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' |
      as_root tee /etc/apt/sources.list.d/setup-deb-src.list >/dev/null
    as_root touch "$f"
  fi
  return 0
}

# libjpeg-turbo for mingw, static, from Debian's source package.
build_libjpeg() {
  local prefix="$deps/libjpeg-mingw"
  [ -f "$prefix/lib/libjpeg.a" ] && return 0
  log "building libjpeg-turbo for mingw"
  local src="$deps/src"
  mkdir -p "$src"
  if ! ls -d "$src"/libjpeg-turbo-*/ >/dev/null 2>&1; then
    ensure_deb_src
    if ! (cd "$src" && apt-get source --download-only libjpeg-turbo >/dev/null 2>&1); then
      as_root apt-get update -q
      (cd "$src" && apt-get source --download-only libjpeg-turbo)
    fi
    (cd "$src" && dpkg-source -x --skip-patches libjpeg-turbo_*.dsc >/dev/null)
  fi
  local dir
  dir=$(ls -d "$src"/libjpeg-turbo-*/ | head -n 1)
  local build="$deps/build-libjpeg"
  rm -rf "$build"
  cmake -S "$dir" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target jpeg-static >/dev/null
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$build/libjpeg.a" "$prefix/lib/libjpeg.a"
  cp "$dir/jpeglib.h" "$dir/jmorecfg.h" "$dir/jerror.h" "$build/jconfig.h" "$prefix/include/"
  rm -rf "$build"
}

# Two prefixes: a 64-bit Windows (the usual case) and a 32-bit one.
make_prefix() {
  local name=$1 arch=$2
  local prefix="$deps/$name"
  [ -f "$prefix/.ready" ] && return 0
  log "creating Wine prefix $name ($arch)"
  rm -rf "$prefix"
  WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    wineboot -i >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w
  touch "$prefix/.ready"
}

install_packages
build_libjpeg
make_prefix wine64 win64
make_prefix wine32 win32
log "ready"
