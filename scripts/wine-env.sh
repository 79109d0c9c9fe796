# Sourced by every script that runs Wine: one quiet prefix inside build/.
: "${ORDAVIN_ROOT:=$(cd "$(dirname "${BASH_SOURCE:-$0}")/.." 2>/dev/null && pwd)}"
: "${ORDAVIN_BUILD:=build}"
case "$ORDAVIN_BUILD" in /*) ;; *) ORDAVIN_BUILD="$ORDAVIN_ROOT/$ORDAVIN_BUILD" ;; esac
export ORDAVIN_BUILD
export WINEPREFIX="$ORDAVIN_BUILD/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installers: the prefix must come up without network and without questions.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
export PATH="/usr/lib/wine:$PATH"
