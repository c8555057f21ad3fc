# Cross build for 64-bit Windows with mingw-w64: the same module for 64-bit
# hosts.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(BRISEL_MINGW x86_64-w64-mingw32)
set(BRISEL_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
