#!/usr/bin/env bash
# Configures and builds Stowkeeper into build/ (or the folder given as $BUILD_DIR). Extra
# arguments go to the configure.
#
# The folder is configured as the Debian package is built: Debian's build flags (optimisation
# and hardening), the prefix /usr. The tests then run the program that ships, and
# scripts/package.sh makes the package from this build (PKG_BUILD_DIR=build) instead of
# compiling it once more. Debug information is line tables only (-g1): enough for a backtrace
# with file and line, and full debug information costs a third of the build's time. (For a
# debugger session, configure a folder of your own with -DCMAKE_BUILD_TYPE=Debug.)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
command -v dpkg-buildflags >/dev/null || {
  echo "build.sh: dpkg-buildflags is missing (scripts/setup.sh program installs it)" >&2
  exit 2
}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_APPEND=-g1
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
# Configured every time, so that a folder made another way is brought to these flags (CMake
# then rebuilds only when a flag changed).
cmake -S . -B "$build_dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_INSTALL_PREFIX=/usr -DSK_WERROR=ON "$@" >/dev/null
cmake --build "$build_dir"
