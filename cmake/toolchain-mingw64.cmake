# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
# The programs run under Wine, which CTest uses as the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)

# The posix thread model gives std::thread and std::mutex with GCC 12.
find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-posix ${_mingw}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
# Qt for MinGW (scripts/build-qt-mingw.sh) lies outside the MinGW root: searched as a root too.
if(PORTPROBE_QT_MINGW)
  list(APPEND CMAKE_FIND_ROOT_PATH ${PORTPROBE_QT_MINGW})
  list(APPEND CMAKE_PREFIX_PATH ${PORTPROBE_QT_MINGW})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked in, so the programs need no MinGW DLLs; with Qt the
# programs and Qt's DLLs share MinGW's DLLs instead (one C++ run time in the process).
if(NOT PORTPROBE_MINGW_DLL_RUNTIME)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

# The 64-bit loader directly: Debian's "wine" wrapper prefers a 32-bit Wine.
find_program(PORTPROBE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(PORTPROBE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PORTPROBE_WINE})
endif()
