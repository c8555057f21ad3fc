# Cross build for 32-bit Windows with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BRISEL_MINGW i686-w64-mingw32)
set(BRISEL_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
