# Cross-building for 64-bit ARM with Debian's cross compiler
# (g++-aarch64-linux-gnu), the tests run under qemu-user with the C and C++
# runtime of Debian's arm64 architecture, found where an arm64 machine has
# them (tools/setup.sh arm64 installs all of it):
#
#   cmake -S . -B build-arm64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DKOTRAN_TESTS=ON
#   cmake --build build-arm64 && ctest --test-dir build-arm64
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Every test program, and every kotran process a test starts, runs through
# this. No -L /usr/aarch64-linux-gnu: that copy of the C library (the cross
# compiler's) leaves a child spinning after fork under qemu-user.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
