# Sourced by every script that runs Wine: one quiet prefix inside build/.
: "${ORDAVIN_ROOT:=$(cd "$(dirname "${BASH_SOURCE:-$0}")/.." 2>/dev/null && pwd)}"
export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$ORDAVIN_ROOT/build/wineprefix}"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installers: the prefix must come up without network and without questions.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
export PATH="/usr/lib/wine:$PATH"
