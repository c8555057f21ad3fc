# Shared by the two toolchain files: cross build for Windows with mingw-w64,
# the posix-threads variant of the compiler (its libstdc++ has std::mutex and
# std::thread, which the test programs need); everything is linked statically
# so the module imports nothing but Windows system DLLs. CTest runs the test
# programs under the private Wine prefix of their architecture.
# In: BRISEL_MINGW (the compiler's triple), BRISEL_WINE_ARCH (win32|win64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${BRISEL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRISEL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER  ${BRISEL_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BRISEL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh;${BRISEL_WINE_ARCH}")
