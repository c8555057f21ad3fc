# Sourced by the scripts that build and run the Windows side: the build, a
# private Wine prefix in the build folder and, when asked for, an Xvfb
# display of our own. Both are torn down on exit.
: "${root:?root must be set}"
export WINEARCH=win32
export BRISEL_WINEPREFIX=${BRISEL_WINEPREFIX:-$root/build/wineprefix}
export WINEPREFIX=$BRISEL_WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'

# Installs what is missing and builds the Windows side (all targets, or the
# ones named) into build/win32.
brisel_build_win32() {
  bash "$root/scripts/setup.sh"
  cmake -S "$root" -B "$root/build/win32" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build "$root/build/win32" -j"$(nproc)" --target "$@" >/dev/null
  else
    cmake --build "$root/build/win32" -j"$(nproc)"
  fi
}

brisel_cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "${BRISEL_XVFB_PID:-}" ]; then kill "$BRISEL_XVFB_PID" 2>/dev/null || true; fi
}
trap brisel_cleanup EXIT

# Starts Xvfb on the first free display and exports DISPLAY.
brisel_start_xvfb() {
  local n=${BRISEL_XVFB_FIRST:-91}
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  BRISEL_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
  echo "Xvfb did not start on :$n" >&2; return 1
}

brisel_init_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
  fi
  if [ ! -f "$WINEPREFIX/.brisel-desktop" ]; then
    # One virtual desktop for all windows: without a window manager, Wine
    # otherwise waits up to 2 s for X to confirm each top-level window that
    # is destroyed, and every sheet a test closes would cost that.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.brisel-desktop"
  fi
  if [ ! -f "$WINEPREFIX/.brisel-nocrashdialog" ]; then
    # A program that crashes ends at once with its exception code instead
    # of waiting behind Wine's crash dialog until its time limit.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.brisel-nocrashdialog"
  fi
  wineserver -p 2>/dev/null || true   # keep one server across the test programs
  # Start Wine's own background processes now, with their output going
  # nowhere: started by a test program instead, they would inherit its
  # stdout and CTest would wait for them to close it.
  wineboot >/dev/null 2>&1 </dev/null || true
}
