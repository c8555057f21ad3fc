#!/usr/bin/env bash
# The main job: sets up a fresh Debian 12 machine, builds the plug-in and the
# stand-in network tool, registers the plug-in in the project's private Wine
# prefix and runs the tool with the plug-in's Properties open on a simulated
# node. With a usable display it is interactive; without one it runs on a
# display of its own and walks through every tab, saving a screenshot of
# each under build/screenshots/, then saves node 1's settings and loads them
# into node 2 (a screenshot of the confirmation too) and shows that file in
# Brisel Settings (desk.png). Extra arguments go to the tool (see
# README.md), e.g. bash scripts/run.sh --latency 300 --fail-read 21
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/wine-env.sh
brisel_select_arch "$(brisel_default_arch)"
brisel_build "$BRISEL_ARCH"
interactive=0
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then interactive=1; else brisel_start_xvfb; fi
brisel_init_prefix

echo "run: registering $BRISEL_BUILD/Brisel.ocx"
wine regsvr32 /s "$(winepath -w "$BRISEL_BUILD/Brisel.ocx")" || {
  echo "run: regsvr32 could not register $BRISEL_BUILD/Brisel.ocx" >&2; exit 1; }

if [ "$interactive" = 1 ]; then
  echo "run: starting the network tool on $DISPLAY (close its window to end)"
  wine "$BRISEL_BUILD/brhost.exe" --properties "$@"
  exit $?
fi

shots=$root/build/screenshots
rm -rf "$shots" && mkdir -p "$shots"
echo "run: no display; walking through the plug-in's tabs on a private one"
# The walk rehearses on a network of two fresh nodes of its own (node 1's
# settings saved and loaded into node 2), so the nodes you work with
# interactively are left alone.
walknet=$root/build/walk-network
mkdir -p "$walknet"
rc=0
wine "$BRISEL_BUILD/brhost.exe" --demo-walk "$(winepath -w "$shots")" \
  --nodes 2 --reset --node "$(winepath -w "$walknet")\\node.txt" "$@" || rc=$?
# Brisel Settings once, on the settings file the walk saved: its Sunblind 2
# tab (clicked where the tab is at the prefix's 96 DPI) with the program's
# own window above the sheet, then Exit, which asks nothing and writes
# nothing as nothing changed.
if [ "$rc" = 0 ] && [ -f "$shots/settings.txt" ]; then
  echo "run: Brisel Settings on build/screenshots/settings.txt"
  wine "$BRISEL_BUILD/BriselSettings.exe" "$(winepath -w "$shots/settings.txt")" &
  desk=$!
  if sheet=$(timeout 60 xdotool search --sync --limit 1 --name '^Sarp$') && [ -n "$sheet" ]; then
    sleep 2
    xdotool mousemove --window "$sheet" 193 37 click 1
    sleep 2
    import -window root "$shots/desk-screen.png" && convert "$shots/desk-screen.png" -trim +repage "$shots/desk.png"
    rm -f "$shots/desk-screen.png"
    xdotool key Return
  fi
  for _ in $(seq 60); do kill -0 "$desk" 2>/dev/null || break; sleep 0.5; done
  if kill -0 "$desk" 2>/dev/null; then
    echo "run: Brisel Settings did not end after Exit" >&2; kill "$desk"; rc=1
  elif ! wait "$desk"; then
    echo "run: Brisel Settings failed" >&2; rc=1
  fi
fi
for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
if ls "$shots"/*.png >/dev/null 2>&1; then
  echo "run: screenshots:"
  for png in "$shots"/*.png; do echo "  ${png#"$root"/}"; done
fi
exit "$rc"
