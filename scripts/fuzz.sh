#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (ASan and UBSan) into
# build/fuzz and runs each for a bounded time: FUZZ_SECONDS (default 20).
# The seeds in fuzz/corpus/<target> are read, never written; what the fuzzer
# finds goes to build/fuzz/corpus/<target>, crashes to build/fuzz/.
# Usage: scripts/fuzz.sh [target...]   (targets: text_to_real items settings_file)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${FUZZ_SECONDS:-20}
out=build/fuzz
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(text_to_real items settings_file)
mkdir -p "$out"

flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -I src/pages/encoding -I src/pages/settings)
# The platform-free libraries, whole: what their CMake targets build.
lib=(src/pages/encoding/*.cpp src/pages/settings/*.cpp)
for t in "${targets[@]}"; do
  echo "fuzz: building $t"
  clang++ "${flags[@]}" "fuzz/${t}_fuzz.cpp" "${lib[@]}" -o "$out/${t}_fuzz"
done

for t in "${targets[@]}"; do
  echo "fuzz: running $t for ${seconds}s"
  mkdir -p "$out/corpus/$t"
  "$out/${t}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$out/${t}-" "$out/corpus/$t" "fuzz/corpus/$t"
done
echo "fuzz: no failures"
