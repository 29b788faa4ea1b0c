"""Exact training in bounded memory: the hot pair window against exact mode.

Two inventories, each counted once and saved as a word-counter file that every run loads:
- "large": every corpus of the corpora folder joined and repeated, each repetition with its
  vowels rotated (so that it adds new words, not only larger counts), to at least 1 GB
  (VELLUM_WINDOW_BYTES overrides the size); byte trainer, default pattern.
- "cjk": the Chinese, Japanese and Korean corpora with the character trainer and no bigram cut,
  where runs of characters make long words and occurrence lists dominate.
Each inventory is trained to 32,000 tokens in exact mode and with hot_pair_window_size K in
{1,024; 16,384; 262,144}, each run a child process: init_training, then step() until the size
is reached, reading memory_usage every 500 steps (not timed) so that the peaks of the occurrence
and estimated bytes are seen.
Reported: time, peak RSS, the two byte figures at the end and at their peak, hydration scans,
and whether vocabulary and merges equal exact mode's.

Run: make bench   (or .venv-bench/bin/python bench/window.py); corpora from VELLUM_CORPORA.
"""

import json
import os
import subprocess
import sys

from common import CORPORA, EOT, PEAK_RSS_FUNCTION, WORK, joined_corpus, print_table, save_results

VOCAB_SIZE = 32_000
WINDOWS = [None, 1024, 16_384, 262_144]
LARGE_BYTES = int(os.environ.get("VELLUM_WINDOW_BYTES", 1_000_000_000))
CJK_FILES = ["zh_poetry.txt", "zh_rustbook.txt", "ja_aozora.txt", "ja_rustbook.txt", "ko_kornlu.txt", "ko_rustbook.txt"]
VOWELS = "aeiou"

TRAIN = """
import hashlib, json, sys, time
{peak_rss}
from vellumkit import BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx, PreTokenizer
counts, unit, window, vocab_size = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
window = None if window == "exact" else int(window)
counter = PreTokenizer([{eot!r}]).load_word_counter(counts)
trainer = (BpeTrainer_u8_Idx if unit == "byte" else BpeTrainer_Character_CharIdx)([{eot!r}], hot_pair_window_size=window)
trainer.add_word_counter(counter)
peaks = {{"occurrence_capacity_bytes": 0, "estimated_persistent_bytes": 0}}
sampling = 0.0
def sample():
    global sampling, memory
    begun = time.perf_counter()
    memory = trainer.memory_usage
    for key in peaks:
        peaks[key] = max(peaks[key], memory[key])
    sampling += time.perf_counter() - begun
started = time.perf_counter()
trainer.init_training()
sample()
while trainer.vocab_size() < vocab_size:
    try:
        size = trainer.step()
    except RuntimeError:
        break
    if size % 500 == 0:
        sample()
sample()
seconds = time.perf_counter() - started - sampling
stats = trainer.hot_pair_window_stats
model = trainer.validate_model()
model.save_merges_txt(counts + f".{{window}}.merges", "vellum")
digest = hashlib.sha256(open(counts + f".{{window}}.merges", "rb").read()).hexdigest()
print(json.dumps({{"seconds": seconds, "peak_rss_mb": peak_rss_mb(), "vocab_size": trainer.vocab_size(),
                  "end": {{key: memory[key] for key in peaks}}, "peak": peaks, "stats": stats,
                  "merges_sha256": digest, "words": memory["word_entries"]}}))
"""


def rotated(text, shift):
    table = str.maketrans(VOWELS + VOWELS.upper(), VOWELS[shift:] + VOWELS[:shift] + (VOWELS[shift:] + VOWELS[:shift]).upper())
    return text.translate(table)


def large_corpus():
    path = WORK / f"window_large_{LARGE_BYTES}.txt"
    if path.exists():
        return path
    WORK.mkdir(parents=True, exist_ok=True)
    files = sorted(p for p in CORPORA.glob("*.txt"))
    block = "".join(p.read_text(encoding="utf-8") for p in files)
    written = 0
    with open(path, "w", encoding="utf-8") as out:
        repetition = 0
        while written < LARGE_BYTES:
            text = rotated(block, repetition % len(VOWELS))
            if repetition >= len(VOWELS):
                text = text.replace(" the ", f" the{repetition // len(VOWELS)} ")
            out.write(text)
            written += len(text.encode("utf-8"))
            repetition += 1
    return path


def counted(corpus):
    """The corpus's word counts as a word-counter file (counted once, in this process)."""
    from vellumkit import PreTokenizer

    counts = corpus.with_suffix(".counts.json")
    if not counts.exists():
        pre_tokenizer = PreTokenizer([EOT], eot_token=EOT)
        counter = pre_tokenizer.word_counter()
        with open(corpus, encoding="utf-8") as lines:
            counter.add_source(lines)
        counter.save(counts)
    return counts


def run_child(*args):
    script = TRAIN.format(eot=EOT, peak_rss=PEAK_RSS_FUNCTION)
    command = [sys.executable, "-P", "-c", script, *map(str, args)]
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"training run {args} failed:\n{done.stderr}")
    return json.loads(done.stdout)


def main():
    rows, results = [], {}
    for name, corpus, unit in [("large", large_corpus(), "byte"), ("cjk", joined_corpus("window_cjk", CJK_FILES), "unicode")]:
        counts = counted(corpus)
        megabytes = corpus.stat().st_size / 1e6
        runs = {}
        for window in WINDOWS:
            label = "exact" if window is None else str(window)
            runs[label] = run_child(counts, unit, label, VOCAB_SIZE)
        exact = runs["exact"]
        results[name] = {"megabytes": megabytes, "unit": unit, "runs": runs}
        for label, run in runs.items():
            stats = run["stats"] or {}
            rows.append([
                f"{name} ({megabytes:,.0f} MB, {run['words']:,} words)", label, f"{run['seconds']:.1f}",
                f"{run['seconds'] / exact['seconds']:.2f}", f"{run['peak_rss_mb']:.0f}",
                f"{run['end']['occurrence_capacity_bytes'] / 1e6:.1f}", f"{run['peak']['occurrence_capacity_bytes'] / 1e6:.1f}",
                f"{run['peak']['occurrence_capacity_bytes'] / max(exact['peak']['occurrence_capacity_bytes'], 1):.3f}",
                f"{run['end']['estimated_persistent_bytes'] / 1e6:.1f}", f"{run['peak']['estimated_persistent_bytes'] / 1e6:.1f}",
                str(stats.get("hydration_scans", "-")), "yes" if run["merges_sha256"] == exact["merges_sha256"] else "NO",
            ])
    print_table(
        f"train to {VOCAB_SIZE:,} tokens: exact mode and hot pair windows of K pairs",
        ["inventory", "K", "time s", "time ratio", "peak RSS MB", "occ MB end", "occ MB peak", "occ ratio",
         "est MB end", "est MB peak", "scans", "same merges"],
        rows,
    )
    print(f"results: {save_results('window', results)}")


if __name__ == "__main__":
    main()
