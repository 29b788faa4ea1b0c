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


KINDS = ["English prose", "code", "CJK", "other scripts"]


def corpus_kind(text):
    """The kind of a corpus, from the characters of its first 2 MB: CJK when Han, kana and Hangul
    make up at least 30% of its letters, code when brackets and operators make up at least 3% of
    its characters, English prose when at least 90% of its letters are ASCII, else other scripts.
    Read from the text itself, so that any corpus folder is grouped the same way."""
    sample = text[:2_000_000]
    letters = sum(c.isalpha() for c in sample) or 1
    wide = sum("\u2e80" <= c <= "\u9fff" or "\uac00" <= c <= "\ud7af" or "\uf900" <= c <= "\ufaff" for c in sample)
    if wide >= 0.3 * letters:
        return "CJK"
    if sum(c in "{}()[];=<>#_*&|" for c in sample) >= 0.03 * len(sample):
        return "code"
    if sum(c.isascii() and c.isalpha() for c in sample) >= 0.9 * letters:
        return "English prose"
    return "other scripts"


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
