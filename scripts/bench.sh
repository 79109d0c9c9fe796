#!/bin/bash
# Benchmark: our compressor at each level against gzip, bzip2 and xz of a tar of the same files and against
# NSIS installers of them; our decoder against zlib inflate and libdeflate; peak memory of mksetup build and
# test. Writes bench/RESULTS.md. Usage: scripts/bench.sh [LEVEL...] (default 1 2 3).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
BUILD=${ORDAVIN_BUILD:-build}
HOST="$BUILD/host"
LEVELS=${*:-1 2 3}
cmake --build "$HOST" --target mksetup bench_codec -j2 >/dev/null
MKSETUP="$HOST/tools/mksetup"
BENCH="$HOST/bench/bench_codec"

WORK=$(mktemp -d /tmp/ordavin-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/corpus/dll" "$WORK/corpus/include"
LIST="$WORK/list.txt"
: > "$LIST"
missing=0
while read -r f; do
  case "$f" in ''|'#'*) continue ;; esac
  if [ -f "$f" ]; then
    case "$f" in *.dll) dest="$WORK/corpus/dll" ;; *) dest="$WORK/corpus/include" ;; esac
    cp "$f" "$dest/"
    echo "$f" >> "$LIST"
  else
    echo "bench: $f missing, left out" >&2
    missing=$((missing + 1))
  fi
done < bench/corpus.txt
INPUT=$(cat "$WORK"/corpus/*/* | wc -c)
FILES=$(cat "$LIST" | wc -l)
tar -C "$WORK" --sort=name -cf "$WORK/corpus.tar" corpus

# One measured command: wall time, user time and peak memory into $WORK/time.txt.
measure() {
  /usr/bin/time -f "%e %U %M" -o "$WORK/time.txt" "$@"
}
ROWS=""
GZIP_SIZE=0
row() {   # label size
  local label=$1 size=$2 wall user rss
  read -r wall user rss < "$WORK/time.txt"
  local pct ratio speed
  pct=$(awk -v s="$size" -v i="$INPUT" 'BEGIN { printf "%.1f%%", 100 * s / i }')
  if [ "$GZIP_SIZE" -gt 0 ]; then
    ratio=$(awk -v s="$size" -v g="$GZIP_SIZE" 'BEGIN { printf "%+.1f%%", 100 * (s - g) / g }')
  else
    ratio="0.0%"
  fi
  speed=$(awk -v i="$INPUT" -v u="$user" 'BEGIN { if (u > 0) printf "%.1f", i / 1e6 / u; else print "-" }')
  ROWS="$ROWS| $label | $size | $pct | $ratio | $wall | $user | $speed | $((rss / 1024)) |
"
  echo "$label: $size bytes ($pct, vs gzip -9 $ratio), ${wall}s wall, ${user}s user, ${speed} MB/s, $((rss / 1024)) MiB" >&2
}

measure sh -c "gzip -9 -c '$WORK/corpus.tar' > '$WORK/corpus.tar.gz'"
GZIP_SIZE=$(stat -c %s "$WORK/corpus.tar.gz")
row "gzip -9 (tar)" "$GZIP_SIZE"
measure sh -c "bzip2 -9 -c '$WORK/corpus.tar' > '$WORK/corpus.tar.bz2'"
row "bzip2 -9 (tar)" "$(stat -c %s "$WORK/corpus.tar.bz2")"
measure sh -c "xz -9 -T1 -c '$WORK/corpus.tar' > '$WORK/corpus.tar.xz'"
row "xz -9 (tar)" "$(stat -c %s "$WORK/corpus.tar.xz")"

if command -v makensis >/dev/null; then
  for c in zlib bzip2 lzma; do
    cat > "$WORK/nsis-$c.nsi" <<NSI
Unicode true
SetCompressor /SOLID $c
OutFile "$WORK/nsis-$c.exe"
InstallDir "\$TEMP\\bench"
RequestExecutionLevel user
Section
  SetOutPath "\$INSTDIR"
  File /r "$WORK/corpus/*"
SectionEnd
NSI
    measure makensis -V1 "$WORK/nsis-$c.nsi"
    row "NSIS solid $c (whole installer)" "$(stat -c %s "$WORK/nsis-$c.exe")"
  done
else
  echo "bench: makensis not installed, NSIS rows left out" >&2
fi

for level in $LEVELS; do
  measure "$MKSETUP" build --stub none --level "$level" -o "$WORK/ours-$level.rar" "$WORK/corpus" 2>/dev/null
  row "mksetup build --level $level (compress + verify)" "$(stat -c %s "$WORK/ours-$level.rar")"
done
BUILD_LEVEL=$(echo $LEVELS | awk '{ print ($2 != "" ? $2 : $1) }')
measure "$MKSETUP" test "$WORK/ours-$BUILD_LEVEL.rar" >/dev/null
read -r TEST_WALL TEST_USER TEST_RSS < "$WORK/time.txt"

CODEC=$("$BENCH" "$LIST" $LEVELS)
echo "$CODEC" >&2

# The stub's size section is measured by the build, not here: keep it.
STUB_SECTION=$(sed -n '/^## Setup stub size/,$p' bench/RESULTS.md 2>/dev/null || true)
{
  echo "# Benchmark results"
  echo
  echo "Made by \`make bench\` (scripts/bench.sh) on $(date -u +%Y-%m-%d)."
  echo "Machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), shared with other"
  echo "jobs while it ran, so times vary from run to run (user time is the steadier figure)."
  echo
  echo "Corpus: $FILES files of bench/corpus.txt (DLLs and headers of the Wine and mingw-w64 packages), $INPUT bytes."
  [ "$missing" -eq 0 ] || echo "($missing listed files were missing on this machine.)"
  echo
  echo "## Sizes and speed"
  echo
  echo "| Method | Bytes | % of input | vs gzip -9 | Wall s | User s | MB/s (user) | Peak MiB |"
  echo "|---|---|---|---|---|---|---|---|"
  printf "%s" "$ROWS"
  echo
  echo "gzip, bzip2 and xz compress one tar of the folder. NSIS sizes are whole installers (their stub"
  echo "included); ours are the bare archive (\`--stub none\`). mksetup build times include reading the"
  echo "files and checking the result through the setup's own reader and decoder."
  echo
  echo "\`mksetup test\` of the level $BUILD_LEVEL archive: ${TEST_WALL} s wall, ${TEST_USER} s user, peak $((TEST_RSS / 1024)) MiB."
  echo
  echo "## In-process codec (bench/bench_codec)"
  echo
  echo '```'
  echo "$CODEC"
  echo '```'
  echo
  echo "Compression time there is build_archive alone; decoding runs the setup's reader and decoder with the"
  echo "CRC-32 check, output to /dev/null. zlib and libdeflate inflate a gzip -9 stream of the same bytes"
  echo "into memory, with their CRC-32 check."
  echo
  echo "Command: \`make bench\` (or \`scripts/bench.sh [LEVEL...]\` with ORDAVIN_BUILD set)."
  if [ -n "$STUB_SECTION" ]; then
    echo
    echo "$STUB_SECTION"
  fi
} > bench/RESULTS.md
echo "bench: written bench/RESULTS.md" >&2
