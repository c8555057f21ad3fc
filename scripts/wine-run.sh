#!/usr/bin/env bash
# Runs a Windows program under the project's private 32-bit Wine prefix.
# CTest uses this as its cross-compiling emulator. The prefix lives in the
# build folder (BRISEL_WINEPREFIX overrides it); DISPLAY must name the X server
# that scripts/test.sh or scripts/run.sh started.
here=$(cd "$(dirname "$0")" && pwd)
export WINEARCH=win32
export WINEPREFIX=${BRISEL_WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
exec wine "$@"
