#!/bin/bash
# Runs every test: host (plain and under ASan/UBSan) and Windows (under wine64 in Xvfb), one summary.
set -u
ORDAVIN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ORDAVIN_ROOT"
if [ -z "${ORDAVIN_IN_XVFB:-}" ]; then
  export ORDAVIN_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
. scripts/wine-env.sh
scripts/wine-server.sh start
trap 'scripts/wine-server.sh stop' EXIT
# One ctest run over the three trees, so the summary counts them all.
cat > "$ORDAVIN_BUILD/CTestTestfile.cmake" <<CT
subdirs("host" "asan" "win64")
CT
ctest --test-dir "$ORDAVIN_BUILD" --output-on-failure -j2 "$@"
