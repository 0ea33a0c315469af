# Cross-building for 64-bit Windows with Debian's MinGW-w64 compiler (the
# POSIX-threads flavour, g++-mingw-w64-x86-64-posix), the tests run under
# Wine (tools/setup.sh windows installs both):
#
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake -DKOTRAN_TESTS=ON
#   cmake --build build-windows && ctest --test-dir build-windows
#
# Every program is linked statically, so that it runs with no MinGW DLL
# beside it (under Wine and on a Windows machine alike).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# Windows keeps the stack aligned to 16 bytes, and GCC does not realign it
# for the 32- and 64-byte vectors of the AVX2 and AVX-512 kernels: a vector
# it spills there with an aligned move would fault. The assembler makes
# every such move an unaligned one, as fast on aligned data.
set(CMAKE_CXX_FLAGS_INIT -Wa,-muse-unaligned-vector-move)
# Every test program runs through Wine, quietly (WINEDEBUG=-all), in a
# Wine prefix of the build's own (made once, by the tests' first fixture),
# so that a test run touches no ~/.wine.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wine wine)
