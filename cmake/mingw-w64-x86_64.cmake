# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the "posix"
# thread model, which std::thread and std::mutex need). Test programs run
# under Wine through the emulator below.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DUDORAZU_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DUDORAZU_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DUDORAZU_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${DUDORAZU_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DUDORAZU_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe to carry: the C and C++ runtimes and winpthreads linked in.
# printf takes the C99 formats (%zu, %llu) through mingw's own stdio.
# The format checks assume the Microsoft runtime's printf; they run on the
# Linux build of the same code.
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -Wno-format")
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(DUDORAZU_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(DUDORAZU_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DUDORAZU_WINE})
endif()
