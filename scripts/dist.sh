#!/usr/bin/env bash
# Packs what a plug-in maker needs into one archive:
#   plugin-setup-tools-VERSION/
#     bin/       mksetup (Linux), mksetup.exe and the bare Setup.exe
#     docs/      the Setup.ini reference, the switches of unattended runs, what a
#                first installer needs, deploying with winget, Intune and scripts
#     examples/  ExampleEcho, a product folder that builds as it is
#     ci/        build-installer.sh: check, build, sign, verify, smoke test
#     README.md
# usage: dist.sh BIN_DIR OUT_DIR   (prints the archive's path)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$1 out=$2
version=$(cat "$root/VERSION")
name="plugin-setup-tools-$version"
for program in mksetup mksetup.exe Setup.exe; do
  [ -f "$bin/$program" ] || { echo "dist: $bin/$program is missing; run make tools" >&2; exit 1; }
done
mkdir -p "$out"
stage=$(mktemp -d "$out/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
top="$stage/$name"
mkdir -p "$top/bin" "$top/docs" "$top/examples" "$top/ci"
cp "$bin/mksetup" "$bin/mksetup.exe" "$bin/Setup.exe" "$top/bin/"
cp "$root/docs/setup-ini.md" "$root/docs/first-installer.md" "$root/docs/deploy.md" "$top/docs/"
# The switches and exit codes of unattended runs, from the project's README.
awk '/^## Unattended installs/ { on = 1 } /^## / && !/^## Unattended/ { on = 0 } on' "$root/README.md" \
  >"$top/docs/unattended.md"
[ -s "$top/docs/unattended.md" ] || { echo "dist: no unattended section in README.md" >&2; exit 1; }
cp -r "$root/examples/ExampleEcho" "$top/examples/"
cp "$root/dist/build-installer.sh" "$top/ci/"
sed "s/@VERSION@/$version/g" "$root/dist/README.md" >"$top/README.md"
chmod 755 "$top/bin/mksetup" "$top/ci/build-installer.sh"
# The same bytes for the same files: fixed owner, order and times.
archive="$out/$name.tar.gz"
stamp=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$stamp" -C "$stage" -cf - "$name" | gzip -n >"$archive.part"
mv "$archive.part" "$archive"
echo "$archive"
