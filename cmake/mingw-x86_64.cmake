# Cross build for 64-bit Windows with mingw-w64 (Debian's posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MARROWBY_MINGW_TRIPLE x86_64-w64-mingw32)
set(MARROWBY_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
