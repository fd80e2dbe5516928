# Cross build of the Windows program with Debian's mingw-w64 (64-bit):
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The posix thread variant of the compilers is the one whose C++ library has std::thread and
# std::mutex. Everything is linked statically, so stowkeeper.exe and the test program need no
# DLL beside them (libgcc, libstdc++, winpthread and zlib are all inside).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SK_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${SK_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${SK_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${SK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static archives only: libz.a rather than the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

# -static takes winpthread's archive as well; the two flags before it say the same for the
# compiler's own libraries explicitly.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Tests and discovery run the Windows programs through Wine, by a script that tells a start
# Wine failed from a test that failed (wine-test.sh).
find_program(SK_WINE wine)
if(SK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-test.sh)
endif()
