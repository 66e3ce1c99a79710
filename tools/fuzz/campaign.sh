#!/usr/bin/env bash
# A fuzz campaign longer than CI's bounded run, with a fresh seed each time:
#   tools/fuzz/campaign.sh [MINUTES] [TARGET...]    (default: 60 minutes for each fuzz_* target)
# Inputs that reach new code are merged into tools/fuzz/corpus/NAME/: commit them, and CI's run
# (./test.sh --fuzz, fixed seed) starts from them. An input that fails is left as
# build-asan/fuzz_NAME-crash-*; mend the fault, then add the input to the corpus under a name that
# says what it found, so that every later CI run replays it.
set -euo pipefail
cd "$(dirname "$0")/../.."

minutes="${1:-60}"
shift || true
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTELVORN_SANITIZE=address -DTELVORN_FUZZ=ON -DTELVORN_BENCHMARKS=OFF >/dev/null
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(fuzz_decode fuzz_split)
cmake --build build-asan --target "${targets[@]}"

for name in "${targets[@]}"; do
  corpus="tools/fuzz/corpus/${name#fuzz_}"
  found=$(mktemp -d)
  echo "== $name: $minutes min"
  status=0
  "build-asan/tools/fuzz/$name" -max_total_time=$((minutes * 60)) -max_len=4095 \
    -artifact_prefix="build-asan/$name-" "$found" "$corpus" || status=$?
  # Only the inputs that add coverage to what the corpus already reaches.
  "build-asan/tools/fuzz/$name" -merge=1 -max_len=4095 "$corpus" "$found" 2>/dev/null
  rm -rf "$found"
  [ "$status" -eq 0 ] || { echo "$name failed: see build-asan/$name-crash-*" >&2; exit "$status"; }
done
