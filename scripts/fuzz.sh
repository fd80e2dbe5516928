#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS (default 20). A target
# with a folder fuzz/seeds/<target>/ (files the program wrote, see make-fuzz-seeds.sh) starts
# from those files; what it finds beyond them stays in the build folder's corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}
fuzz_dir=${FUZZ_BUILD_DIR:-build-fuzz}
if ! ls fuzz/*_fuzz.cc >/dev/null 2>&1; then exit 0; fi
if [ ! -f "$fuzz_dir/build.ninja" ]; then
  # The optimiser's first level and line tables only: the targets build in half the time, and
  # a fault still comes with file and line.
  CXX=clang++ cmake -S . -B "$fuzz_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DSK_FUZZ=ON -DSK_BUILD_TESTS=OFF -DSK_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS
fi
targets=()
for src in fuzz/*_fuzz.cc; do targets+=("$(basename "$src" .cc)"); done
# Only the fuzz targets: the program and its desktop windows are not built with the fuzzer.
cmake --build "$fuzz_dir" --target "${targets[@]}"
# The file readers' targets write every input to a file: in memory where the machine allows.
scratch=/tmp
if [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch=/dev/shm; fi
# run_target NAME: one target for its time, its last lines kept for the report.
run_target() {
  local name=$1 corpus="$fuzz_dir/corpus/$1"
  mkdir -p "$corpus"
  local seeds=()
  if [ -d "fuzz/seeds/$name" ]; then seeds=("fuzz/seeds/$name"); fi
  TMPDIR=$scratch "$fuzz_dir/fuzz/$name" -max_total_time="$seconds" -print_final_stats=0 \
    "$corpus" ${seeds[@]+"${seeds[@]}"} >"$fuzz_dir/$name.log" 2>&1
}
# Each target runs on one core: as many run at once as there are cores. A target that finds
# a fault ends with a non-zero status, and its log is shown.
failed=0
running=0
for name in "${targets[@]}"; do
  if [ "$running" -ge "$(nproc)" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  echo "== fuzzing $name for ${seconds}s"
  run_target "$name" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
for name in "${targets[@]}"; do
  if grep -q -E "ERROR|==[0-9]+==|deadly signal" "$fuzz_dir/$name.log"; then
    echo "== $name found a fault:"
    tail -n 40 "$fuzz_dir/$name.log"
    failed=1
  fi
done
[ "$failed" -eq 0 ] || { echo "fuzz: a target failed" >&2; exit 1; }
echo "fuzz: all targets ran clean"
