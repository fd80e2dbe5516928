#!/usr/bin/env bash
# Builds the packages people install, into out/ (or the folder $PACKAGE_DIR names):
#   stowkeeper_<version>_amd64.deb        for Debian and Ubuntu, checked with lintian
#                                         (its report: lintian.txt beside it)
#   stowkeeper-<version>-win64-setup.exe  the Windows installer
#   stowkeeper-<version>-win64.zip        the same files as the installer, to unpack anywhere
# The version is the CMake project's. The Linux program is built for the package by
# scripts/build.sh (Debian's build flags, the prefix /usr) in build-pkg/ or the folder
# $PKG_BUILD_DIR names (scripts/test.sh gives its own build/); the Windows
# program is the one scripts/build-win.sh builds (build-win/, $WIN_BUILD_DIR). CPack makes
# all three packages. Installs what is missing first (scripts/setup.sh); SKIP_WINDOWS=1
# makes only the .deb.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${PACKAGE_DIR:-out}")
pkg_build=${PKG_BUILD_DIR:-build-pkg}
win_build=${WIN_BUILD_DIR:-build-win}

scripts/setup.sh
for tool in cmake cpack dpkg-buildflags dpkg-shlibdeps lintian rsvg-convert makensis; do
  command -v "$tool" >/dev/null || {
    echo "package.sh: $tool is missing (scripts/setup.sh installs it)" >&2
    exit 2
  }
done
mkdir -p "$out"

# make_packages BUILD_DIR GENERATORS: runs CPack in the build folder (its working files stay
# there) and moves the packages into $out.
make_packages() {
  local build=$1 generators=$2 work=$1/cpack
  rm -rf "$work"
  cpack --config "$build/CPackConfig.cmake" -G "$generators" -B "$work"
  find "$work" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.exe' -o -name "*.zip" -o -name "*.sha256" \) \
    -exec mv -f {} "$out/" \;
}

echo "== the Debian package"
# The program as scripts/build.sh builds it: Debian's build flags, the prefix /usr. A folder of
# its own leaves the tests and benchmarks out; the test build (PKG_BUILD_DIR=build) serves too.
config=()
[ -f "$pkg_build/build.ninja" ] || config=(-DSK_BUILD_TESTS=OFF -DSK_BUILD_BENCH=OFF)
BUILD_DIR="$pkg_build" scripts/build.sh ${config[@]+"${config[@]}"}
make_packages "$pkg_build" DEB
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$pkg_build/CMakeCache.txt")
deb="$out/stowkeeper_${version}_amd64.deb"
[ -f "$deb" ] || { echo "package.sh: CPack made no $deb" >&2; exit 1; }

echo "== lintian"
# Errors fail the build; the report (warnings included) is kept in lintian.txt beside the package.
status=0
lintian --display-level ">=warning" --fail-on error "$deb" >"$out/lintian.txt" 2>&1 ||
  status=$?
cat "$out/lintian.txt"
if [ "$status" -ne 0 ]; then
  echo "package.sh: lintian found errors in $deb" >&2
  exit 1
fi

if [ "${SKIP_WINDOWS:-0}" != 1 ]; then
  echo "== the Windows installer and zip"
  WIN_BUILD_DIR="$win_build" scripts/build-win.sh
  make_packages "$win_build" "NSIS;ZIP"
fi

echo "package.sh: packages in $out:"
ls -l "$out"
