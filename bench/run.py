"""Runs every benchmark of the project, one after the other."""

import pathlib
import runpy
import sys

BENCHMARKS = ["pretokenize.py", "count.py", "train.py", "encode.py", "bigrams.py", "window.py", "long_pieces.py",
              "distributed.py"]

here = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(here))
for script in BENCHMARKS:
    runpy.run_path(str(here / script), run_name="__main__")
