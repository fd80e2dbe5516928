#!/usr/bin/env bash
# Runs the test suite of the Windows build (scripts/build-win.sh, build-win/ or $WIN_BUILD_DIR)
# under Wine: CTest starts the test program as a Windows program through Wine, once per shard
# of the suite. The Wine prefix lives in the build folder ($WINEPREFIX chooses another) and is
# made on the first run. Extra arguments go to ctest; GTEST_FILTER picks tests (e.g.
# GTEST_FILTER='Restore*' scripts/test-win.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${WIN_BUILD_DIR:-build-win}

for tool in wine wineserver wineboot ctest; do
  command -v "$tool" >/dev/null || {
    echo "test-win.sh: $tool is missing (scripts/setup.sh windows installs wine, wine64 and cmake)" >&2
    exit 2
  }
done
[ -f "$build_dir/tests/stowkeeper_tests.exe" ] || {
  echo "test-win.sh: no test program in $build_dir (scripts/build-win.sh)" >&2
  exit 2
}

# The native toolkit's tests make real windows: without a screen they skip, so give them a
# virtual one.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

export WINEPREFIX=${WINEPREFIX:-$PWD/$build_dir/wine}
export WINEDEBUG=-all
# No offer to install Mono or Gecko: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"

# A wine server that stays up, and one trivial program that starts Wine's own helper
# processes (services, the desktop), all away from this script's output: started by the
# first test instead, they would hold CTest's pipes open and CTest would wait for them. (A
# server still up from an earlier run is used as it is.)
wineserver -p >/dev/null 2>&1 </dev/null || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== making the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null
fi
wine cmd /c exit >/dev/null 2>&1 </dev/null

# A network share for the tests of backups on one: Wine opens \\server\share\ through the link
# dosdevices/unc/server/share, so \\localhost\c$\ names drive C as the administrative share
# of Windows does.
mkdir -p "$WINEPREFIX/dosdevices/unc/localhost"
ln -sfn "$WINEPREFIX/drive_c" "$WINEPREFIX/dosdevices/unc/localhost/c\$"

# The smoke test of the real program (SKIP_SMOKE=1 leaves it out) and the check that the Linux
# and the Windows program share their backups (SKIP_COMPAT=1) run beside the suite, each with
# a Wine prefix and virtual screens of its own: all of them wait for Wine's server much of the
# time. Their output is shown when the suite has ended.
beside=()
run_beside() {
  local name=$1
  shift
  env -u DISPLAY "$@" >"$build_dir/$name.log" 2>&1 &
  beside+=("$!:$name")
}
[ "${SKIP_SMOKE:-0}" = 1 ] || run_beside smoke BUILD_DIR="$build_dir" scripts/smoke-win.sh
[ "${SKIP_COMPAT:-0}" = 1 ] ||
  run_beside compat WINDOWS_PROGRAM="$PWD/$build_dir/stowkeeper.exe" scripts/compat-win.sh

# Starts Wine failed (cmake/wine-test.sh retried them once) are listed after the suite: they
# are no test's failure, but a run with many of them says something about this machine.
export SK_WINE_START_LOG=$PWD/$build_dir/wine-start-failures.log
rm -f "$SK_WINE_START_LOG"
status=0
ctest --test-dir "$build_dir" --output-on-failure -j "${JOBS:-$((2 * $(nproc) + 2))}" "$@" ||
  status=$?
if [ -s "$SK_WINE_START_LOG" ]; then
  echo "test-win.sh: Wine failed to start a test program $(wc -l <"$SK_WINE_START_LOG") time(s):"
  sed 's/^/  /' "$SK_WINE_START_LOG"
fi

for entry in ${beside[@]+"${beside[@]}"}; do
  pid=${entry%%:*}
  name=${entry#*:}
  beside_status=0
  wait "$pid" || beside_status=$?
  echo "== $name (scripts/$name-win.sh)"
  cat "$build_dir/$name.log"
  if [ "$beside_status" -ne 0 ]; then
    echo "test-win.sh: scripts/$name-win.sh failed with status $beside_status" >&2
    status=1
  fi
done
exit "$status"
