#!/usr/bin/env bash
# A CI recipe for a plug-in maker: check the product folder, build the
# installer (signed when SIGN_COMMAND is set), verify it, and install and
# remove it silently under Wine as a smoke test (when Wine is there).
#
# usage: build-installer.sh PRODUCT_DIR VERSION OUTPUT.exe
#   SIGN_COMMAND  a signing command with {} for the file, for example
#                 'osslsigncode sign -pkcs12 cert.p12 -pass "$PASS" -in {} -out {}.signed && mv {}.signed {}'
#   WINE          the Wine to run (default: wine); SMOKE=0 skips the smoke test
#   SMOKE_DIR     where the smoke test works (default: beside OUTPUT.exe)
#   WINEPREFIX    the Wine prefix of the smoke test (default: SMOKE_DIR/wine-prefix,
#                 made on the first run and kept; never ~/.wine)
# Scratch, safe to delete at any time: SMOKE_DIR/smoke.* (removed after a
# passing run; a failing one leaves it, with the installer's logs) and
# SMOKE_DIR/wine-prefix. Wine's menu builder is off, so the shortcuts the
# installer writes never reach your desktop's menus.
set -euo pipefail
[ $# -eq 3 ] || { sed -n '2,18p' "$0" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
mksetup="$here/bin/mksetup"
product=$1 version=$2 output=$3

"$mksetup" check "$product" --version "$version"
sign=()
[ -n "${SIGN_COMMAND:-}" ] && sign=(--sign "$SIGN_COMMAND")
"$mksetup" build "$product" --version "$version" -o "$output" ${sign[@]+"${sign[@]}"}
"$mksetup" verify "$output"

wine=${WINE:-wine}
if [ "${SMOKE:-1}" = 0 ] || ! command -v "$wine" >/dev/null 2>&1; then
  echo "build-installer: $output built and verified (no smoke test)"
  exit 0
fi
scratch=$(cd "${SMOKE_DIR:-$(dirname "$output")}" && pwd)
export WINEPREFIX="${WINEPREFIX:-$scratch/wine-prefix}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d;winedbg.exe=d;mscoree,mshtml=}"
export WINEDEBUG="${WINEDEBUG:--all}"
smoke=$(mktemp -d "$scratch/smoke.XXXXXX")
# Wine's drive Z: is the Linux root.
windows() { local path; path=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); printf 'Z:%s' "${path//\//\\}"; }
# The exit code is the installer's: 0 installed, anything else failed (its log says why).
"$wine" "$output" /S /DIR="$(windows "$smoke/Product")" /VST2DIR="$(windows "$smoke/Vst")" \
  /LOG="$(windows "$smoke/install.log")" || { cat "$smoke/install.log" >&2; exit 1; }
[ -f "$smoke/Product/Uninst.exe" ] || { echo "build-installer: no Uninst.exe after the install" >&2; exit 1; }
"$wine" "$smoke/Product/Uninst.exe" /S /LOG="$(windows "$smoke/uninstall.log")" || { cat "$smoke/uninstall.log" >&2; exit 1; }
# The uninstaller removes its own folder a moment after it ends.
for _ in $(seq 50); do [ -e "$smoke/Product" ] || break; sleep 0.2; done
[ ! -e "$smoke/Product" ] || { echo "build-installer: the product folder is still there after the uninstall" >&2; exit 1; }
rm -rf "$smoke"
echo "build-installer: $output built, verified, installed and removed"
