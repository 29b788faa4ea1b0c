#!/usr/bin/env bash
# Builds the core and the extension with AddressSanitizer and UndefinedBehaviorSanitizer, then
# runs the core tests and the Python suite against the instrumented module.
# Usage: scripts/sanitize.sh VENV   (a virtual environment with the dev requirements)
set -euo pipefail
cd "$(dirname "$0")/.."
venv=$(realpath "${1:-.venv}")
build=build/sanitize
site=$PWD/$build/site  # absolute: tests start interpreters in other folders

"$venv/bin/cmake" -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$venv/bin/ninja" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUM_BUILD_PYTHON=ON -DVELLUM_BUILD_TESTS=ON \
  -DVELLUM_SANITIZE=address,undefined -DVELLUM_WERROR=ON -DPython_EXECUTABLE="$venv/bin/python" >/dev/null
"$venv/bin/cmake" --build "$build"

# The package as it would be installed, with the instrumented module in it.
rm -rf "$site" && mkdir -p "$site"
cp -r vellumkit "$site/"
cp "$build"/src/py/_lib*.so "$site/vellumkit/"

export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$venv/bin/ctest" --test-dir "$build" --output-on-failure
LD_PRELOAD=$(g++ -print-file-name=libasan.so) PYTHONPATH="$site" \
  "$venv/bin/pytest" -p no:cacheprovider tests/python
