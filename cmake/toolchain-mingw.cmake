# Cross build for Windows with MinGW-w64. The shipped program is 32-bit (Debian g++-mingw-w64-i686);
# toolchain-mingw64.cmake includes this file for a 64-bit build (g++-mingw-w64-x86-64) that runs the
# same tests under wine64 on machines that cannot execute 32-bit programs. The -posix compilers give
# std::thread and std::mutex; the runtime is linked statically so the .exe files run as they are,
# on Windows and under Wine. Test programs run under Wine through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT DEFINED ALTIVANE_MINGW_TRIPLE)
  set(ALTIVANE_MINGW_TRIPLE i686-w64-mingw32)
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()

set(_mingw ${ALTIVANE_MINGW_TRIPLE})
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# M_PI and friends, as glibc gives them.
set(CMAKE_C_FLAGS_INIT "-D_USE_MATH_DEFINES")
set(CMAKE_CXX_FLAGS_INIT "-D_USE_MATH_DEFINES")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The Wine prefix lives in the build folder, so each checkout has its own.
if(ALTIVANE_MINGW_TRIPLE STREQUAL "x86_64-w64-mingw32")
  set(_wine_width --wine64)
else()
  set(_wine_width --wine32)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run;${_wine_width};--prefix=${CMAKE_BINARY_DIR}/wineprefix")
