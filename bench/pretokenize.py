"""Pre-tokenization throughput on every corpus of the corpora folder, grouped by kind (English
prose, code, CJK), against the peer `tokenizers`.

For each file: get_words on the whole text in one call (one thread), get_words_from_file in a
child process pinned with taskset to one core and to both (the worker pool sizes itself from
the affinity), and the peer, a Split pre-tokenizer with the same default pattern
(pre_tokenize_str, pieces counted with collections.Counter). The peer has no special-token
removal, so it is fed one document at a time, which yields exactly the same words (checked),
and also timed fed line by line, its fastest feeding (those words differ slightly where
whitespace runs cross line ends, so they are not compared). The kind of a file is read from
its text, so any folder given by VELLUM_CORPORA is grouped the same way.

Run: make bench   (or .venv-bench/bin/python bench/pretokenize.py)
"""

import collections
import json
import os
import platform
import subprocess
import sys

from tokenizers import Regex, pre_tokenizers

from common import CORPORA, DEFAULT_PATTERN, EOT, best_time, corpus_kind, print_table, save_results
from vellumkit import PreTokenizer

OURS_REPEATS = 3
PEER_REPEATS = 2
FILE_CHILD = """
import json, sys, time
from vellumkit import PreTokenizer
pre_tokenizer = PreTokenizer([{eot!r}], eot_token={eot!r})
best = float("inf")
for _ in range(3):
    started = time.perf_counter()
    pre_tokenizer.get_words_from_file(sys.argv[1])
    best = min(best, time.perf_counter() - started)
print(json.dumps({{"seconds": best}}))
"""


def peer_counts(splitter, parts):
    counts = collections.Counter()
    for part in parts:
        counts.update(piece for piece, _ in splitter.pre_tokenize_str(part))
    return counts


def file_seconds(path, cores):
    command = ["taskset", "-c", cores, sys.executable, "-P", "-c", FILE_CHILD.format(eot=EOT), str(path)]
    return json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)["seconds"]


def main():
    ours = PreTokenizer([EOT])
    peer = pre_tokenizers.Split(Regex(DEFAULT_PATTERN), behavior="isolated")
    both_cores = ",".join(str(core) for core in sorted(os.sched_getaffinity(0))[:2])
    rows, totals = [], collections.defaultdict(lambda: collections.defaultdict(float))
    results = {"machine": platform.processor() or platform.machine(), "corpora": {}}
    for path in sorted(CORPORA.glob("*.txt")):
        text = path.read_text(encoding="utf-8")
        megabytes = len(text.encode("utf-8")) / 1e6
        kind = corpus_kind(text)
        documents = [document for document in text.split(EOT) if document]
        lines = text.splitlines(keepends=True)
        ours_time, ours_words = best_time(lambda: ours.get_words(text), OURS_REPEATS)
        documents_time, peer_words = best_time(lambda: peer_counts(peer, documents), PEER_REPEATS)
        lines_time, _ = best_time(lambda: peer_counts(peer, lines), PEER_REPEATS)
        if ours_words != dict(peer_words):
            raise SystemExit(f"{path.name}: the two splitters disagree on the words")
        one, two = file_seconds(path, "0"), file_seconds(path, both_cores)
        entry = {
            "kind": kind, "megabytes": round(megabytes, 2), "distinct_words": len(ours_words),
            "get_words_mb_s": round(megabytes / ours_time, 1),
            "file_1_thread_mb_s": round(megabytes / one, 1), "file_2_threads_mb_s": round(megabytes / two, 1),
            "peer_per_document_mb_s": round(megabytes / documents_time, 1),
            "peer_per_line_mb_s": round(megabytes / lines_time, 1),
            "speedup_vs_fastest_peer": round(min(documents_time, lines_time) / ours_time, 2),
        }
        results["corpora"][path.name] = entry
        for key, seconds in [("megabytes", megabytes), ("ours", ours_time), ("one", one), ("two", two),
                             ("peer", min(documents_time, lines_time))]:
            totals[kind][key] += seconds
        rows.append([path.name, kind, entry["megabytes"], entry["get_words_mb_s"], entry["file_1_thread_mb_s"],
                     entry["file_2_threads_mb_s"], entry["peer_per_document_mb_s"], entry["peer_per_line_mb_s"],
                     f"{entry['speedup_vs_fastest_peer']}x"])
    for kind, total in sorted(totals.items()):
        mb = total["megabytes"]
        results.setdefault("kinds", {})[kind] = {
            "megabytes": round(mb, 2), "get_words_mb_s": round(mb / total["ours"], 1),
            "file_1_thread_mb_s": round(mb / total["one"], 1), "file_2_threads_mb_s": round(mb / total["two"], 1),
            "speedup_vs_fastest_peer": round(total["peer"] / total["ours"], 2),
        }
        summary = results["kinds"][kind]
        rows.append([f"all {kind}", kind, summary["megabytes"], summary["get_words_mb_s"],
                     summary["file_1_thread_mb_s"], summary["file_2_threads_mb_s"], "", "",
                     f"{summary['speedup_vs_fastest_peer']}x"])
    print_table(
        "pre-tokenization, default pattern: get_words (1 thread), get_words_from_file (1 and 2 threads), peer",
        ["corpus", "kind", "MB", "get_words MB/s", "file 1 thr", "file 2 thr", "peer/doc MB/s", "peer/line MB/s",
         "speed-up"],
        rows,
    )
    print(f"results: {save_results('pretokenize', results)}")


if __name__ == "__main__":
    main()
