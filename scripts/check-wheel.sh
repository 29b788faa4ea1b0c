#!/usr/bin/env bash
# Installs a repaired wheel into a new virtual environment with nothing but the wheel and NumPy,
# checks that the module resolves its bundled libraries inside the wheel, and runs the journey.
# Usage: check-wheel.sh WHEEL_DIR [PYTHON]
set -euo pipefail
wheel_dir=$1
python=${2:-python3}
env_dir=build/wheel-check
rm -rf "$env_dir"
"$python" -m venv "$env_dir"
"$env_dir/bin/pip" install -q numpy "$wheel_dir"/vellumkit-*.whl

module=$("$env_dir/bin/python" -P -c "import vellumkit._lib as m; print(m.__file__)")
libs=$(dirname "$module")/../vellumkit.libs
ldd_out=$(ldd "$module")
for library in libpcre2-8 libtbb libsimdjson; do
  resolved=$(printf '%s\n' "$ldd_out" | grep "$library" | awk '{print $3}')
  case "$resolved" in
    "$(cd "$libs" && pwd)"/*|*/vellumkit.libs/*) echo "$library -> $resolved" ;;
    *) echo "$library does not resolve inside the wheel: ${resolved:-not found}" >&2; exit 1 ;;
  esac
done
"$env_dir/bin/python" -P scripts/wheel_smoke.py
