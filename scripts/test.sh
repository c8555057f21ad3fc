#!/usr/bin/env bash
# Builds everything and runs every test: natively (platform-free code, with
# AddressSanitizer and UBSan) and under Wine (the module, its class layer,
# sheet, pages, control and registration) on an Xvfb display of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs" | tee build/native/ctest.log

. scripts/wine-env.sh
# The Wine suite runs once per architecture this machine can execute; the
# 32-bit build is always made, so it never stops compiling.
brisel_start_xvfb
wine_logs=()
for arch in win32 win64; do
  brisel_select_arch "$arch"
  brisel_build "$arch"
  if [ "$arch" = win32 ] && ! brisel_can_run_win32; then
    echo "wine: win32 suite skipped: this machine cannot execute 32-bit programs"
    continue
  fi
  brisel_init_prefix
  ctest --test-dir "build/$arch" --output-on-failure | tee "build/$arch/ctest.log"
  wine_logs+=("build/$arch/ctest.log")
done

# Short fuzzing of the text conversion and the item encodings.
FUZZ_SECONDS=${FUZZ_SECONDS:-20} bash scripts/fuzz.sh

# One closing line for both test runs.
total=0; failed=0
for log in build/native/ctest.log "${wine_logs[@]}"; do
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  f=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  t=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
  total=$((total + t)); failed=$((failed + f))
done
echo "$((total - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
