#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix (the 64-bit one
# unless SETUP_WINEPREFIX names another). Used by CTest as the emulator.
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${SETUP_WINEPREFIX:-$root/.deps/wine64}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No runtime downloads, and no desktop menu entries for the shortcuts tests write.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
exec wine "$@"
