# 32-bit Windows (the product), mingw-w64 with posix threads.
set(TARVISH_WINE_ARCH 32)
set(TARVISH_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
