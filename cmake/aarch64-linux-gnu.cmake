# Cross-compiles the Linux program for 64-bit ARM boards with Debian's cross compiler
# (g++-aarch64-linux-gnu); the headers and libraries of that architecture come from its multiarch
# packages (libssl-dev:arm64, nettle-dev:arm64, and libgtest-dev:arm64 for the tests), which run
# under the user-mode emulator (qemu-user-static).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
