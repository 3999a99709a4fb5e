#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the installer:
# compilers, mingw-w64, zlib, libdeflate, GoogleTest, the static checkers
# (cppcheck, clang-tidy), Wine with its own fonts, fonts for CJK, Thai and
# Devanagari text, the locales the language tests set as the user's display
# language, and Xvfb, libjpeg-turbo and
# libdeflate cross-built for mingw, and the two Wine prefixes. Safe to run
# again: each step checks first. With --tools, only what building the shipped
# programs needs: the compilers, the libraries and their mingw builds.
set -euo pipefail
tools_only=false
[ "${1:-}" = "--tools" ] && tools_only=true

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
  libz-mingw-w64-dev zlib1g-dev libdeflate-dev libgtest-dev googletest
  wine wine64 wine32:i386 fonts-wine xvfb xauth x11-utils imagemagick
  fonts-dejavu-core fonts-wqy-microhei fonts-tlwg-garuda-ttf fonts-lohit-deva locales
  osslsigncode openssl
  cppcheck clang-tidy
)

if $tools_only; then
  packages=(
    cmake make g++ dpkg-dev
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-tools
    libz-mingw-w64-dev zlib1g-dev libdeflate-dev
  )
fi

# One dpkg-query for the whole list keeps a run on a ready machine quick.
missing_packages() {
  local installed=" " status name arch p
  while IFS=$'\t' read -r status name arch; do
    [ "$status" = "install ok installed" ] && installed+="$name $name:$arch "
  done < <(dpkg-query -W -f='${Status}\t${Package}\t${Architecture}\n' "${packages[@]}" 2>/dev/null)
  for p in "${packages[@]}"; do
    [[ "$installed" == *" $p "* ]] || echo "$p"
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

# Unpacks Debian's source package of $1 into .deps/src, once.
fetch_source() {
  local package=$1 src="$deps/src"
  mkdir -p "$src"
  ls -d "$src/$package"-*/ >/dev/null 2>&1 && return 0
  ensure_deb_src
  if ! (cd "$src" && apt-get source --download-only "$package" >/dev/null 2>&1); then
    as_root apt-get update -q
    (cd "$src" && apt-get source --download-only "$package")
  fi
  (cd "$src" && dpkg-source -x --skip-patches "$package"_*.dsc >/dev/null)
}

# libjpeg-turbo for mingw, static, from Debian's source package.
build_libjpeg() {
  # Setup.exe only decodes its side picture (baseline or progressive, Huffman
  # or arithmetic coded, full size, no quantization, the default accurate
  # IDCT), so the library is built for size and without what the program
  # never asks for: arithmetic encoding, the scaled, fast and floating-point
  # IDCTs, the merged upsampler, colour quantization and the JPEGMEM lookup (whose sscanf would
  # bring in the C library's scanf). Its messages use msvcrt's printf. No C++
  # exception passes through it (its errors leave by longjmp), so it needs no
  # unwind tables. The options are written next to the library: a build made
  # with other options (or before they were written) is made again.
  local options="arith=decode idct=islow merged-upsampler=off quant=off getenv=off stdio=msvcrt unwind=off -Os gc-sections"
  local prefix="$deps/libjpeg-mingw"
  if [ -f "$prefix/lib/libjpeg.a" ] && [ "$(cat "$prefix/options" 2>/dev/null)" = "$options" ]; then
    return 0
  fi
  log "building libjpeg-turbo for mingw ($options)"
  fetch_source libjpeg-turbo
  local dir
  dir=$(ls -d "$deps/src"/libjpeg-turbo-*/ | head -n 1)
  local build="$deps/build-libjpeg"
  rm -rf "$build"
  mkdir -p "$build"
  # The capability switches live in jmorecfg.h: a copy of the source is edited.
  cp -a "$dir" "$build/src"
  sed -i -E \
    -e 's/^#define (DCT_IFAST_SUPPORTED|DCT_FLOAT_SUPPORTED|IDCT_SCALING_SUPPORTED)\b/#undef  \1/' \
    -e 's/^#define (UPSAMPLE_MERGING_SUPPORTED|QUANT_1PASS_SUPPORTED|QUANT_2PASS_SUPPORTED)\b/#undef  \1/' \
    "$build/src/jmorecfg.h"
  local undefs
  undefs=$(grep -cE '^#undef  (DCT_IFAST|DCT_FLOAT|IDCT_SCALING|UPSAMPLE_MERGING|QUANT_1PASS|QUANT_2PASS)_SUPPORTED' "$build/src/jmorecfg.h")
  [ "$undefs" -eq 6 ] || { log "jmorecfg.h: expected 6 switches turned off, found $undefs"; return 1; }
  cmake -S "$build/src" -B "$build/obj" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_C_FLAGS_RELEASE="-Os -DNDEBUG" \
    -DCMAKE_C_FLAGS="-ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables -fno-unwind-tables -DNO_GETENV -D__USE_MINGW_ANSI_STDIO=0" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DWITH_ARITH_DEC=ON -DWITH_ARITH_ENC=OFF >/dev/null
  cmake --build "$build/obj" -j"$(nproc)" --target jpeg-static >/dev/null
  rm -rf "$prefix"
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$build/obj/libjpeg.a" "$prefix/lib/libjpeg.a"
  cp "$build/src/jpeglib.h" "$build/src/jmorecfg.h" "$build/src/jerror.h" "$build/obj/jconfig.h" "$prefix/include/"
  printf '%s\n' "$options" >"$prefix/options"
  rm -rf "$build"
}

# libdeflate for mingw, static, from Debian's source package: the same
# version as the native libdeflate-dev, so both builders write the same bytes.
# Its library is plain C without a configure step; the files are compiled
# directly, as its own Makefile does.
build_libdeflate() {
  local prefix="$deps/libdeflate-mingw"
  [ -f "$prefix/lib/libdeflate.a" ] && return 0
  log "building libdeflate for mingw"
  fetch_source libdeflate
  local dir build
  dir=$(ls -d "$deps/src"/libdeflate-*/ | head -n 1)
  build=$(mktemp -d "$deps/build-libdeflate.XXXXXX")
  local file
  for file in "$dir"/lib/*.c "$dir"/lib/x86/*.c; do
    i686-w64-mingw32-gcc-posix -O2 -ffunction-sections -fdata-sections -fvisibility=hidden -I"$dir" \
      -c "$file" -o "$build/$(basename "$file" .c).o"
  done
  mkdir -p "$prefix/lib" "$prefix/include"
  i686-w64-mingw32-ar rcs "$build/libdeflate.a" "$build"/*.o
  cp "$dir/libdeflate.h" "$prefix/include/"
  mv "$build/libdeflate.a" "$prefix/lib/libdeflate.a"
  rm -rf "$build"
}

# A new prefix links the user's Desktop, Documents, Downloads, Music, Pictures,
# Videos and Templates to the Linux home folder, so every shortcut and preset a
# test writes there would land in the home of whoever runs the tests. Each link
# becomes an empty folder of the prefix's own. Wine leaves an existing folder
# alone, also when it updates the prefix for a new Wine version; it links only
# a folder that is missing. Checked on every run, so an older prefix is mended
# too; Temp is skipped, it can hold many files and never holds a link.
own_shell_folders() {
  local users="$1/drive_c/users" link names=""
  [ -d "$users" ] || return 0
  while IFS= read -r -d '' link; do
    rm -f -- "$link"
    mkdir -- "$link"
    names+=" ${link##*/}"
  done < <(find "$users" -maxdepth 6 -name Temp -prune -o -type l -print0)
  [ -z "$names" ] || log "${1#"$deps/"}: folders of its own instead of links to the home folder:$names"
}

