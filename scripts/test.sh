#!/usr/bin/env bash
# Installs what is missing, builds, runs the whole test suite, then runs every fuzz target
# for a short while (FUZZ_SECONDS each, default 20) and the job tests under ThreadSanitizer;
# then cross-builds the Windows program and runs the same test suite as Windows programs under
# Wine; last, makes the packages (.deb, Windows installer and zip) and installs, uses and
# removes each.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
(cd "${BUILD_DIR:-build}" && ctest --output-on-failure -j "$(nproc)")
scripts/fuzz.sh
scripts/tsan.sh
scripts/build-win.sh
scripts/test-win.sh
scripts/package-test.sh
