#!/bin/bash
# Builds the libFuzzer targets (clang, ASan, UBSan) into $ORDAVIN_BUILD/fuzz and runs each for a bounded time
# (FUZZ_SECONDS, default 60) on a corpus seeded from the sample archives and, when mksetup can build, from
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

status=0
for source in fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
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
