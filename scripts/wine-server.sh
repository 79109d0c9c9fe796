#!/bin/bash
# start: create the prefix if needed, start a persistent wineserver and warm it up.
# stop: end the server. Without a persistent, prewarmed server every test pays Wine's
# start-up, and ctest waits on pipes held by Wine's background services.
set -e
ORDAVIN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ORDAVIN_ROOT/scripts/wine-env.sh"
case "$1" in
  start)
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "Creating the Wine prefix $WINEPREFIX"
      wineboot --init >/dev/null 2>&1 </dev/null || true
      wineserver -w || true
    fi
    # Keep the prefix to itself: Wine links Desktop, Documents and the like to the Unix home, where
    # the shortcuts of every test run would land.
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
      if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
    done
    setsid wineserver -p </dev/null >/dev/null 2>&1 &
    sleep 0.5
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    # Without a window manager (Xvfb) Wine waits about two seconds on every managed window, such as
    # each message box; unmanaged windows with Wine's own decorations come up at once.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1 || true
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true
    ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
