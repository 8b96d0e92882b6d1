# Test programs of the Windows 2000/XP build's stage, run under 32-bit Wine
# (emulated) against the shipped files of the win32 build; never shipped, so
# they take the -posix thread model GoogleTest's std::mutex needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QX_TARGET win32-stage)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The 32-bit loader; scripts/lib/win32-stage.sh registers the emulator it needs.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
