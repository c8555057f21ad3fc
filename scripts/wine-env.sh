# Sourced by the scripts that build and run the Windows side: the builds
# (build/win32 and build/win64), the private Wine prefixes in the build folder
# and, when asked for, an Xvfb display of our own. All are torn down on exit.
# Sourcing selects the 32-bit prefix; brisel_use_arch win64 switches to the
# 64-bit one. `wine` below always means scripts/wine-run.sh, which starts the
# right loader for the selected prefix.
: "${root:?root must be set}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
BRISEL_PREFIXES_USED=()

brisel_use_arch() {  # brisel_use_arch win32|win64
  export BRISEL_WINEARCH=$1 WINEARCH=$1
  if [ "$1" = win64 ]; then
    export BRISEL_WINEPREFIX64=${BRISEL_WINEPREFIX64:-$root/build/wineprefix64}
    export WINEPREFIX=$BRISEL_WINEPREFIX64
  else
    export BRISEL_WINEPREFIX=${BRISEL_WINEPREFIX:-$root/build/wineprefix}
    export WINEPREFIX=$BRISEL_WINEPREFIX
  fi
}
brisel_use_arch win32

wine() { "$root/scripts/wine-run.sh" "$@"; }

# Installs what is missing and builds one Windows side (all targets, or the
# ones named) into build/win32 or build/win64.
brisel_build() {  # brisel_build win32|win64 [target...]
  local arch=$1; shift
  local toolchain=$root/cmake/toolchain-i686-mingw.cmake
  [ "$arch" = win64 ] && toolchain=$root/cmake/toolchain-x86_64-mingw.cmake
  bash "$root/scripts/setup.sh"
  cmake -S "$root" -B "$root/build/$arch" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build "$root/build/$arch" -j"$(nproc)" --target "$@" >/dev/null
  else
    cmake --build "$root/build/$arch" -j"$(nproc)"
  fi
}
brisel_build_win32() { brisel_build win32 "$@"; }

brisel_cleanup() {
  local p
  for p in "${BRISEL_PREFIXES_USED[@]}"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done
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

# Creates the selected prefix when missing and starts its server.
brisel_init_prefix() {
  BRISEL_PREFIXES_USED+=("$WINEPREFIX")
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating $WINEARCH prefix $WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1 || true
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
  wineserver -p 2>/dev/null || true   # keep one server across the test programs
  # Start Wine's own background processes now, with their output going
  # nowhere: started by a test program instead, they would inherit its
  # stdout and CTest would wait for them to close it.
  wine wineboot >/dev/null 2>&1 </dev/null || true
}
