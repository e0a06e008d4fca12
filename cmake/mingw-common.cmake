# Shared by the two mingw-w64 toolchain files, which set MARROWBY_MINGW_TRIPLE first. The posix
# thread model gives std::thread and std::mutex; everything is linked statically so that the
# programs and the library run on a Windows machine without mingw's own DLLs beside them.
set(CMAKE_C_COMPILER ${MARROWBY_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MARROWBY_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MARROWBY_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MARROWBY_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# Test programs run under Wine from CTest: Debian's loader of the build's width (wine for
# 32-bit programs, wine64 for 64-bit ones).
find_program(MARROWBY_WINE NAMES ${MARROWBY_WINE_LOADER} PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(MARROWBY_WINE NAMES ${MARROWBY_WINE_LOADER})
if(MARROWBY_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${MARROWBY_WINE})
endif()
