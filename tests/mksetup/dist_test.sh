#!/usr/bin/env bash
# The tools archive as a maker gets it: packed from the programs we ship,
# unpacked into a clean folder, and its CI recipe run there on a copy of the
# example product (check, build, sign, verify, install and remove under Wine).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/out/bin"
work="$root/out/dist-test"
rm -rf "$work" && mkdir -p "$work"
version=$(cat "$root/VERSION")
name="plugin-setup-tools-$version"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

archive=$(bash "$root/scripts/dist.sh" "$bin" "$work/first") || fail "dist.sh"
again=$(bash "$root/scripts/dist.sh" "$bin" "$work/second") || fail "dist.sh, twice"
cmp -s "$archive" "$again" || fail "two archives of the same programs differ"
[ "$(basename "$archive")" = "$name.tar.gz" ] || fail "the archive is named $(basename "$archive")"

mkdir -p "$work/clean"
tar -xzf "$archive" -C "$work/clean" || fail "the archive does not unpack"
tools="$work/clean/$name"
for file in bin/mksetup bin/mksetup.exe bin/Setup.exe docs/setup-ini.md docs/unattended.md README.md \
            examples/ExampleEcho/Setup.ini ci/build-installer.sh; do
  [ -s "$tools/$file" ] || fail "the archive lacks $file"
done
grep -q "/NOSHORTCUTS" "$tools/docs/unattended.md" || fail "docs/unattended.md lacks the switches"
# What a first-time maker asks, answered in the archive.
for answer in "DisplayVersion=\` |" "| 1.2.10 | \`1.30\` | \`1.2.10\` |" "openssl req -x509" "-pkcs12 cert.p12" \
              "-t http://timestamp" "at most 63 bytes" "Avid\\Audio\\Plug-Ins" "carry the package's time" \
              "mksetup winget" "QuietUninstallString"; do
  grep -rqF -- "$answer" "$tools/docs" "$tools/README.md" || fail "the archive's docs do not say \"$answer\""
done
grep -qF "never \`~/.wine\`" "$tools/README.md" || fail "the README does not say the recipe keeps out of ~/.wine"
grep -q "winemenubuilder.exe=d" "$tools/ci/build-installer.sh" || fail "the recipe leaves Wine's menu builder on"
grep -q "$version" "$tools/README.md" || fail "the README does not name version $version"
[ "$("$tools/bin/mksetup" --version)" = "mksetup $version" ] || fail "mksetup --version: $("$tools/bin/mksetup" --version)"

# The recipe, as a maker's CI runs it: the unpacked tools only, Wine in the project's prefix.
export WINE="$root/scripts/wine-run.sh" SMOKE_DIR="$work"
cp -r "$tools/examples/ExampleEcho" "$work/Product"
if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 30 \
    -subj "/CN=Example Audio Test" >/dev/null 2>&1
  export SIGN_COMMAND="osslsigncode sign -certs $work/cert.pem -key $work/key.pem -n Echo -in {} -out {}.signed && mv {}.signed {}"
fi
"$tools/ci/build-installer.sh" "$work/Product" 1.20 "$work/EchoSetup.exe" >"$work/recipe.txt" 2>&1 ||
  { fail "the recipe on the example"; cat "$work/recipe.txt"; }
grep -q "built, verified, installed and removed" "$work/recipe.txt" || { fail "no smoke test ran"; cat "$work/recipe.txt"; }
if [ -n "${SIGN_COMMAND:-}" ]; then
  osslsigncode verify -CAfile "$work/cert.pem" "$work/EchoSetup.exe" >/dev/null 2>&1 || fail "the recipe's installer is not signed"
fi
# A product with a mistake stops the recipe before anything is built.
rm "$work/Product/Setup.lic"
"$tools/ci/build-installer.sh" "$work/Product" 1.20 "$work/Broken.exe" >"$work/broken.txt" 2>&1 &&
  fail "the recipe passed a product without Setup.lic"
[ -e "$work/Broken.exe" ] && fail "the recipe left an installer of a broken product"
grep -q "Setup.lic:1: error: is missing" "$work/broken.txt" || { fail "the recipe did not say why"; cat "$work/broken.txt"; }

[ "$failed" -eq 0 ] && rm -rf "$work"
if [ "$failed" -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit "$failed"
