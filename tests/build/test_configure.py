"""A missing build dependency stops the configure step with one line naming what to install."""

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
TOOLS = pathlib.Path(sys.executable).parent
CMAKE = shutil.which("cmake", path=str(TOOLS)) or shutil.which("cmake")
NINJA = shutil.which("ninja", path=str(TOOLS)) or shutil.which("ninja")
INSTALL_HINT = "or all build dependencies at once as root: bash scripts/install-system-deps.sh"

pytestmark = pytest.mark.skipif(CMAKE is None or NINJA is None, reason="cmake and ninja are not installed")


@pytest.mark.parametrize(
    "options, environment, package",
    [
        (["-DCMAKE_DISABLE_FIND_PACKAGE_TBB=ON"], {}, "libtbb-dev (CMake package TBB elsewhere)"),
        (["-DCMAKE_DISABLE_FIND_PACKAGE_Boost=ON"], {}, "libboost1.81-dev (CMake package Boost elsewhere)"),
        (["-DCMAKE_DISABLE_FIND_PACKAGE_simdjson=ON"], {}, "libsimdjson-dev (CMake package simdjson elsewhere)"),
        ([], {"PKG_CONFIG_LIBDIR": "/nonexistent"}, "libpcre2-dev (pkg-config module libpcre2-8 elsewhere)"),
        (["-DPKG_CONFIG_EXECUTABLE=/nonexistent/pkg-config"], {}, "pkg-config (the pkg-config or pkgconf program elsewhere)"),
        (["-DVELLUM_BUILD_TESTS=ON", "-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON"], {}, "libgtest-dev (CMake package GTest elsewhere)"),
    ],
)
def test_a_missing_dependency_names_its_package_on_one_line(tmp_path, options, environment, package):
    command = [CMAKE, "-S", str(REPO), "-B", str(tmp_path), "-G", "Ninja", f"-DCMAKE_MAKE_PROGRAM={NINJA}", *options]
    done = subprocess.run(command, capture_output=True, text=True, env={**os.environ, **environment})
    assert done.returncode != 0
    lines = [line for line in done.stderr.splitlines() if "vellumkit needs" in line]
    assert len(lines) == 1, done.stderr
    assert f"install the Debian package {package}, {INSTALL_HINT}" in lines[0]
