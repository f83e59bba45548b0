# Cross build for 64-bit Windows (Debian g++-mingw-w64-x86-64): the same sources and tests as the
# 32-bit build, run under wine64 where this machine cannot execute 32-bit programs.
set(ALTIVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
