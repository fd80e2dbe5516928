#!/usr/bin/env bash
# Starts a Windows test program under Wine for CTest (the cross build's emulator).
#
# Now and then Wine fails to bring a program up at all: it ends at once, prints nothing and
# its status is none a test gives. That is a failed start, not a failed test, so it is tried
# once more and written down as a start failure (on standard error, and in the file
# $SK_WINE_START_LOG when set, which scripts/test-win.sh reports at the end). A program that
# came up (it printed anything at all: GoogleTest's first line comes before any test) keeps
# its status, pass or fail: a failing test is never tried again.
set -u
output=$(mktemp "${TMPDIR:-/tmp}/sk-wine-test-XXXXXX")
trap 'rm -f "$output"' EXIT

for attempt in 1 2; do
  wine "$@" >"$output" 2>&1 </dev/null
  status=$?
  if [ -s "$output" ] || [ "$status" -eq 0 ]; then
    cat "$output"
    exit "$status"
  fi
  note="start failure: '$*' printed nothing and ended with status $status (start $attempt of 2)"
  echo "wine-test: $note" >&2
  [ -n "${SK_WINE_START_LOG:-}" ] && echo "$note" >>"$SK_WINE_START_LOG"
done
exit "$status"
