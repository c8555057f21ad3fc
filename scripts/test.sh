#!/usr/bin/env bash
# Builds everything and runs every test: natively (platform-free code, with
# AddressSanitizer and UBSan) and under Wine (the module, its class layer,
# sheet, pages, control and registration) on an Xvfb display of its own,
# then a short fuzzing run.
#
# Every suite runs even when an earlier one fails. The closing line counts
# checks, not programs: GoogleTest cases, the ok() checks each Wine test
# program reports in its "checks: N passed, N failed[, N skipped]" line, and one each for
# the builds and the fuzz targets. Skipped cases are counted apart. A program that is expected but did not run, crashed, timed
# out or ended without reporting counts as one failed check and is named.
# The exit status is 0 only when nothing failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# The test programs the build must produce and run; one missing is a failure.
native_programs=(tests/native/encoding_tests host/tests/native/host_model_tests)
wine_programs=(test_sheet fpu_roundtrip test_pages test_history test_desk test_dpi test_regsvr test_register test_control test_cscript
               test_container test_tool_node test_tool_walk test_proof_soak test_proof_site test_proof_input
               test_msi test_wxsgen test_imports test_proof_alloc)
# Only in the 64-bit prefix: both modules registered side by side.
wine64_programs=(test_sidebyside)
fuzz_targets=(text_to_real items settings_file)

passed=0; failed=0; skipped=0
summary=()    # one line per program
problems=()   # programs that did not run to the end

# tally SUITE PROGRAM PASSED FAILED SKIPPED [PROBLEM]
tally() {
  passed=$((passed + $3)); failed=$((failed + $4)); skipped=$((skipped + $5))
  summary+=("$(printf '%-7s %-18s %5d passed, %d failed, %d skipped%s' "$1" "$2" "$3" "$4" "$5" \
                 "${6:+  ($6)}")")
  [ -z "${6:-}" ] || problems+=("$1 $2: $6")
}

if ! bash scripts/setup.sh; then
  echo "setup failed"
  echo "0 passed, 1 failed"
  exit 1
fi
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2

# ---- Native: GoogleTest programs run directly, their own summary counted.
mkdir -p build/native
# A failed build fails the run: the programs left from an earlier build
# would otherwise test old code.
if cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null && cmake --build build/native -j"$jobs"; then
  tally build native 1 0 0
else
  tally build native 0 1 0 "build failed"
