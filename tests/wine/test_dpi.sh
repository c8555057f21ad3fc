#!/usr/bin/env bash
# The plug-in's windows at 96, 120, 144 and 192 DPI (dpi_windows.exe, once
# per DPI) on a 1366x768 desktop, the screen of a small laptop.
#
# A process takes the DPI from LogPixels under HKCU\Control Panel\Desktop
# when it starts. The suite's other programs share the build's prefix at the
# same time, so this test changes it in a prefix of its own
# (build/<arch>/tests/wine/dpi-test/prefix, made when missing and kept), whose
# virtual desktop is set to the size above. LogPixels and the desktop are set
# on every run, so nothing of an earlier run counts.
# Usage: test_dpi.sh DPI_WINDOWS_EXE
set -u
. "$(dirname "$0")/winetest.sh"
exe=$1
root=$(cd "$here/../.." && pwd)
work=$PWD/dpi-test
mkdir -p "$work"
. "$root/scripts/wine-env.sh"   # brisel_init_prefix; stops this prefix's server at exit
brisel_select_arch "${WINEARCH:-win32}"
export BRISEL_WINEPREFIX=$work/prefix WINEPREFIX=$work/prefix
width=1366 height=768

brisel_init_prefix >/dev/null 2>&1
# The virtual desktop takes its size when it starts: set it, then start the
# prefix's processes again.
w reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "${width}x$height" /f >/dev/null
wineserver -k 2>/dev/null; wineserver -w
brisel_init_prefix >/dev/null 2>&1

for dpi in 96 120 144 192; do
  check "LogPixels set to $dpi" w reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  log=$work/dpi-$dpi.log
  # With its error output: what Wine says of a crash belongs in the log.
  BRISEL_TEST_DPI=$dpi BRISEL_TEST_DESKTOP_WIDTH=$width BRISEL_TEST_DESKTOP_HEIGHT=$height \
    "$WINE_RUN" "$WINEARCH" "$exe" 2>&1 | tr -d '\r' >"$log"
  rc=${PIPESTATUS[0]}
  # Its lines, named by the DPI; its count of checks goes into this test's.
  sed "s/^/$dpi DPI| /" "$log"
  counts=$(grep -E '^checks: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
  if [ -z "$counts" ]; then
    failed=$((failed + 1)); echo "FAIL: at $dpi DPI dpi_windows.exe ended without reporting its checks (exit $rc)" >&2
    continue
  fi
  p=$(echo "$counts" | sed -E 's/^checks: ([0-9]+) passed.*/\1/')
  f=$(echo "$counts" | sed -E 's/.* ([0-9]+) failed.*/\1/')
  passed=$((passed + p)); failed=$((failed + f))
  if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then
    failed=$((failed + 1)); echo "FAIL: at $dpi DPI dpi_windows.exe exited $rc" >&2
  fi
done
finish
