#!/usr/bin/env bash
# Runs a Windows program under one of the project's private Wine prefixes.
# CTest uses this as its cross-compiling emulator. BRISEL_WINEARCH picks the
# prefix: win32 (default, build/wineprefix, BRISEL_WINEPREFIX overrides it)
# or win64 (build/wineprefix64, BRISEL_WINEPREFIX64 overrides it), where
# 64-bit programs run directly and 32-bit ones through Wine's 32-bit loader.
# DISPLAY must name the X server that scripts/test.sh or scripts/run.sh
# started.
here=$(cd "$(dirname "$0")" && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
if [ "${BRISEL_WINEARCH:-win32}" = win64 ]; then
  export WINEARCH=win64
  export WINEPREFIX=${BRISEL_WINEPREFIX64:-$here/../build/wineprefix64}
  # Debian's wine script prefers the 32-bit loader; the 64-bit one starts
  # 64-bit programs itself and hands 32-bit ones to its 32-bit sibling.
  loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
  exec "$loader" "$@"
fi
export WINEARCH=win32
export WINEPREFIX=${BRISEL_WINEPREFIX:-$here/../build/wineprefix}
exec wine "$@"
