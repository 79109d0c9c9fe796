#!/bin/sh
# Runs a Windows test program under wine64 with the project's prefix (see scripts/wine-env.sh).
here=$(cd "$(dirname "$0")/.." && pwd)
ORDAVIN_ROOT=$here
. "$here/scripts/wine-env.sh"
exec wine "$@"
