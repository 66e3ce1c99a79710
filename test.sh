#!/usr/bin/env bash
# Builds and runs the test suite.
#   ./test.sh            plain build, every test
#   ./test.sh --asan     clang address+undefined sanitizer build, every test
#   ./test.sh --tsan     thread sanitizer build, every test
#   ./test.sh --fuzz [N] libFuzzer targets under address+undefined, N inputs each (default 200000),
#                        from the corpus in tools/fuzz/corpus with a fixed seed: the same inputs every run
#                        (tools/fuzz/campaign.sh hunts longer, with fresh seeds)
#   ./test.sh --format-check  fails on any C++ file that clang-format (.clang-format) would change
set -euo pipefail
cd "$(dirname "$0")"

mode="${1:-plain}"

# Needs no build and no packages beyond clang-format itself.
if [ "$mode" = --format-check ]; then
  format=$(command -v clang-format || command -v clang-format-14 || true)
  if [ -z "$format" ]; then
    echo "clang-format not found (apt-get install clang-format)" >&2
    exit 2
  fi
  git ls-files -z '*.cpp' '*.h' | xargs -0 "$format" --dry-run --Werror
  exit
fi

scripts/install-deps.sh
jobs=$(nproc)

configure_and_build() {
  local dir="$1"; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

case "$mode" in
  plain)
    configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    ctest --test-dir build --output-on-failure -j "$jobs"
    ;;
  --asan)
    configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DTELVORN_SANITIZE=address -DTELVORN_FUZZ=ON -DTELVORN_BENCHMARKS=OFF
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build-asan --output-on-failure -j "$jobs"
    ;;
  --tsan)
    configure_and_build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DTELVORN_SANITIZE=thread -DTELVORN_BENCHMARKS=OFF
    # Qt's libraries are not instrumented; the suppressions name only those libraries.
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(pwd)/tests/ui/tsan-qt.supp" \
      ctest --test-dir build-tsan --output-on-failure -j "$jobs"
    ;;
  --fuzz)
    runs="${2:-200000}"
    configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DTELVORN_SANITIZE=address -DTELVORN_FUZZ=ON -DTELVORN_BENCHMARKS=OFF
    # The same inputs every run: a fixed seed, no corpus reloads on a timer, and no address-space
    # randomisation (libFuzzer takes compared values, stack addresses among them, as dictionary
    # words). Where the sandbox refuses the latter, the run is as valid, only not the same.
    fixed=()
    setarch "$(uname -m)" -R true 2>/dev/null && fixed=(setarch "$(uname -m)" -R)
    found=0
    for target in build-asan/tools/fuzz/fuzz_*; do
      [ -x "$target" ] || continue
      found=1
      name=$(basename "$target")
      corpus=$(mktemp -d)
      echo "== $name: $runs inputs"
      "${fixed[@]}" "$target" -runs="$runs" -seed=1 -reload=0 -max_len=4095 -artifact_prefix="build-asan/$name-" \
        "$corpus" "tools/fuzz/corpus/${name#fuzz_}"
      rm -rf "$corpus"
    done
    [ "$found" -eq 1 ] || echo "no fuzz targets built"
    ;;
  *)
    echo "usage: $0 [--asan|--tsan|--fuzz [N]|--format-check]" >&2
    exit 2
    ;;
esac
