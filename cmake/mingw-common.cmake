set(CMAKE_C_COMPILER ${QF_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QF_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QF_TRIPLE}-windres)
# Archives of link-time-optimised objects need the compiler's own archiver.
set(CMAKE_AR ${QF_TRIPLE}-gcc-ar-posix)
set(CMAKE_RANLIB ${QF_TRIPLE}-gcc-ranlib-posix)
set(CMAKE_FIND_ROOT_PATH /usr/${QF_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests run under Wine, in a prefix of the build's own: the i686 build under
# 32-bit Wine, the x86_64 build under wine64.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
if(QF_TRIPLE STREQUAL "x86_64-w64-mingw32")
  set(QF_WINEARCH win64)
  set(QF_WINE_LOADER /usr/lib/wine/wine64)
else()
  set(QF_WINEARCH win32)
  set(QF_WINE_LOADER /usr/lib/wine/wine)
endif()
