#!/bin/bash
# Runs the demo setup: the 64-bit twin of build/demo/Setup.exe, since wine64 cannot run 32-bit programs
# here. Without a display it runs in a virtual one and leaves a screenshot in build/demo/setup.png.
set -eu
ORDAVIN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ORDAVIN_ROOT/scripts/wine-env.sh"
setup="$ORDAVIN_BUILD/demo/Setup-x64.exe"
if [ ! -f "$setup" ]; then
  echo "demo: $setup is missing; run 'make' first" >&2
  exit 1
fi
"$ORDAVIN_ROOT/scripts/wine-server.sh" start
trap '"$ORDAVIN_ROOT/scripts/wine-server.sh" stop' EXIT
if [ -n "${DISPLAY:-}" ]; then
  echo "Running $setup"
  wine "$setup"
else
  shot="$ORDAVIN_BUILD/demo/setup.png"
  echo "No display: running $setup in Xvfb for a few seconds; screenshot in $shot"
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c "wine '$setup' & pid=\$!; sleep 8; import -window root '$shot'; kill \$pid" || true
fi