# Wine's own fonts: Tahoma, which the dialogs' MS Shell Dlg stands for, Marlett
# for the caption buttons, and the bitmap System, MS Sans Serif and Courier.
# Debian's Wine 8 looks for them in a folder it cannot reach, so without this
# every dialog shows DejaVu Sans. Like Windows, Wine reads C:\windows\Fonts:
# the fonts are copied there, and again when the package brings newer ones.
install_wine_fonts() {
  local from=/usr/share/wine/fonts to="$1/drive_c/windows/Fonts"
  [ -d "$to" ] && [ "$from/tahoma.ttf" -nt "$to/tahoma.ttf" ] || return 0
  log "copying Wine's fonts into ${1#"$deps/"}"
  cp -p -f "$from"/* "$to/"
}

# Text in every script the installer speaks. Windows draws a character its
# dialog font lacks from the fonts the registry links to that font
# (FontLink\SystemLink), and the wizard takes the first linked font that draws
# a whole language; Windows links its fonts to fonts it ships, Wine to fonts
# that Windows ships and Wine does not. The wizard's font under Wine, the
# bitmap MS Sans Serif (Wine's own linking knows it as "MS Sans Serif
# Regular"), and the message boxes' font get links to Debian's fonts for
# Greek, Cyrillic, Hebrew and Arabic, for Chinese, Japanese and Korean, for
# Thai and for Devanagari. The message boxes take DejaVu Sans 8 pt: Wine
# rewrites the links of its own Tahoma whenever the code page changes.

# The characters of an ASCII text as the bytes of a .reg file's hex values:
# one byte each (REGEDIT4 strings), or two (UTF-16, for binary values).
reg_hex() {
  local text=$1 width=$2 i out=""
  for ((i = 0; i < ${#text}; i++)); do
    out+=$(printf '%02x,' "'${text:i:1}")
    [ "$width" -eq 1 ] || out+="00,"
  done
  printf '%s' "$out"
}

link_script_fonts() {
  local prefix=$1 stamp="$1/.script-fonts-3" links="" entry face i file="$1/script-fonts.reg"
  [ -f "$stamp" ] && return 0
  log "linking the fonts of every script in ${prefix#"$deps/"}"
  for entry in "wqy-microhei.ttc,WenQuanYi Micro Hei" "Garuda.ttf,Garuda" "Lohit-Devanagari.ttf,Lohit Devanagari"; do
    links+="$(reg_hex "$entry" 1)00,"
  done
  face=$(reg_hex "DejaVu Sans" 2)
  {
    echo "REGEDIT4"
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]'
    entry="$(reg_hex "DejaVuSans.ttf,DejaVu Sans" 1)00,$links"
    echo "\"MS Sans Serif\"=hex(7):${entry}00"
    echo "\"MS Sans Serif Regular\"=hex(7):${entry}00"
    echo "\"DejaVu Sans\"=hex(7):${links}00"
    echo
    echo '[HKEY_CURRENT_USER\Control Panel\Desktop\WindowMetrics]'
    # A LOGFONTW: 8 points, normal weight, DEFAULT_CHARSET, the face padded to 32 characters.
    printf '"MessageFont"=hex:08,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,90,01,00,00,00,00,00,01,00,00,00,00,%s' "$face"
    for ((i = ${#face} / 6; i < 32; i++)); do printf '00,00,'; done | sed 's/,$//'
    echo
  } > "$file"
  env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME HOME="$prefix/home" WINEPREFIX="$prefix" \
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" wine regedit /S "$file" >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w
  touch "$stamp"
}

# Two prefixes: a 64-bit Windows (the usual case) and a 32-bit one. HOME points
# into the prefix, as in wine-run.sh, so Wine keeps its own files there; no
# runtime downloads and no desktop menu entries.
make_prefix() {
  local name=$1 arch=$2
  local prefix="$deps/$name"
  if [ ! -f "$prefix/.ready" ]; then
    log "creating Wine prefix $name ($arch)"
    rm -rf "$prefix"
    mkdir -p "$prefix/home"
    env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME HOME="$prefix/home" \
      WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all \
      WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$prefix" wineserver -w
    touch "$prefix/.ready"
  fi
  own_shell_folders "$prefix"
  install_wine_fonts "$prefix"
  link_script_fonts "$prefix"
}

# The display languages the end-to-end walks give the Windows user (Wine
# takes it from LC_MESSAGES, which needs the locale on the machine).
ensure_locales() {
  local name
  for name in de_DE ja_JP ar_EG pt_BR; do
    locale -a 2>/dev/null | grep -qix "$name.utf8" && continue
    log "generating the locale $name.UTF-8"
    as_root localedef -i "$name" -f UTF-8 "$name.UTF-8"
  done
}

install_packages
build_libjpeg
build_libdeflate
if $tools_only; then
  log "ready to build the tools"
  exit 0
fi
ensure_locales
make_prefix wine64 win64
make_prefix wine32 win32
log "ready"
