# Sourced by the scripts that build and run the Windows side: the builds, a
# private Wine prefix per architecture in the build folder and, when asked
# for, an Xvfb display of our own. Both are torn down on exit.
#
# Two architectures: win32 (build/win32, prefix build/wineprefix) and win64
# (build/win64, prefix build/wineprefix64). Some machines run 64-bit code
# only (no IA-32 emulation): there every 32-bit program, Wine's own included,
# runs under the user-mode emulator qemu-i386 that setup.sh registers.
: "${root:?root must be set}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
. "$root/scripts/win32-probe.sh"
brisel_base_path=$PATH
brisel_prefixes=()

# How this machine runs 32-bit programs: native, emulated or none.
# BRISEL_WIN32=emulated runs the 32-bit suite's programs under qemu-i386
# even where the kernel could run them (the programs Wine starts as their
# children then still run natively, as no emulator is registered there).
brisel_win32_mode() {
  if [ -z "${brisel_win32_mode_cached:-}" ]; then
    if [ "${BRISEL_WIN32:-}" = emulated ]; then
      if command -v qemu-i386 >/dev/null; then brisel_win32_mode_cached=emulated; else brisel_win32_mode_cached=none; fi
    elif brisel_native_i386; then brisel_win32_mode_cached=native
    elif brisel_binfmt_i386; then brisel_win32_mode_cached=emulated
    else brisel_win32_mode_cached=none; fi
  fi
  echo "$brisel_win32_mode_cached"
}
brisel_can_run_win32() { [ "$(brisel_win32_mode)" != none ]; }
# Under the emulator Wine's 32-bit loader must not re-exec itself (that
# would leave the emulator); the tests read BRISEL_WIN32 to name the rows
# emulation cannot judge.
if [ "$(brisel_win32_mode)" = emulated ]; then
  export WINELOADERNOEXEC=1 BRISEL_WIN32=emulated
fi

# The architecture the run, bench and soak scripts use: BRISEL_ARCH when
# set, else win32 where it runs natively (emulated, it would be neither
# quick to work in nor a fair measure), else win64.
brisel_default_arch() {
  if [ -n "${BRISEL_ARCH:-}" ]; then echo "$BRISEL_ARCH"
  elif [ "$(brisel_win32_mode)" = native ]; then echo win32
  else echo win64; fi
}

# Points the environment at one architecture: its build folder
# (BRISEL_BUILD), its prefix and, for win64, the 64-bit loader.
brisel_select_arch() {
  export BRISEL_ARCH=$1
  export BRISEL_BUILD=$root/build/$1
  case $1 in
    win32) export WINEARCH=win32 BRISEL_WINEPREFIX=$root/build/wineprefix
           export PATH=$brisel_base_path
           # Emulation asked for where the kernel has no emulator registered.
           if [ "$(brisel_win32_mode)" = emulated ] && ! brisel_binfmt_i386; then
             export PATH=$root/scripts/wine32-emu:$brisel_base_path
           fi ;;
    win64) export WINEARCH=win64 BRISEL_WINEPREFIX=$root/build/wineprefix64
           export PATH=$root/scripts/wine64:$brisel_base_path ;;
    *) echo "unknown architecture $1" >&2; return 1 ;;
  esac
  export WINEPREFIX=$BRISEL_WINEPREFIX
}

# Installs what is missing and builds one architecture (all targets, or the
# ones named) into build/<arch>.
brisel_build() {
  local arch=$1; shift
  local tc=i686; [ "$arch" = win64 ] && tc=x86_64
  bash "$root/scripts/setup.sh"
  # Emulated 32-bit programs (the 32-bit suite, and the 64-bit prefix's
  # 32-bit children) get three times the time.
  local scale=1; [ "$(brisel_win32_mode)" = emulated ] && scale=3
  cmake -S "$root" -B "$root/build/$arch" -DCMAKE_BUILD_TYPE=Release -DBRISEL_TIMEOUT_SCALE=$scale \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$tc-mingw.cmake" >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build "$root/build/$arch" -j"$(nproc)" --target "$@" >/dev/null
  else
    cmake --build "$root/build/$arch" -j"$(nproc)"
  fi
}
brisel_build_win32() { brisel_build win32 "$@"; }

# Names a known fault of the platform that a Wine program's output (on
# stdin) shows, or prints nothing. Wine's Uniscribe keeps a process-wide
# font cache that threads corrupt when they meet on a new entry (see
# wtest::ScriptCachePins in tests/wine); a program that died there is failed
# all the same, but under this name rather than as a fault of ours.
brisel_platform_fault() {
  if grep -qE '(usp10|opentype|shape)\.c|init_script_cache|ScriptFreeCache'; then
    echo "platform fault: Wine's Uniscribe script cache"
  fi
}

brisel_cleanup() {
  local p
  for p in "${brisel_prefixes[@]}"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done
  if [ -n "${BRISEL_XVFB_PID:-}" ]; then kill "$BRISEL_XVFB_PID" 2>/dev/null || true; fi
}
trap brisel_cleanup EXIT

# Starts Xvfb on a free display and exports DISPLAY. Xvfb picks the display
# itself (-displayfd), so two runs started at once cannot take the same one.
brisel_start_xvfb() {
  local out n
  out=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$out" >/dev/null 2>&1 &
  BRISEL_XVFB_PID=$!
  for _ in $(seq 100); do
    n=$(head -n 1 "$out" 2>/dev/null)
    if [ -n "$n" ]; then rm -f "$out"; export DISPLAY=":$n"; return 0; fi
    kill -0 "$BRISEL_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$out"
  echo "Xvfb did not start" >&2; return 1
}

# Makes the selected architecture's prefix when missing and starts its
# wineserver and background processes.
brisel_init_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  brisel_prefixes+=("$WINEPREFIX")
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating $WINEARCH prefix $WINEPREFIX"
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
