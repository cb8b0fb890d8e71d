# Cross-compiles the Linux program for 32-bit ARM boards (armhf: ARMv7, hard float) with Debian's
# cross compiler (g++-arm-linux-gnueabihf); the headers and libraries of that architecture come
# from its multiarch packages (libssl-dev:armhf, nettle-dev:armhf, and libgtest-dev:armhf for the
# tests), which run under the user-mode emulator (qemu-user-static). Time is 64-bit there too.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm-static)
