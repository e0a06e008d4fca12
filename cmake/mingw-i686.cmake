# Cross build for 32-bit Windows with mingw-w64 (Debian's posix thread model). Floating point
# goes through SSE2, as on x86_64, so that results match the 64-bit builds bit for bit where
# the code is the same, instead of the x87 unit's 80-bit intermediates.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MARROWBY_MINGW_TRIPLE i686-w64-mingw32)
set(MARROWBY_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
