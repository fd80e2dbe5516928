#!/usr/bin/env bash
# Cross-builds the Windows program (stowkeeper.exe, a 64-bit Win32 program with everything
# linked in) and the test program with Debian's mingw-w64 into build-win/ (or the folder
# given as $WIN_BUILD_DIR). Installs nothing: scripts/setup.sh does that. Extra arguments go
# to the first configure.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${WIN_BUILD_DIR:-build-win}

# tool-or-file package: what must be there, and the package that brings it.
need=(
  "x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix"
  "x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64"
  "/usr/x86_64-w64-mingw32/lib/libz.a libz-mingw-w64-dev"
  "/usr/src/googletest/CMakeLists.txt googletest"
  "cmake cmake"
  "ninja ninja-build"
)
missing=()
for entry in "${need[@]}"; do
  what=${entry% *}
  package=${entry#* }
  if [[ $what == /* ]]; then
    [ -e "$what" ] || missing+=("$package")
  else
    command -v "$what" >/dev/null || missing+=("$package")
  fi
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "build-win.sh: missing Debian packages: ${missing[*]} (scripts/setup.sh windows installs them)" >&2
  exit 2
fi

# Debug information is line tables only (-g1), as in scripts/build.sh: full debug information
# costs a third of the build's time, and the packages strip it anyway.
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
    -DSK_WERROR=ON -DSK_BUILD_BENCH=OFF "$@"
fi
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}"
echo "build-win.sh: $build_dir/stowkeeper.exe"
