#!/usr/bin/env bash
# mksetup.exe as a maker on Windows runs it (under Wine): it checks and builds
# the example, and the installer is byte for byte the one the Linux mksetup
# builds from the same folder with the same date.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/out/bin"
work="$root/out/mksetup-windows"
rm -rf "$work" && mkdir -p "$work"
win() { echo "Z:${1//\//\\}"; }
example="$root/examples/ExampleEcho"
date=2024-05-05T10:00:00
failed=0

"$bin/mksetup" build "$example" --version 1.20 -o "$work/linux.exe" --stub "$bin/Setup.exe" --date "$date" >/dev/null ||
  { echo "FAIL: the Linux build"; failed=1; }
"$root/scripts/wine-run.sh" "$bin/mksetup.exe" check "$(win "$example")" --version 1.20 >"$work/check.txt" 2>&1 ||
  { echo "FAIL: mksetup.exe check"; cat "$work/check.txt"; failed=1; }
grep -q "0 errors, 0 warnings" "$work/check.txt" || { echo "FAIL: the check is not clean"; cat "$work/check.txt"; failed=1; }
"$root/scripts/wine-run.sh" "$bin/mksetup.exe" build "$(win "$example")" --version 1.20 -o "$(win "$work/windows.exe")" \
  --stub "$(win "$bin/Setup.exe")" --date "$date" >"$work/build.txt" 2>&1 ||
  { echo "FAIL: mksetup.exe build"; cat "$work/build.txt"; failed=1; }
cmp "$work/linux.exe" "$work/windows.exe" || { echo "FAIL: the two builds differ"; failed=1; }
"$root/scripts/wine-run.sh" "$bin/mksetup.exe" verify "$(win "$work/windows.exe")" >"$work/verify.txt" 2>&1 ||
  { echo "FAIL: mksetup.exe verify"; cat "$work/verify.txt"; failed=1; }

rm -rf "$work"
if [ "$failed" -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit "$failed"
