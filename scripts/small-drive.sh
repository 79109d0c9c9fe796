#!/bin/bash
# setup: mount a 64 KiB tmpfs and map it as the Wine drive T: for the full-disk test of the extraction, and a
# read-only tmpfs as drive R: for the read-only folder test. cleanup: unmap and unmount them. Both always succeed: without the right to mount, the test skips.
set -u
ORDAVIN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ORDAVIN_ROOT/scripts/wine-env.sh"
mnt="$ORDAVIN_BUILD/small-drive"
link="$WINEPREFIX/dosdevices/t:"
ro_mnt="$ORDAVIN_BUILD/read-only-drive"
ro_link="$WINEPREFIX/dosdevices/r:"
case "${1:-}" in
  setup)
    mkdir -p "$mnt" "$ro_mnt" "$WINEPREFIX/dosdevices"
    if mountpoint -q "$ro_mnt" ||
       { mount -t tmpfs -o size=64k ordavin-read-only-drive "$ro_mnt" 2>/dev/null &&
         printf 'ro\n' > "$ro_mnt/ordavin-read-only-drive" &&
         mount -o remount,ro "$ro_mnt" 2>/dev/null; }; then
      ln -sfn "$ro_mnt" "$ro_link"
      echo "drive R: is a read-only tmpfs at $ro_mnt"
    else
      echo "cannot mount a read-only tmpfs here: the read-only folder test will skip"
    fi
    if ! mountpoint -q "$mnt" && ! mount -t tmpfs -o size=64k ordavin-small-drive "$mnt" 2>/dev/null; then
      echo "cannot mount a tmpfs here: the full-disk test will skip"
      exit 0
    fi
    rm -rf "${mnt:?}"/*
    printf '64k\n' > "$mnt/ordavin-small-drive"
    ln -sfn "$mnt" "$link"
    echo "drive T: is a 64 KiB tmpfs at $mnt"
    ;;
  cleanup)
    rm -f "$link" "$ro_link"
    if mountpoint -q "$ro_mnt"; then umount "$ro_mnt" || true; fi
    rmdir "$ro_mnt" 2>/dev/null || true
    if mountpoint -q "$mnt"; then umount "$mnt" || true; fi
    rmdir "$mnt" 2>/dev/null || true
    ;;
  *) echo "usage: $0 setup|cleanup" >&2; exit 2 ;;
esac
exit 0
