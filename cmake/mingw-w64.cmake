# Cross-compiles the Windows console program with Debian's MinGW-w64 (the posix thread model,
# which GoogleTest needs), one static executable for Windows 8 and later; its tests run under
# Wine, each in namespaces of its own (tests/in_netns.sh, tests/wine_run.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0602")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/in_netns.sh
                                  ${CMAKE_CURRENT_LIST_DIR}/../tests/wine_run.sh)