fi
for prog in "${native_programs[@]}"; do
  name=$(basename "$prog"); exe=build/native/$prog; log=build/native/$name.log
  if [ ! -x "$exe" ]; then tally native "$name" 0 1 0 "not built"; continue; fi
  (cd "$(dirname "$exe")" && timeout -k 10 600 "./$name" --gtest_color=no) >"$log" 2>&1
  rc=$?
  grep -E '^\[  (FAILED|SKIPPED) +\] [A-Za-z_]' "$log" | grep -v ' ms)$' || true
  p=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$log" | tail -n 1)
  f=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below.*/\1/p' "$log" | tail -n 1)
  s=$(sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?, listed below.*/\1/p' "$log" | tail -n 1)
  if ! grep -qE '^\[==========\] [0-9]+ tests? from .* ran\.' "$log"; then
    tail -n 20 "$log"
    problem="exit $rc without a summary"; [ "$rc" -eq 124 ] && problem="timed out"
    tally native "$name" "${p:-0}" "$(( ${f:-0} + 1 ))" "${s:-0}" "$problem"
  elif [ "$rc" -ne 0 ] && [ "${f:-0}" -eq 0 ]; then
    tally native "$name" "${p:-0}" 1 "${s:-0}" "exit $rc"
  elif [ "${p:-0}" -eq 0 ] && [ "${f:-0}" -eq 0 ]; then
    tally native "$name" 0 1 "${s:-0}" "ran no test case"
  else
    tally native "$name" "${p:-0}" "${f:-0}" "${s:-0}"
  fi
done

# ---- Wine: CTest runs each program with its time limit; the log keeps what
# every program printed, prefixed with its test number. Both architectures
# are built and their suites run, each in a prefix of its own. 32-bit
# programs run natively where the kernel executes them, else under the
# user-mode emulator (scripts/setup.sh); BRISEL_WIN32=emulated forces that.
# A suite that cannot run fails.
. scripts/wine-env.sh
xvfb=1; brisel_start_xvfb || xvfb=0

# collect ARCH LOG: one tally per expected (or unexpected) program.
collect_wine() {
  local arch=$1 log=$2 ran name result number status counts p f s fault
  local expected=("${wine_programs[@]}")
  [ "$arch" = win64 ] && expected+=("${wine64_programs[@]}")
  grep -E '^ *[0-9]+/[0-9]+ Test +#|^[0-9]+: .*(Test failed|FAIL)' "$log"
  # Programs CTest ran that the list above does not know are counted too,
  # and fail until the list names them.
  ran=$(sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*/\1/p' "$log")
  local unlisted=()
  for name in $ran; do
    [[ " ${expected[*]} " == *" $name "* ]] || unlisted+=("$name")
  done
  for name in "${expected[@]}" "${unlisted[@]}"; do
    result=$(grep -E "^ *[0-9]+/[0-9]+ Test +#[0-9]+: $name \." "$log" | tail -n 1)
    if [ -z "$result" ]; then tally "$arch" "$name" 0 1 0 "did not run"; continue; fi
    number=$(echo "$result" | sed -E 's/^ *[0-9]+\/[0-9]+ Test +#([0-9]+):.*/\1/')
    status=$(echo "$result" | sed -E 's/.* \.+ *(\**[A-Za-z][^0-9]*[A-Za-z]) +[0-9.]+ sec.*/\1/')
    counts=$(grep -E "^$number: checks: [0-9]+ passed, [0-9]+ failed" "$log" | tail -n 1)
    fault=""
    [ "$status" = Passed ] || fault=$(grep -E "^$number: " "$log" | brisel_platform_fault)
    if [ -n "$fault" ]; then
      # Failed all the same, and never retried: the tests keep clear of it.
      p=$(echo "$counts" | sed -nE 's/.*checks: ([0-9]+) passed.*/\1/p')
      tally "$arch" "$name" "${p:-0}" 1 0 "$fault (${status#\*\*\*})"
      continue
    fi
    if [ -z "$counts" ]; then
      tally "$arch" "$name" 0 1 0 "${status#\*\*\*}: ended without reporting its checks (crash, time-out or early exit)"
      continue
    fi
    p=$(echo "$counts" | sed -E 's/.*checks: ([0-9]+) passed.*/\1/')
    f=$(echo "$counts" | sed -E 's/.* ([0-9]+) failed.*/\1/')
    s=$(echo "$counts" | sed -nE 's/.* ([0-9]+) skipped.*/\1/p'); s=${s:-0}
    if [ "$p" -eq 0 ] && [ "$f" -eq 0 ]; then
      tally "$arch" "$name" 0 1 0 "reported no checks at all"
    elif [[ " ${unlisted[*]} " == *" $name "* ]]; then
      tally "$arch" "$name" "$p" "$((f + 1))" "$s" "not in scripts/test.sh's list of programs"
    elif [ "$status" != "Passed" ] && [ "$f" -eq 0 ]; then
      tally "$arch" "$name" "$p" 1 "$s" "${status#\*\*\*}"
    else
      tally "$arch" "$name" "$p" "$f" "$s"
    fi
  done
}

declare -A ran_as=([win64]=native [win32]=$(brisel_win32_mode))
[ "${ran_as[win32]}" = emulated ] && ran_as[win32]="emulated ($(qemu-i386 --version | sed -n '1s/ (.*//p'))"
for arch in win32 win64; do
  brisel_select_arch "$arch"
  log=build/$arch/ctest.log
  if brisel_build "$arch"; then tally build "$arch" 1 0 0; else tally build "$arch" 0 1 0 "build failed"; fi
  if [ "$arch" = win32 ] && ! brisel_can_run_win32; then
    echo "wine: this machine cannot execute 32-bit programs, natively or emulated (see scripts/setup.sh)"
    tally win32 "(every program)" 0 "${#wine_programs[@]}" 0 "32-bit programs do not run here"
    continue
  fi
  if [ "$xvfb" = 1 ] && brisel_init_prefix; then
    # Say so plainly when Wine cannot run a program at all (every program
    # below then fails).
    hello=$(wine cmd.exe /c echo ready 2>&1 </dev/null | tr -d '\r')
    [ "$hello" = ready ] || echo "wine cannot run $arch programs here: $(echo "$hello" | head -n 1)"
    ctest --test-dir "build/$arch" -V --timeout 600 >"$log" 2>&1
  else
    echo "no Xvfb or Wine prefix" >"$log"
  fi
  collect_wine "$arch" "$log"
done

# ---- Short fuzzing of the text conversion, the item encodings and settings files.
for t in "${fuzz_targets[@]}"; do
  if FUZZ_SECONDS=${FUZZ_SECONDS:-20} bash scripts/fuzz.sh "$t" >"build/fuzz-$t.log" 2>&1; then
    tally fuzz "$t" 1 0 0
  else
    tail -n 30 "build/fuzz-$t.log"
    tally fuzz "$t" 0 1 0 "fuzzer failed"
  fi
done

echo
printf '%s\n' "${summary[@]}"
for p in "${problems[@]}"; do echo "PROBLEM: $p"; done
echo "Wine suites: win32 ${ran_as[win32]}, win64 ${ran_as[win64]}"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
