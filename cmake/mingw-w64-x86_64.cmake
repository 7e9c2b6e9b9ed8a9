# Cross-compiling for Windows with Debian's MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Programs are linked statically, so that they run without the MinGW runtime
# DLLs beside them (on Windows, and under wine for the tests).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Built programs run here under wine where it is installed (the tests).
find_program(DOZERED_WINE wine)
if(DOZERED_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DOZERED_WINE})
endif()
