#!/usr/bin/env bash
# mksetup as a maker runs it: exit codes, messages, reproducible output.
set -u
mksetup=$1
example=$2
# Its files stay inside the repository's out/ folder.
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$root/out"
work=$(mktemp -d "$root/out/cli-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
check() {  # check DESCRIPTION EXPECTED_EXIT COMMAND...
  local what=$1 want=$2; shift 2
  "$@" >"$work/stdout" 2>"$work/stderr"
  local got=$?
  if [ "$got" -ne "$want" ]; then
    echo "FAIL: $what: exit $got, expected $want"; cat "$work/stderr"; failed=1
  fi
}
expect_text() {  # expect_text DESCRIPTION FILE TEXT
  grep -qF -- "$3" "$2" || { echo "FAIL: $1: no \"$3\" in:"; cat "$2"; failed=1; }
}

# A stand-in program part: MZ header, PE pointer, PE signature.
python3 - "$work/stub.exe" <<'PY'
import sys
stub = bytearray(512); stub[0:2] = b"MZ"; stub[0x3C] = 0x40; stub[0x40:0x44] = b"PE\0\0"
open(sys.argv[1], "wb").write(stub)
PY

check "usage without a command" 2 "$mksetup"
check "unknown option" 2 "$mksetup" build "$example" --version 1.0 -o "$work/x.exe" --frobnicate
check "build without output" 2 "$mksetup" build "$example" --version 1.0
expect_text "build without output" "$work/stderr" "build needs -o Setup.exe or --data Setup.dat"
check "bad --date" 2 "$mksetup" build "$example" --version 1.0 --data "$work/x.dat" --date 2024-02-30T00:00:00

check "first build" 0 "$mksetup" build "$example" --version 1.20 -o "$work/a.exe" --stub "$work/stub.exe" --date 2025-06-01T12:00:00
check "second build" 0 "$mksetup" build "$example" --version 1.20 -o "$work/b.exe" --stub "$work/stub.exe" --date 2025-06-01T12:00:00
cmp -s "$work/a.exe" "$work/b.exe" || { echo "FAIL: two builds with the same --date differ"; failed=1; }
SOURCE_DATE_EPOCH=1750000000 check "epoch build 1" 0 "$mksetup" build "$example" --version 1.20 --data "$work/c.dat"
sleep 1
SOURCE_DATE_EPOCH=1750000000 check "epoch build 2" 0 "$mksetup" build "$example" --version 1.20 --data "$work/d.dat"
cmp -s "$work/c.dat" "$work/d.dat" || { echo "FAIL: two builds with the same SOURCE_DATE_EPOCH differ"; failed=1; }

# zlib's own deflate, for comparison: another package of the same files.
check "zlib build" 0 "$mksetup" build "$example" --version 1.20 -o "$work/z.exe" --stub "$work/stub.exe" --date 2025-06-01T12:00:00 --zlib
check "verify zlib build" 0 "$mksetup" verify "$work/z.exe"
cmp -s "$work/a.exe" "$work/z.exe" && { echo "FAIL: --zlib wrote the same bytes as the default"; failed=1; }

check "verify sound" 0 "$mksetup" verify "$work/a.exe"
expect_text "verify sound" "$work/stdout" "sound (version 1.20"
check "list" 0 "$mksetup" list "$work/c.dat"
expect_text "list" "$work/stdout" "Setup.ini"

# One flipped byte in the package data.
size=$(stat -c %s "$work/a.exe")
cp "$work/a.exe" "$work/bad.exe"
printf '\x55' | dd of="$work/bad.exe" bs=1 seek=$((size - 40)) conv=notrunc status=none
check "verify damaged" 1 "$mksetup" verify "$work/bad.exe"
expect_text "verify damaged" "$work/stderr" "The installer appears to be corrupted. Please download it again"

# Volumes: the data past --volume-size goes to files beside the installer,
# each checked against the table in the installer.
cp -r "$example" "$work/library"
head -c 300000 /dev/urandom > "$work/library/Main/Impulses.wav"
check "build in volumes" 0 "$mksetup" build "$work/library" --version 1.20 -o "$work/lib.exe" --stub "$work/stub.exe" --volume-size 64K
expect_text "build in volumes" "$work/stdout" "with lib-4.bin"
check "a narrow build keeps today's format" 0 "$mksetup" list "$work/a.exe"
grep -q "wide" "$work/stdout" && { echo "FAIL: a small product was written wide"; failed=1; }
check "verify volumes" 0 "$mksetup" verify "$work/lib.exe"
expect_text "verify volumes" "$work/stdout" "7 files with the volumes"
check "list volumes" 0 "$mksetup" list "$work/lib.exe"
expect_text "list volumes" "$work/stdout" "volume      lib-3.bin, 65536 bytes"
check "extract volumes" 0 "$mksetup" extract "$work/lib.exe" "$work/lib-out"
cmp -s "$work/library/Main/Impulses.wav" "$work/lib-out/Main/Impulses.wav" || { echo "FAIL: a file read across volumes differs"; failed=1; }
cp "$work/lib-2.bin" "$work/lib-2.keep"
printf '\x55' | dd of="$work/lib-2.bin" bs=1 seek=5000 conv=notrunc status=none
check "damaged volume" 1 "$mksetup" verify "$work/lib.exe"
expect_text "damaged volume" "$work/stderr" "volume lib-2.bin is damaged"
cp "$work/lib-3.bin" "$work/lib-2.bin"
check "swapped volume" 1 "$mksetup" verify "$work/lib.exe"
expect_text "swapped volume" "$work/stderr" "volume lib-2.bin is another volume of this installer's build"
rm "$work/lib-2.bin"
check "missing volume" 1 "$mksetup" extract "$work/lib.exe" "$work/lib-none"
expect_text "missing volume" "$work/stderr" "lib-2.bin: is missing"
[ ! -e "$work/lib-none" ] || { echo "FAIL: extract wrote files from a package with a missing volume"; failed=1; }
mv "$work/lib-2.keep" "$work/lib-2.bin"
check "bad --volume-size" 2 "$mksetup" build "$work/library" --version 1.20 -o "$work/x.exe" --volume-size 4G
expect_text "bad --volume-size" "$work/stderr" "is not a size from 64K to 3G"

check "bad version" 1 "$mksetup" build "$example" --version x.1 -o "$work/v.exe" --stub "$work/stub.exe"
expect_text "bad version" "$work/stderr" "'x.1' is not a valid version number"
# A version the record would show otherwise is refused, never changed.
for changed in 1.2 1.9 1.0.3 1.2.10 "1.20 Beta 2"; do
  check "version $changed" 1 "$mksetup" build "$example" --version "$changed" -o "$work/v.exe" --stub "$work/stub.exe"
  expect_text "version $changed" "$work/stderr" "cannot be recorded as written"
  [ ! -e "$work/v.exe" ] || { echo "FAIL: version $changed: an installer was written"; failed=1; }
done
check "version 2.02 beta 3" 0 "$mksetup" build "$example" --version "2.02 beta 3" --data "$work/beta.dat"
[ -e "$work/v.exe" ] && { echo "FAIL: output left after a failed build"; failed=1; }
check "list of a stranger" 1 "$mksetup" list "$work/stub.exe"
expect_text "list of a stranger" "$work/stderr" "carries no package"

check "check of the example" 0 "$mksetup" check "$example" --version 1.20
expect_text "check of the example" "$work/stdout" "0 errors, 0 warnings"
mkdir -p "$work/broken/Main"
printf '[Setup]\r\nProductName=Broken\r\n[Compnents]\r\nMain=$ProgramFolder\r\n' > "$work/broken/Setup.ini"
check "check of a broken product" 1 "$mksetup" check "$work/broken"
expect_text "check of a broken product" "$work/stdout" "Setup.lic:1: error: is missing"
expect_text "check of a broken product" "$work/stdout" "Setup.ini:3: warning: \"[Compnents]\" is no section the installer reads; did you mean \"[Components]\"?"
check "build refuses a broken product" 1 "$mksetup" build "$work/broken" --version 1.00 --data "$work/broken.dat"
expect_text "build refuses a broken product" "$work/stderr" "was not built"
[ -e "$work/broken.dat" ] && { echo "FAIL: output left after a refused build"; failed=1; }

# A new product folder checks with an error for each plug-in folder still empty,
# and builds once the plug-ins are in; an existing one is never written into.
plugins() {  # plugins FOLDER MACHINE: a program head of that machine in each plug-in folder
  python3 - "$@" <<'PY'
import sys, os
head = bytearray(0x60); head[0:2] = b"MZ"; head[0x3C] = 0x40; head[0x40:0x44] = b"PE\0\0"
head[0x44:0x46] = int(sys.argv[2], 16).to_bytes(2, "little")
for name in ("VstX/Echo.dll", "Vst3/Echo.vst3", "Clap/Echo.clap", "Aax/Echo.aaxplugin"):
    open(os.path.join(sys.argv[1], name), "wb").write(head)
PY
}
check "new product" 0 "$mksetup" new "$work/new" --product "Space Echo" --maker "Example Audio"
check "check of the new product" 1 "$mksetup" check "$work/new" --version 1.00
expect_text "check of the new product" "$work/stdout" "new/Aax:1: error: is empty, so its [Components] line installs nothing"
expect_text "check of the new product" "$work/stdout" "new/Clap:1: error: is empty, so its [Components] line installs nothing"
expect_text "check of the new product" "$work/stdout" "4 errors, 3 warnings"
plugins "$work/new" 8664
check "check of the new product with its plug-ins" 0 "$mksetup" check "$work/new" --version 1.00
# Its licence and pictures are placeholders until the maker replaces them.
expect_text "check of the new product" "$work/stdout" "Setup.lic:3: warning: is still the placeholder that mksetup new wrote"
expect_text "check of the new product" "$work/stdout" "Setup@2x.jpg:1: warning: is still the grey placeholder"
expect_text "check of the new product" "$work/stdout" "0 errors, 3 warnings"
check "build of the new product" 0 "$mksetup" build "$work/new" --version 1.00 --data "$work/new.dat"
grep -q "^Is64Bit=1" "$work/new/Setup.ini" || { echo "FAIL: a new product is not 64-bit"; failed=1; }
check "new 32-bit product" 0 "$mksetup" new "$work/new32" --product "Space Echo" --maker "Example Audio" --32bit
grep -q "^Is64Bit=0" "$work/new32/Setup.ini" || { echo "FAIL: --32bit did not make a 32-bit product"; failed=1; }
plugins "$work/new32" 14C
check "check of the new 32-bit product" 0 "$mksetup" check "$work/new32" --version 1.00
cp "$work/new/Setup.ini" "$work/new-ini"
check "new into a folder that holds files" 2 "$mksetup" new "$work/new" --product Other --maker Other
expect_text "new into a folder that holds files" "$work/stderr" "is not an empty folder; nothing was written"
cmp -s "$work/new/Setup.ini" "$work/new-ini" || { echo "FAIL: new wrote into an existing product"; failed=1; }
check "new without a maker" 2 "$mksetup" new "$work/new2" --product Other
check "new with a name no key can hold" 2 "$mksetup" new "$work/new3" --product "A/B" --maker M
if command -v identify >/dev/null; then
  check "the new side pictures decode" 0 identify "$work/new/Setup.jpg" "$work/new/Setup@2x.jpg"
  expect_text "the new side pictures decode" "$work/stdout" "Setup.jpg JPEG 150x350"
  expect_text "the new side pictures decode" "$work/stdout" "Setup@2x.jpg JPEG 300x700"
fi

# Signing: the maker's command runs on the finished installer, which must stay sound.
# It needs a real program part: the Setup.exe built beside mksetup.
program="$(dirname "$mksetup")/Setup.exe"
if command -v osslsigncode >/dev/null && command -v openssl >/dev/null && [ -f "$program" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 30 \
    -subj "/CN=Example Audio Test" >/dev/null 2>&1
  sign="osslsigncode sign -certs $work/cert.pem -key $work/key.pem -n Echo -in {} -out {}.signed && mv {}.signed {}"
  check "signed build" 0 "$mksetup" build "$example" --version 1.20 -o "$work/signed.exe" --stub "$program" --sign "$sign"
  expect_text "signed build" "$work/stdout" "signed, and still sound"
  check "signature" 0 osslsigncode verify -CAfile "$work/cert.pem" "$work/signed.exe"
  check "signed installer verifies" 0 "$mksetup" verify "$work/signed.exe"
  # A signed installer in volumes: the signature covers the table that names them.
  check "signed build in volumes" 0 "$mksetup" build "$work/library" --version 1.20 -o "$work/signedlib.exe" --stub "$program" \
    --volume-size 64K --sign "$sign"
  expect_text "signed build in volumes" "$work/stdout" "signed, and still sound"
  check "signature of an installer in volumes" 0 osslsigncode verify -CAfile "$work/cert.pem" "$work/signedlib.exe"
  # The uninstaller it will write is signed by the same command, with no log of its own.
  check "extract of the signed installer" 0 "$mksetup" extract "$work/signed.exe" "$work/signed"
  check "signed uninstaller" 0 osslsigncode verify -CAfile "$work/cert.pem" "$work/signed/Uninst.exe"
  python3 -c 'import sys; b = open(sys.argv[1], "rb").read(); sys.exit(0 if b[0x30:0x38] == bytes([0, 0, 0, 0, 1, 0, 0, 0]) else 1)' \
    "$work/signed/Uninst.exe" || { echo "FAIL: the signed uninstaller is not in uninstaller mode without a log"; failed=1; }
  check "failing signing command" 1 "$mksetup" build "$example" --version 1.20 -o "$work/s2.exe" --stub "$program" \
    --sign "echo 'cert.p12: wrong password' >&2; exit 3; {}"
  # Its exit code and its last words, not a raw wait status.
  expect_text "failing signing command" "$work/stderr" "the signing command failed (exit code 3)"
  expect_text "failing signing command" "$work/stderr" "  cert.p12: wrong password"
  [ ! -e "$work/s2.exe" ] || { echo "FAIL: an installer was left after a failed signing"; failed=1; }
  # A command that signs nothing is no signing.
  check "signing command that signs nothing" 1 "$mksetup" build "$example" --version 1.20 -o "$work/s5.exe" --stub "$program" \
    --sign "true {}"
  expect_text "signing command that signs nothing" "$work/stderr" "left no signature"
  [ ! -e "$work/s5.exe" ] || { echo "FAIL: an unsigned installer was left"; failed=1; }
  # A "signing" that cuts the package short leaves no installer behind.
  check "damaging signing command" 1 "$mksetup" build "$example" --version 1.20 -o "$work/s3.exe" --stub "$program" \
    --sign "case {} in *s3.exe) truncate -s -100 {};; *) $sign;; esac"
  expect_text "damaging signing command" "$work/stderr" "the signed installer is no longer sound"
  [ ! -e "$work/s3.exe" ] || { echo "FAIL: an installer was left after a damaging signing"; failed=1; }
  check "--sign without {}" 2 "$mksetup" build "$example" --version 1.20 -o "$work/s4.exe" --sign "osslsigncode sign"
else
  echo "note: osslsigncode, openssl or the Windows build's Setup.exe is missing; signing is not tried"
fi

if [ "$failed" -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit "$failed"
