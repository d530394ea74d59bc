# 64-bit Windows twin, mingw-w64 with posix threads.
set(TARVISH_WINE_ARCH 64)
set(TARVISH_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
