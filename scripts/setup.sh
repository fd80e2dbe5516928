#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and packaging
# Stowkeeper needs, on Linux and for the Windows program.
# Run as root (or through sudo) on Debian 12. Does nothing when everything is there already.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libwxgtk3.2-dev xvfb xauth imagemagick openbox
  # The Windows program (scripts/build-win.sh) and its tests under Wine (scripts/test-win.sh):
  # the 64-bit compilers of the posix thread variant, zlib built for them, GoogleTest's
  # sources to build for them, and Wine.
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev googletest
  wine wine64
  # The packages (scripts/package.sh) and their test (scripts/package-test.sh): Debian's
  # build flags and dpkg-shlibdeps, lintian, the icon's pictures, the Windows installer's
  # compiler, and what the test looks with.
  dpkg-dev lintian librsvg2-bin nsis file man-db
)

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
