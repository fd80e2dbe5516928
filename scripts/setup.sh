#!/usr/bin/env bash
# Installs the Debian packages Stowkeeper needs, in groups:
#   scripts/setup.sh program   building the Linux program, its tests and benchmarks (what
#                              scripts/demo.sh needs: no cross-compilers, no Wine)
#   scripts/setup.sh windows   the program group, plus the Windows program's cross-compilers
#                              and Wine to test it (scripts/build-win.sh, scripts/test-win.sh)
#   scripts/setup.sh [all]     everything: the groups above, the fuzz targets' compiler, the
#                              desktop tests' virtual screen, the packages' tools and
#                              systemd (its unit checker)
#                              (scripts/test.sh, scripts/package.sh)
# Run as root (or through sudo) on Debian 12. Does nothing when everything is there already.
set -euo pipefail

group=${1:-all}
program=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libwxgtk3.2-dev
  # wxWidgets' own translations: the Yes, No and Cancel of its message boxes in the
  # language of the program's catalog.
  wx3.2-i18n
)
# The 64-bit compilers of the posix thread variant, zlib built for them, GoogleTest's sources
# to build for them, and Wine.
windows=(
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev googletest
  wine wine64
)
# The fuzz targets (clang's libFuzzer), the desktop tests' virtual screen and screenshots, and
# the packages (scripts/package.sh) and their test (scripts/package-test.sh): Debian's build
# flags and dpkg-shlibdeps, lintian, the icon's pictures, the Windows installer's compiler,
# and what the test looks with; systemd-analyze checks the schedules' units.
rest=(
  clang libclang-rt-14-dev systemd
  xvfb xauth imagemagick openbox
  dpkg-dev lintian librsvg2-bin nsis file man-db
)
case "$group" in
  program) packages=("${program[@]}") ;;
  windows) packages=("${program[@]}" "${windows[@]}") ;;
  all) packages=("${program[@]}" "${windows[@]}" "${rest[@]}") ;;
  *)
    echo "setup.sh: unknown group '$group' (program, windows or all)" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
