#!/usr/bin/env bash
# Builds the job tests with ThreadSanitizer and runs them: the jobs hand blocks to worker
# threads, and a data race there could change a volume without any test seeing it. Only the
# test program is built (the library below it and the job tests), so this stays short in CI.
# Tests that start the built program (*ProgramTest) and the ones that repeat a whole job at
# every file system call (InterruptedJobTest) are left to the ordinary build: they add
# minutes and no other thread work. The standard library's own checks are on as well
# (_GLIBCXX_ASSERTIONS): the read-ahead queues are taken from while they are being filled, and
# an element taken from an empty queue then aborts the test instead of reading stale memory.
# The optimiser's first level is enough for the instrumented code and builds a fifth faster.
set -euo pipefail
cd "$(dirname "$0")/.."
tsan_dir=${TSAN_BUILD_DIR:-build-tsan}
if [ ! -f "$tsan_dir/build.ninja" ]; then
  cmake -S . -B "$tsan_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSK_TSAN=ON \
    -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
    -DCMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS \
    -DSK_BUILD_BENCH=OFF
fi
cmake --build "$tsan_dir" --target stowkeeper_job_tests
TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" "$tsan_dir/tests/stowkeeper_job_tests" \
  --gtest_filter='-*ProgramTest.*:InterruptedJobTest.*:KilledProgramTest.*' --gtest_brief=1
echo "tsan: the job tests ran clean"
