#!/usr/bin/env bash
# The example's installer signed with a self-signed certificate, for the tests
# that install a signed installer. Prints nothing and succeeds without
# osslsigncode or openssl (the tests then say they were skipped).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$1
rm -f "$out"
command -v osslsigncode >/dev/null && command -v openssl >/dev/null || exit 0
work=$(dirname "$out")
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/test-key.pem" -out "$work/test-cert.pem" -days 30 \
  -subj "/CN=Example Audio Test" >/dev/null 2>&1
"$root/out/bin/mksetup" build "$root/examples/ExampleEcho" --version 1.20 -o "$out" --stub "$root/out/bin/Setup.exe" \
  --date 2024-05-05T10:00:00 \
  --sign "osslsigncode sign -certs $work/test-cert.pem -key $work/test-key.pem -n Echo -in {} -out {}.signed && mv {}.signed {}" \
  >/dev/null
