# Shared by both mingw toolchain files; they set TARVISH_MINGW_TRIPLE and
# TARVISH_WINE_ARCH first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TARVISH_MINGW_TRIPLE})
set(CMAKE_C_COMPILER ${TARVISH_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVISH_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVISH_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TARVISH_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run under Wine; CTest puts this in front of every test
# command that is one of our executables.
set(TARVISH_WINE_PREFIX "" CACHE PATH "Wine prefix for the tests (default: <build>/wineprefix)")
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../tools/wine/winerun;${TARVISH_WINE_ARCH}")
