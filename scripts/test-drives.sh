#!/usr/bin/env bash
# Two drives for the tests that need faults Wine cannot make in a folder: R: is
# a small file system that fills up for real, S: holds a folder that refuses
# every write (a read-only bind mount; Wine keeps no read-only bit on folders).
# "up" mounts them under out/drives and gives them their letters in both Wine
# prefixes, "down" takes them away again. Mounting needs root; without it the
# letters are not given and the tests that need them say they were skipped.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
drives="$root/out/drives"
prefixes=("$root/.deps/wine64" "$root/.deps/wine32")

down() {
  for prefix in "${prefixes[@]}"; do rm -f "$prefix/dosdevices/r:" "$prefix/dosdevices/s:"; done
  for mount in "$drives/small" "$drives/readonly/Locked"; do
    mountpoint -q "$mount" 2>/dev/null && umount "$mount"
  done
  return 0
}

up() {
  down
  mkdir -p "$drives/small" "$drives/readonly/Locked"
  mount -t tmpfs -o size=4m setup-tests "$drives/small" 2>/dev/null || { echo "test-drives: no mount here (not root?)"; return 0; }
  if ! mount --bind "$drives/readonly/Locked" "$drives/readonly/Locked" 2>/dev/null ||
     ! mount -o remount,bind,ro "$drives/readonly/Locked" 2>/dev/null; then
    umount "$drives/small"
    echo "test-drives: no read-only bind mount here"
    return 0
  fi
  for prefix in "${prefixes[@]}"; do
    [ -d "$prefix/dosdevices" ] || continue
    ln -sfn "$drives/small" "$prefix/dosdevices/r:"
    ln -sfn "$drives/readonly" "$prefix/dosdevices/s:"
  done
}

case "${1:-}" in
  up) up ;;
  down) down ;;
  *) echo "usage: test-drives.sh up|down" >&2; exit 2 ;;
esac
