#!/usr/bin/env bash
# Runs the tests.
#
#   scripts/test.sh           everything, as CI does: installs what is missing, builds, runs
#                             the unit and end-to-end tests, every fuzz target for a short while
#                             (FUZZ_SECONDS each, default 20) and the job tests under
#                             ThreadSanitizer; then cross-builds the Windows program and runs the
#                             same suite under Wine; last, makes the packages (.deb, Windows
#                             installer and zip) and installs, uses and removes each.
#   scripts/test.sh --quick   for every change: the Linux build and its unit and end-to-end
#                             tests, in random order, nothing else (a few minutes from a built
#                             tree).
#
# Each stage prints its time when it ends, and the whole run a table of them, so that the
# slow one shows.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *)
    echo "usage: scripts/test.sh [--quick]" >&2
    exit 2
    ;;
esac

stage_times=()
# stage NAME COMMAND...: runs one stage and notes how long it took.
stage() {
  local name=$1 start=$SECONDS status=0
  shift
  echo "== stage $name"
  "$@" || status=$?
  local took=$((SECONDS - start))
  stage_times+=("$(printf '%-10s %4d s' "$name" "$took")")
  if [ "$status" -ne 0 ]; then
    echo "== stage $name FAILED after $took s (status $status)" >&2
    summary
    exit "$status"
  fi
  echo "== stage $name done in $took s"
}
summary() {
  echo "== time of each stage:"
  printf '   %s\n' "${stage_times[@]}"
  echo "   total      $((SECONDS)) s"
}

linux_tests() {
  (cd "${BUILD_DIR:-build}" && ctest --output-on-failure --schedule-random -j "$(nproc)")
}

if [ "$quick" = 1 ]; then
  stage setup scripts/setup.sh program
  stage build scripts/build.sh
  stage linux linux_tests
  summary
  exit 0
fi

stage setup scripts/setup.sh
stage build scripts/build.sh
stage linux linux_tests
stage fuzz scripts/fuzz.sh
stage tsan scripts/tsan.sh
stage build-win scripts/build-win.sh
stage wine scripts/test-win.sh
# The Debian package is made from the tested build: scripts/build.sh builds it with the
# package's flags.
stage packages env PKG_BUILD_DIR="${BUILD_DIR:-build}" scripts/package-test.sh
summary
