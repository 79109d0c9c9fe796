#!/bin/bash
# Runs the demo setup, build/demo/Setup-x64.exe, under Wine.
# With a usable display the dialog is shown to the person at the keyboard. Without one the setup runs in
# Xvfb: a picture of the dialog goes to build/demo/setup-dialog.png, the driver presses OK as a person would,
# and what was installed is printed (files, registry values, ZUNO.INI, shortcuts).
# ORDAVIN_DEMO_HEADLESS=1 takes the Xvfb road even when a display is there.
set -eu
ORDAVIN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ORDAVIN_ROOT"
. scripts/wine-env.sh

setup="$ORDAVIN_BUILD/demo/Setup-x64.exe"
driver="$ORDAVIN_BUILD/win64/tests/ui/ui_driver.exe"
for f in "$setup" "$driver"; do
  if [ ! -f "$f" ]; then
    echo "demo: $f is missing; run 'make demo' (or 'make win64') to build it" >&2
    exit 1
  fi
done

display_usable() {
  [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}

if [ -z "${ORDAVIN_DEMO_IN_XVFB:-}" ] && { [ -n "${ORDAVIN_DEMO_HEADLESS:-}" ] || ! display_usable; }; then
  export ORDAVIN_DEMO_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

scripts/wine-server.sh start
trap 'scripts/wine-server.sh stop' EXIT

if [ -z "${ORDAVIN_DEMO_IN_XVFB:-}" ]; then
  echo "Showing the setup on $DISPLAY; close it with OK or Exit."
  wine "$setup"
  echo
  wine "$driver" report
  exit 0
fi

# The driver's output goes through a file: the setup it starts inherits its standard output, and a pipe
# would stay open for as long as the setup runs.
out=$(mktemp)
trap 'rm -f "$out"; scripts/wine-server.sh stop' EXIT
driver() {
  local status=0
  wine "$driver" "$@" >"$out" || status=$?
  tr -d '\r' <"$out"
  return $status
}

# Without a window manager nobody draws the title bar: let Wine draw it, so that the picture shows it.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true

# A first install: forget whatever an earlier demo or test left in this Wine prefix.
driver reset
shown=$(driver show "$(winepath -w "$setup")")
echo "$shown"
read -r _ x y w h <<<"$(echo "$shown" | grep '^dialog ')"
picture="$ORDAVIN_BUILD/demo/setup-dialog.png"
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$picture"
echo "Picture of the dialog: $picture"
driver ok
echo
driver report
