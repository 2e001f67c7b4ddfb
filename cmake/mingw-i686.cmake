# Cross-build for 32-bit Windows with MinGW-w64 (posix threads: std::mutex and GoogleTest need it).
# This is the program as shipped. Its test executables run under Wine's 32-bit loader, which
# only a machine that can start 32-bit programs has (tools/test.sh decides).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test executables run under Wine; tools/test.sh gives them a private prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
