# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (the POSIX thread model, which
# std::thread and std::async need). The runtime libraries are linked in statically, so that
# wayloom-cli.exe runs on its own. Tests run under Wine when it is installed.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(WAYLOOM_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WAYLOOM_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WAYLOOM_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${WAYLOOM_MINGW}-windres)
# Debian's MinGW-w64 libraries, and what scripts/windows-deps builds (GeographicLib).
set(CMAKE_FIND_ROOT_PATH /usr/${WAYLOOM_MINGW} ${CMAKE_CURRENT_LIST_DIR}/../build-windows-deps)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
find_program(WAYLOOM_WINE NAMES wine64 wine)
if(WAYLOOM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all ${WAYLOOM_WINE})
endif()
