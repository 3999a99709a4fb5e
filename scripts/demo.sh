#!/usr/bin/env bash
# The demo: builds the example product's installer with mksetup, walks it
# through the wizard under Wine page by page with a screenshot of each,
# installs, uninstalls with the Uninst.exe it wrote, and reports.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/out/demo"
shots="$root/out/screenshots"
rm -rf "$shots"/*.png "$shots/de"
mkdir -p "$out" "$shots" "$shots/de"

"$root/out/bin/mksetup" build "$root/examples/ExampleEcho" --version 1.20 -o "$out/ExampleEchoSetup.exe"
"$root/out/bin/mksetup" verify "$out/ExampleEchoSetup.exe"

echo
echo "Walking through the wizard:"
status=0
bash "$root/scripts/with-display.sh" "$root/scripts/wine-run.sh" "$root/out/bin/wizard_tour.exe" \
  "$out/ExampleEchoSetup.exe" "$shots" || status=$?

echo
echo "Walking through it again, with the Windows user's display language German:"
SETUP_UI_LANGUAGE=de_DE.UTF-8 bash "$root/scripts/with-display.sh" "$root/scripts/wine-run.sh" \
  "$root/out/bin/wizard_tour.exe" "$out/ExampleEchoSetup.exe" "$shots/de" de || status=$?

for bmp in "$shots"/*.bmp "$shots"/de/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done

echo
echo "installer:   $out/ExampleEchoSetup.exe"
echo "screenshots: $shots ($(ls "$shots"/*.png | wc -l) pages and boxes; in German: $shots/de, $(ls "$shots"/de | wc -l))"
[ "$status" -eq 0 ] && echo "result:      installed and uninstalled cleanly" || echo "result:      the tour failed (exit $status)"
exit "$status"
