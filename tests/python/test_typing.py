"""The package, its stubs and the examples pass `mypy --strict`."""

import pathlib
import subprocess
import sys

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]


def test_package_and_examples_type_check_strictly():
    pytest.importorskip("mypy")
    command = [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(REPO / "build" / "mypy-cache"),
               "vellumkit", "examples"]
    result = subprocess.run(command, cwd=REPO, capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr
