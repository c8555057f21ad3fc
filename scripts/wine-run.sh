#!/usr/bin/env bash
# Runs a Windows program under the project's private Wine prefix of one
# architecture (first argument: win32 or win64). CTest uses this as its
# cross-compiling emulator. The prefix lives in the build folder
# (BRISEL_WINEPREFIX overrides it); DISPLAY must name the X server that
# scripts/test.sh or scripts/run.sh started.
here=$(cd "$(dirname "$0")" && pwd)
arch=$1; shift
export WINEARCH=$arch
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
if [ "$arch" = win64 ]; then
  export WINEPREFIX=${BRISEL_WINEPREFIX:-$here/../build/wineprefix64}
  exec "$here/wine64/wine" "$@"
fi
export WINEPREFIX=${BRISEL_WINEPREFIX:-$here/../build/wineprefix}
exec wine "$@"
