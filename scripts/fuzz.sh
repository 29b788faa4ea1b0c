#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UndefinedBehaviorSanitizer, the core
# instrumented for coverage) and runs each for FUZZ_SECONDS (default 30) from its seed corpus in
# tests/fuzz/corpus, with its dictionary where there is one. New inputs go to build/fuzz/corpus;
# a crash is saved under build/fuzz/crashes and fails the run.
# Usage: scripts/fuzz.sh VENV [TARGET...]   (a virtual environment with the dev requirements)
set -euo pipefail
cd "$(dirname "$0")/.."
venv=$(realpath "${1:-.venv}")
shift || true
build=build/fuzz
seconds=${FUZZ_SECONDS:-30}
clang=clang++-19

if ! command -v "$clang" >/dev/null || [ ! -e /usr/lib/llvm-19/lib/clang/19/lib/linux/libclang_rt.fuzzer-x86_64.a ]; then
  echo "installing clang-19 and libfuzzer-19-dev for the fuzzers" >&2
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q clang-19 libfuzzer-19-dev >/dev/null
fi

"$venv/bin/cmake" -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$venv/bin/ninja" -DCMAKE_CXX_COMPILER="$clang" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUM_BUILD_FUZZERS=ON -DVELLUM_SANITIZE=address,undefined,fuzzer-no-link >/dev/null
"$venv/bin/cmake" --build "$build"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=($(sed -n 's/^vellum_add_fuzzer(\(.*\))$/\1/p' tests/fuzz/CMakeLists.txt))
fi
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1
mkdir -p "$build/crashes"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  dict=()
  [ -f "tests/fuzz/$target.dict" ] && dict=(-dict="tests/fuzz/$target.dict")
  echo "== $target: ${seconds}s"
  "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/crashes/$target-" "${dict[@]}" "$corpus" "tests/fuzz/corpus/$target" 2>&1 |
    grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|==|SUMMARY|artifact_prefix|Test unit written)|ERROR" || true
  if ls "$build/crashes/$target-"* >/dev/null 2>&1; then
    echo "$target: crash inputs in $build/crashes" >&2
    exit 1
  fi
done
