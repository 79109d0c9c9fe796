#!/bin/bash
# setup: mount a 64 KiB tmpfs and map it as the Wine drive T: for the full-disk test of the extraction.
# cleanup: unmap and unmount it. Both always succeed: without the right to mount, the test skips.
set -u
ORDAVIN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ORDAVIN_ROOT/scripts/wine-env.sh"
mnt="$ORDAVIN_BUILD/small-drive"
link="$WINEPREFIX/dosdevices/t:"
case "${1:-}" in
  setup)
    mkdir -p "$mnt" "$WINEPREFIX/dosdevices"
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
    rm -f "$link"
    if mountpoint -q "$mnt"; then umount "$mnt" || true; fi
    rmdir "$mnt" 2>/dev/null || true
    ;;
  *) echo "usage: $0 setup|cleanup" >&2; exit 2 ;;
esac
exit 0
