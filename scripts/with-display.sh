#!/usr/bin/env bash
# Runs a command with an X display for Wine: the caller's when there is one,
# otherwise an Xvfb of our own on a free display number, stopped afterwards.
# The Wine prefixes' servers are stopped too, so nothing is left running.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)

started=""
cleanup() {
  for prefix in "$root/.deps/wine64" "$root/.deps/wine32"; do
    [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
  done
  [ -n "$started" ] && kill "$started" 2>/dev/null && wait "$started" 2>/dev/null
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ] || [ -n "${SETUP_OWN_DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    started=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$started" 2>/dev/null; then
      export DISPLAY=":$n"
      break
    fi
    started=""
  done
  [ -n "$started" ] || { echo "with-display: could not start Xvfb" >&2; exit 1; }
fi
"$@"
