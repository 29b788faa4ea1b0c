#!/usr/bin/env bash
# Builds the core tests with ThreadSanitizer and runs them: the word cache, parallel counting,
# the parallel merge rewrite and file encoding, each from several threads at once.
#
# The thread pool is oneTBB, whose synchronisation lives in its shared library: a library built
# without the sanitizer hides it, and every hand-over of work between TBB's threads is reported
# as a race. So the script builds oneTBB itself with ThreadSanitizer, from the Debian source
# package of the installed version (fetched once with apt into build/tsan-tbb), and links the
# tests against that build.
# Usage: scripts/tsan.sh VENV   (a virtual environment with the dev requirements)
set -euo pipefail
cd "$(dirname "$0")/.."
venv=$(realpath "${1:-.venv}")
build=build/tsan
tbb=$PWD/build/tsan-tbb
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi

if [ ! -f "$tbb/install/lib/cmake/TBB/TBBConfig.cmake" ]; then
  rm -rf "$tbb" && mkdir -p "$tbb/source"
  # Source packages come from the configured Debian mirror, through a list of their own, so
  # that the system's apt configuration is left as it is.
  mirror=$(sed -n 's/^URIs: *\(http[^ ]*debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "deb-src ${mirror:-http://deb.debian.org/debian} $release main" > "$tbb/sources.list"
  apt_source=(-o Dir::Etc::sourcelist="$tbb/sources.list" -o Dir::Etc::sourceparts=- -o APT::Get::List-Cleanup=0)
  $sudo apt-get "${apt_source[@]}" update -q >/dev/null
  version=$(dpkg-query -W -f='${source:Version}' libtbb-dev)
  (cd "$tbb/source" && apt-get "${apt_source[@]}" source --download-only "onetbb=$version" >/dev/null 2>&1)
  tar -xf "$tbb"/source/onetbb_*.orig.tar.* -C "$tbb/source"
  "$venv/bin/cmake" -S "$tbb"/source/oneTBB-* -B "$tbb/build" -G Ninja -DCMAKE_MAKE_PROGRAM="$venv/bin/ninja" \
    -DCMAKE_POLICY_VERSION_MINIMUM=3.5 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTBB_TEST=OFF -DTBB_EXAMPLES=OFF \
    -DTBB_STRICT=OFF -DTBBMALLOC_BUILD=OFF -DTBB_SANITIZE=thread -DCMAKE_INSTALL_PREFIX="$tbb/install" >/dev/null
  "$venv/bin/cmake" --build "$tbb/build" >/dev/null
  "$venv/bin/cmake" --install "$tbb/build" >/dev/null
fi

"$venv/bin/cmake" -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$venv/bin/ninja" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUM_BUILD_TESTS=ON -DVELLUM_SANITIZE=thread -DVELLUM_WERROR=ON \
  -DTBB_DIR="$tbb/install/lib/cmake/TBB" >/dev/null
"$venv/bin/cmake" --build "$build"

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
"$venv/bin/ctest" --test-dir "$build" --output-on-failure
