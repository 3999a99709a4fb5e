#!/usr/bin/env bash
# Builds the example product's installer with mksetup, runs it under Wine and
# keeps a screenshot of what it shows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/out/demo"
mkdir -p "$out"

"$root/out/bin/mksetup" build "$root/examples/ExampleEcho" --version 1.20 -o "$out/ExampleEchoSetup.exe"
"$root/out/bin/mksetup" verify "$out/ExampleEchoSetup.exe"

run_and_capture() {
  "$root/scripts/wine-run.sh" "$out/ExampleEchoSetup.exe" &
  local setup=$!
  # Wait for the installer's first window, then photograph the screen.
  local shown=""
  for _ in $(seq 100); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Setup"'; then shown=1; break; fi
    sleep 0.2
  done
  sleep 1
  import -window root "$out/screenshot.png"
  [ -n "$shown" ] || echo "demo: the installer showed no window in 20 s" >&2
  # Close it as a user would: Enter presses the default button.
  WINEPREFIX="$root/.deps/wine64" wineserver -k >/dev/null 2>&1 || true
  wait "$setup" 2>/dev/null || true
  [ -n "$shown" ]
}
export -f run_and_capture
export root out
bash "$root/scripts/with-display.sh" bash -c run_and_capture

echo
echo "installer:  $out/ExampleEchoSetup.exe"
echo "screenshot: $out/screenshot.png"
