"""Shared helpers of the benchmark scripts: corpus location, timing and result tables."""

import json
import os
import pathlib
import time

REPO = pathlib.Path(__file__).resolve().parent.parent
RESULTS = REPO / "bench" / "results"
# The shared corpora sit beside the repository; VELLUM_CORPORA points elsewhere.
CORPORA = pathlib.Path(os.environ.get("VELLUM_CORPORA", REPO.parent / "shared" / "corpora"))
EOT = "<|endoftext|>"
DEFAULT_PATTERN = r"""'(?:[sdmt]|ll|ve|re)| ?\p{L}+| ?\p{N}+| ?[^\s\p{L}\p{N}]+|\s+(?!\S)|\s+"""


def read_corpus(*names):
    """The named corpus files joined into one text, and its size in bytes."""
    text = "".join((CORPORA / name).read_text(encoding="utf-8") for name in names)
    return text, len(text.encode("utf-8"))


WORK = REPO / "build" / "bench"


def joined_corpus(stem, files):
    """The named corpus files joined into one file under build/bench (made once), and its path."""
    WORK.mkdir(parents=True, exist_ok=True)
    path = WORK / f"{stem}.txt"
    if not path.exists():
        path.write_bytes(b"".join((CORPORA / name).read_bytes() for name in files))
    return path


def corpus_kind(text):
    """"cjk" for text mostly in scripts written without spaces, "code" for source code, else
    "prose": read from the text itself, so that any corpus folder can be grouped."""
    sample = text[:200_000]
    letters = sum(1 for c in sample if c.isalpha()) or 1
    no_space = sum(1 for c in sample if "\u0e00" <= c <= "\u0eff" or "\u1000" <= c <= "\u11ff"
                   or "\u3040" <= c <= "\u9fff" or "\uac00" <= c <= "\ud7af" or "\uf900" <= c <= "\ufaff")
    if no_space / letters > 0.3:
        return "cjk"
    symbols = sum(sample.count(c) for c in "{}()[];=<>")
    return "code" if symbols / max(len(sample), 1) > 0.03 else "prose"


def best_time(function, repeats):
    """The fastest of `repeats` runs of `function()`, in seconds, and its last result."""
    best = float("inf")
    result = None
    for _ in range(repeats):
        started = time.perf_counter()
        result = function()
        best = min(best, time.perf_counter() - started)
    return best, result


def print_table(title, header, rows):
    widths = [max(len(str(cell)) for cell in column) for column in zip(header, *rows)]
    print(f"\n{title}")
    for line in [header, ["-" * width for width in widths], *rows]:
        print("  ".join(str(cell).rjust(width) for cell, width in zip(line, widths)))


def save_results(name, payload):
    RESULTS.mkdir(parents=True, exist_ok=True)
    path = RESULTS / f"{name}.json"
    path.write_text(json.dumps(payload, indent=2) + "\n", encoding="utf-8")
    return path


# Code for child processes that report their own peak memory. VmHWM belongs to the process's
# address space, which a new program starts afresh; ru_maxrss would carry over the parent's peak.
PEAK_RSS_FUNCTION = """
def peak_rss_mb():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
"""
