#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix (the 64-bit one
# unless SETUP_WINEPREFIX names another). Used by CTest as the emulator.
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${SETUP_WINEPREFIX:-$root/.deps/wine64}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Wine takes the Unix names of files and the ANSI code page from the locale:
# C.UTF-8 (present on every Debian) names files in UTF-8, so any Windows name
# can be stored, and gives programs that do not ask for UTF-8 Windows-1252.
export LC_ALL=C.UTF-8
# SETUP_UI_LANGUAGE (a locale the bootstrap generated, such as de_DE.UTF-8)
# is the Windows user's display language; the rest of the locale stays.
if [ -n "${SETUP_UI_LANGUAGE:-}" ]; then
  unset LC_ALL
  export LANG=C.UTF-8 LC_CTYPE=C.UTF-8 LC_MESSAGES="$SETUP_UI_LANGUAGE"
fi
# No runtime downloads, no desktop menu entries for the shortcuts tests write,
# and no debugger waiting forever on a program that crashed: it just ends.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d}"
# Wine keeps its own files under HOME and links a missing shell folder there:
# HOME inside the prefix keeps both out of the home of whoever runs the tests.
# The caller's X display still finds its cookie.
if [ -z "${XAUTHORITY:-}" ] && [ -n "${HOME:-}" ] && [ -f "$HOME/.Xauthority" ]; then
  export XAUTHORITY="$HOME/.Xauthority"
fi
export HOME="$WINEPREFIX/home"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
[ -d "$HOME" ] || mkdir -p "$HOME"
exec wine "$@"
