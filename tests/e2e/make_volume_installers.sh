#!/usr/bin/env bash
# Installers in volumes, for the tests that install them: the example with one
# file of 2.25 GiB that does not compress (past every 32-bit size: the file,
# the package and its data), built in volumes of 1 GiB and signed; and the
# example with 300 KB of the same kind in volumes of 64 KiB. Both come from a
# fixed seed. With "clean" they are removed again (some 7 GB with what the
# tests install).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/out/volumes
rm -rf "$out"
[ "${1:-}" = clean ] && exit 0
mkdir -p "$out"
noise() {  # noise BYTES KEY: bytes that do not compress, the same each time
  head -c "$1" /dev/zero | openssl enc -aes-128-ctr -K "$2" -iv 00000000000000000000000000000000 -nosalt
}
mksetup=$root/out/bin/mksetup
cp -r "$root/examples/ExampleEcho" "$out/large"
noise 2415919104 000102030405060708090a0b0c0d0e0f > "$out/large/Main/Library.bin"
cp -r "$root/examples/ExampleEcho" "$out/small"
noise 300000 0f0e0d0c0b0a09080706050403020100 > "$out/small/Main/Impulses.wav"
# English alone: the tests count on four volumes of the small one.
sed -i 's/^\[Setup\]/&\nLanguages=en/' "$out/small/Setup.ini"

"$mksetup" build "$out/small" --version 1.20 -o "$out/Small.exe" --stub "$root/out/bin/Setup.exe" \
  --date 2024-05-05T10:00:00 --volume-size 64K >/dev/null
sign=()
if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$out/key.pem" -out "$out/cert.pem" -days 30 \
    -subj "/CN=Example Audio Test" >/dev/null 2>&1
  sign=(--sign "osslsigncode sign -certs $out/cert.pem -key $out/key.pem -n Echo -in {} -out {}.signed && mv {}.signed {}")
fi
time "$mksetup" build "$out/large" --version 1.20 -o "$out/Large.exe" --stub "$root/out/bin/Setup.exe" \
  --date 2024-05-05T10:00:00 --volume-size 1G "${sign[@]}"
[ ${#sign[@]} -eq 0 ] || osslsigncode verify -CAfile "$out/cert.pem" "$out/Large.exe" >/dev/null
ls -l "$out"
