#!/bin/bash
# Builds the libFuzzer targets (clang, ASan, UBSan) into $ORDAVIN_BUILD/fuzz and runs each for a bounded time
# (FUZZ_SECONDS, default 60; FUZZ_TARGETS limits the run to the named targets) on a corpus seeded from the sample archives and, when mksetup can build, from
# a setup of our own. Prints each target's exec count; fails when a target found a crash.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
BUILD=${ORDAVIN_BUILD:-build}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
OUT="$BUILD/fuzz"
SECONDS_EACH=${FUZZ_SECONDS:-60}
CXX=${FUZZ_CXX:-clang++}
SAMPLES=${ORDAVIN_SAMPLES_DIR:-$ROOT/../shared/rar-samples}
mkdir -p "$OUT"

CORE=$(ls archive/*.cpp unpack/*.cpp | grep -v '^archive/extract')
FLAGS="-std=c++17 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I$ROOT"

# Extra sources per target beyond the portable core.
extra_sources() {
  case "$1" in
    fuzz_mksetup) echo tools/mksetup_read.cpp ;;
    fuzz_roundtrip) ls tools/compress*.cpp ;;
  esac
}

# A setup of our own as a seed, when this checkout's mksetup can build one.
own_seed=""
MKSETUP="$BUILD/host/tools/mksetup"
if [ -x "$MKSETUP" ]; then
  seed_dir=$(mktemp -d)
  mkdir -p "$seed_dir/files/sub"
  printf 'Ordavin seed file, repeated text repeated text repeated text\n' > "$seed_dir/files/readme.txt"
  head -c 3000 /dev/urandom > "$seed_dir/files/sub/random.bin"
  # With this checkout's stub when it is built, else the bare archive.
  if "$MKSETUP" build -o "$seed_dir/seed.exe" "$seed_dir/files" >/dev/null 2>&1 ||
     "$MKSETUP" build --stub none -o "$seed_dir/seed.exe" "$seed_dir/files" >/dev/null 2>&1; then
    own_seed="$OUT/own-seed.exe"
    cp "$seed_dir/seed.exe" "$own_seed"
  fi
  rm -rf "$seed_dir"
fi

# Seeds for the decoder targets: the packed data of our own setup's compressed entries, with the few
# header bytes those targets read first (fuzz_table: mode; fuzz_lz: mode, sizes and where entry two begins).
decoder_seeds() {
  [ -n "$own_seed" ] || return 0
  mkdir -p "$OUT/corpus-table" "$OUT/corpus-lz"
  python3 - "$own_seed" "$OUT/corpus-table" "$OUT/corpus-lz" <<'PY' || true
import struct, sys, os
data = open(sys.argv[1], 'rb').read()
at = data.find(b'Rar!\x1a\x07\x00')
if at < 0:
    sys.exit(0)
pos = at + 7
pos += struct.unpack_from('<H', data, pos + 5)[0]
entries = []
while pos + 32 <= len(data) and data[pos + 2] == 0x74:
    flags, head_size, pack_size, unp_size = struct.unpack_from('<HHII', data, pos + 3)
    method = data[pos + 25]
    packed = data[pos + head_size:pos + head_size + pack_size]
    if method != 0x30:
        entries.append((unp_size, packed, flags))
    pos += head_size + pack_size
for i, (unp, packed, flags) in enumerate(entries):
    open(os.path.join(sys.argv[2], 'own-%d' % i), 'wb').write(b'\x00' + packed)
    open(os.path.join(sys.argv[3], 'own-%d' % i), 'wb').write(
        bytes([0]) + struct.pack('<I', unp)[:3] + b'\x00\x00\x00\x00\x00' + packed)
if len(entries) >= 2:
    (u1, p1, _), (u2, p2, _) = entries[0], entries[1]
    open(os.path.join(sys.argv[3], 'own-solid'), 'wb').write(
        bytes([1]) + struct.pack('<I', u1)[:3] + struct.pack('<H', len(p1)) + struct.pack('<I', u2)[:3] + p1 + p2)
PY
}

status=0
for source in fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  if [ -n "${FUZZ_TARGETS:-}" ] && ! [[ " $FUZZ_TARGETS " == *" $name "* ]]; then
    continue
  fi
  echo "== $name: building"
  # shellcheck disable=SC2046
  if ! $CXX $FLAGS $CORE $(extra_sources "$name") "$source" -o "$OUT/$name"; then
    echo "$name: build failed"
    status=1
    continue
  fi
  corpus="$OUT/corpus-${name#fuzz_}"
  mkdir -p "$corpus"
  if [ -d "$SAMPLES" ]; then
    cp "$SAMPLES"/*.rar "$corpus"/ 2>/dev/null; chmod u+w "$corpus"/*
  else
    echo "$name: no sample archives at $SAMPLES; corpus starts from what it has"
  fi
  [ -n "$own_seed" ] && cp "$own_seed" "$corpus"/
  case "$name" in fuzz_table|fuzz_lz) decoder_seeds ;; esac
  echo "== $name: running for $SECONDS_EACH s"
  log="$OUT/$name.log"
  "$OUT/$name" -max_total_time="$SECONDS_EACH" -print_final_stats=1 -dict=fuzz/archive.dict \
    -artifact_prefix="$OUT/$name-" -rss_limit_mb=2048 -timeout=30 "$corpus" >"$log" 2>&1
  rc=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  echo "$name: ${execs:-unknown} execs, corpus $(ls "$corpus" | wc -l) files, exit $rc (log $log)"
  if [ $rc -ne 0 ]; then
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -20
    status=1
  fi
done
exit $status
