#!/usr/bin/env bash
# Benchmark of Brisel.ocx under Wine: node accesses per procedure, times of
# the user's actions with an instant and with a slow host, CPU per timer
# tick, what the process holds with the sheet open, the module's size and
# imports. Writes the report to build/bench/report.md and prints it.
# Knobs (environment): BENCH_LATENCY_MS (50), BENCH_VERBS (15),
# BENCH_SLOW_VERBS (3), BENCH_TICKS (4000), BENCH_REAL_SECONDS (30).
# Fails when a procedure makes other node accesses than prescribed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/wine-env.sh
brisel_select_arch "$(brisel_default_arch)"
brisel_build "$BRISEL_ARCH" Brisel bench_brisel
brisel_start_xvfb
brisel_init_prefix

mkdir -p build/bench
report=build/bench/report.md
module=$BRISEL_BUILD/Brisel.ocx
{
  echo "# Benchmark report"
  echo
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(env -u WINELOADERNOEXEC wine --version), $(nproc) CPUs, commit $(git rev-parse --short HEAD)"
  echo
  echo "## The module"
  echo
  echo "Brisel.ocx: $(stat -c %s "$module") bytes (Release, statically linked C++ runtime)."
  echo
  echo "Imports: $(x86_64-w64-mingw32-objdump -p "$module" | sed -n 's/^\s*DLL Name: //p' | sort | paste -sd ' ')"
} >"$report"
# Wine's output goes to a file: Wine's background processes would keep a pipe open.
status=0
wine "$BRISEL_BUILD/tests/wine/bench_brisel.exe" >build/bench/run.txt 2>&1 </dev/null || status=$?
cat build/bench/run.txt >>"$report"
cat "$report"
exit "$status"
