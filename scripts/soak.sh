#!/usr/bin/env bash
# The long soak: the sheet opened and closed SOAK_CYCLES times (default 200),
# both in this process and through Brisel.ocx's Properties verb, with every
# tab written, read and ticked; objects, handles, memory and references must
# not grow. Then every input test with all the longest texts on every page.
# Prints the figures of each cycle with SOAK_VERBOSE=1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/wine-env.sh
brisel_select_arch "$(brisel_default_arch)"
brisel_build "$BRISEL_ARCH" test_proof_soak test_proof_input
brisel_start_xvfb
brisel_init_prefix

export BRISEL_SOAK_CYCLES=${SOAK_CYCLES:-200}
export BRISEL_SOAK_VERBOSE=${SOAK_VERBOSE:-0}
export BRISEL_SOAK_PUMP_MS=${SOAK_PUMP_MS:-50}
export BRISEL_PROOF_ALL_LONG=1
mkdir -p build/soak
status=0
for t in test_proof_soak test_proof_input; do
  echo "soak: $t (cycles $BRISEL_SOAK_CYCLES)"
  # To a file: Wine's background processes would keep a pipe open.
  wine "$BRISEL_BUILD/tests/wine/$t.exe" >"build/soak/$t.txt" 2>&1 </dev/null || status=1
  grep -E 'Test failed|^ok|^FAIL|passed|after' "build/soak/$t.txt" || true
done
exit "$status"
