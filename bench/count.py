"""Word counting at scale: get_words_from_file on a file of over 1 GB, streaming sources, and
the peer `tokenizers` doing the same counting.

- File counting runs in a child process pinned with taskset to one core and to two cores (the
  worker pool sizes itself from the affinity), on a >= 1 GB file made by concatenating the shared
  corpora 20 times, and on a 5x file to show that peak memory does not grow with the file.
- add_source over a Python generator of the English corpus's lines (both prefetch modes) is
  compared with add_batch of the same lines.
- The peer: a `tokenizers` Split pre-tokenizer with the same default pattern, pre_tokenize_str
  fed line by line (its fastest feeding), pieces counted with collections.Counter, over the
  concatenated corpora (51 MB); ours counts the same file with get_words_from_file.

Run: make bench   (or .venv-bench/bin/python bench/count.py)
"""

import collections
import json
import os
import subprocess
import sys

from common import CORPORA, DEFAULT_PATTERN, EOT, PEAK_RSS_FUNCTION, REPO, best_time, print_table, read_corpus, save_results

WORK = REPO / "build" / "bench"
CORPUS_FILES = sorted(path.name for path in CORPORA.glob("*.txt"))
CHILD = """
import json, sys, time
{peak_rss}
from vellumkit import PreTokenizer
pre_tokenizer = PreTokenizer([{eot!r}])
started = time.perf_counter()
words = pre_tokenizer.get_words_from_file(sys.argv[1])
elapsed = time.perf_counter() - started
print(json.dumps({{"seconds": elapsed, "words": len(words),
                  "peak_rss_mb": peak_rss_mb()}}))
"""


def corpus_copy(copies):
    """The shared corpora concatenated `copies` times, built once under build/bench."""
    WORK.mkdir(parents=True, exist_ok=True)
    path = WORK / f"corpora_x{copies}.txt"
    if not path.exists():
        parts = [(CORPORA / name).read_bytes() for name in CORPUS_FILES]
        with open(path, "wb") as out:
            for _ in range(copies):
                for part in parts:
                    out.write(part)
    return path


def count_in_child(path, cores):
    command = ["taskset", "-c", cores, sys.executable, "-P", "-c", CHILD.format(eot=EOT, peak_rss=PEAK_RSS_FUNCTION), str(path)]
    result = json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)
    result["mb_s"] = os.path.getsize(path) / 1e6 / result["seconds"]
    return result


def file_counting():
    rows, results = [], {}
    for copies, cores in [(20, "0"), (20, "0,1"), (5, "0,1"), (1, "0,1")]:
        path = corpus_copy(copies)
        run = count_in_child(path, cores)
        label = f"x{copies} ({os.path.getsize(path) / 1e9:.2f} GB), {len(cores.split(','))} thread(s)"
        results[label] = run
        rows.append([label, f"{run['mb_s']:.1f}", run["words"], f"{run['peak_rss_mb']:.0f}"])
    scaling = results[rows[1][0]]["mb_s"] / results[rows[0][0]]["mb_s"]
    print_table("get_words_from_file (chunk_size 1 MiB, auto boundaries)", ["file", "MB/s", "words", "peak RSS MB"], rows)
    print(f"scaling 1 -> 2 threads: {scaling:.2f}x")
    return results, scaling


def source_counting():
    from vellumkit import PreTokenizer

    text, size = read_corpus("en_novels_1.txt", "en_novels_2.txt")
    lines = text.splitlines(keepends=True)
    pre_tokenizer = PreTokenizer([EOT])

    def run(method, **options):
        counter = pre_tokenizer.word_counter()
        if method == "add_batch":
            counter.add_batch(lines)
        else:
            counter.add_source((line for line in lines), **options)
        return counter.words()

    batch_time, batch_words = best_time(lambda: run("add_batch"), 3)
    rows, results = [], {"add_batch": size / 1e6 / batch_time}
    for prefetch in (1, 0):
        source_time, source_words = best_time(lambda: run("add_source", prefetch=prefetch), 3)
        assert source_words == batch_words
        results[f"add_source_prefetch_{prefetch}"] = size / 1e6 / source_time
        rows.append([f"add_source(prefetch={prefetch})", f"{size / 1e6 / source_time:.1f}", f"{source_time / batch_time:.2f}"])
    rows.insert(0, ["add_batch", f"{size / 1e6 / batch_time:.1f}", "1.00"])
    print_table(f"English corpus as {len(lines):,} lines, 2 threads", ["method", "MB/s", "time vs add_batch"], rows)
    return results


def peer_counting():
    from tokenizers import Regex, pre_tokenizers

    path = corpus_copy(1)
    text = path.read_text(encoding="utf-8")
    lines = text.splitlines(keepends=True)
    splitter = pre_tokenizers.Split(Regex(DEFAULT_PATTERN), behavior="isolated")

    def peer():
        counts = collections.Counter()
        for line in lines:
            counts.update(piece for piece, _ in splitter.pre_tokenize_str(line))
        return counts

    peer_time, _ = best_time(peer, 1)
    ours = count_in_child(path, "0,1")
    size = os.path.getsize(path) / 1e6
    ratio = ours["mb_s"] / (size / peer_time)
    print_table(
        f"word counting of the concatenated corpora ({size:.0f} MB)",
        ["tool", "MB/s"],
        [["ours, get_words_from_file, 2 threads", f"{ours['mb_s']:.1f}"],
         ["tokenizers Split.pre_tokenize_str per line + Counter", f"{size / peer_time:.1f}"]],
    )
    print(f"speed-up: {ratio:.1f}x")
    return {"ours_mb_s": ours["mb_s"], "peer_mb_s": size / peer_time, "ratio": ratio}


def main():
    files, scaling = file_counting()
    sources = source_counting()
    peer = peer_counting()
    path = save_results("count", {"files": files, "scaling": scaling, "sources": sources, "peer": peer})
    print(f"results: {path}")


if __name__ == "__main__":
    main()
