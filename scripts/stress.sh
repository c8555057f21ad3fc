#!/usr/bin/env bash
# Runs one Wine test program N times in a row in the build's prefix, as the
# test command runs it (CTest, its time limit, an Xvfb display of our own),
# and prints "k of N passed" with the first failure:
#
#   bash scripts/stress.sh win32 test_control 20
#
# BRISEL_WIN32=emulated runs a win32 program under qemu-i386 as in
# scripts/test.sh. Each run's output is kept in build/<arch>/stress/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ $# -ne 3 ] || ! [[ $3 =~ ^[1-9][0-9]*$ ]] || [[ $1 != win32 && $1 != win64 ]]; then
  echo "usage: bash scripts/stress.sh win32|win64 PROGRAM N" >&2; exit 2
fi
arch=$1 program=$2 runs=$3
. scripts/wine-env.sh
brisel_select_arch "$arch"
# The program's own target where it has one (the shell tests have none).
brisel_build "$arch" "$program" 2>/dev/null || brisel_build "$arch" >/dev/null || { echo "build failed" >&2; exit 1; }
if ! [[ $(ctest --test-dir "build/$arch" -N) =~ Test\ +\#[0-9]+:\ $program($'\n'|$) ]]; then
  echo "no test program $program in build/$arch" >&2; exit 2
fi
brisel_start_xvfb || exit 1
brisel_init_prefix
out=build/$arch/stress; mkdir -p "$out"; rm -f "$out/$program".*.log
echo "$program, $arch $( [ "$arch" = win32 ] && brisel_win32_mode || echo native), $runs runs"
passed=0 first=""
for i in $(seq "$runs"); do
  log=$out/$program.$i.log
  start=$SECONDS
  ctest --test-dir "build/$arch" -R "^$program\$" -V --timeout 600 >"$log" 2>&1
  rc=$?
  counts=$(grep -oE 'checks: [0-9]+ passed, [0-9]+ failed.*' "$log" | tail -n 1)
  why=""
  if [ "$rc" -ne 0 ] || ! [[ $counts =~ \ 0\ failed ]]; then
    why=$(brisel_platform_fault <"$log")
    [ -n "$why" ] || why=$(grep -m 1 -oE 'Test failed: .*|\*\*\*[A-Za-z ]+|Timeout' "$log")
    why="${why:-exit $rc}${counts:+; $counts}"
  fi
  printf 'run %d: %s (%d s)\n' "$i" "${why:-passed, $counts}" $((SECONDS - start))
  if [ -z "$why" ]; then passed=$((passed + 1)); else [ -n "$first" ] || first="run $i: $why ($log)"; fi
done
echo "$passed of $runs passed"
[ -z "$first" ] || echo "first failure: $first"
[ "$passed" -eq "$runs" ]
