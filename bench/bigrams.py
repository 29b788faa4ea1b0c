"""Unicode bigram statistics: how fast bigrams are counted and selected from files, and what the
bigram cut does for training on scripts written without spaces.

1. select_unicode_bigrams_from_file on each no-space corpus (Chinese, Japanese, Korean, Thai)
   and on all four joined and repeated to at least 64 MB (where reading and counting, not the
   final sum and selection over the distinct bigrams, dominate, as on real corpora), in MB/s on
   one core (a child pinned with taskset) and on all cores.
2. The journey the cut exists for, on the Chinese and the Japanese corpora (documents split at
   the end-of-text marker; the last tenth held out): select bigrams (top_k 20,000, min_freq 16),
   build PreTokenizer(unicode_bigrams=...), count the training file, train
   BpeTrainer_Character_CharIdx to 16,000 tokens and build the encoder; the same without the cut;
   and the peer `tokenizers` BpeTrainer behind a Split pre-tokenizer with the same pattern (it has
   no bigram cut). Each run is a child process reporting its time, peak RSS, distinct words and
   the tokens per character of the held-out tenth.

Run: make bench   (or .venv-bench/bin/python bench/bigrams.py); corpora from VELLUM_CORPORA.
"""

import json
import subprocess
import sys

from common import CORPORA, DEFAULT_PATTERN, EOT, PEAK_RSS_FUNCTION, WORK, joined_corpus, print_table, save_results

VOCAB_SIZE = 16_000
TOP_K = 20_000
MIN_FREQ = 16
SELECTION_CORPORA = {
    "zh": ["zh_poetry.txt", "zh_rustbook.txt"],
    "ja": ["ja_aozora.txt", "ja_rustbook.txt"],
    "ko": ["ko_kornlu.txt", "ko_rustbook.txt"],
    "th": ["th_wisesight.txt"],
}
JOURNEY_CORPORA = ["zh", "ja"]
LARGE_BYTES = 64_000_000

SELECT = """
import json, sys, time
from vellumkit import PreTokenizer
path, repeats = sys.argv[1], int(sys.argv[2])
pre_tokenizer = PreTokenizer([{eot!r}], eot_token={eot!r})
best = float("inf")
for _ in range(repeats):
    started = time.perf_counter()
    selection = pre_tokenizer.select_unicode_bigrams_from_file(path, top_k={top_k}, min_freq={min_freq})
    best = min(best, time.perf_counter() - started)
print(json.dumps({{"seconds": best, "selected": len(selection.bigrams)}}))
"""

OURS = """
import json, sys, time
{peak_rss}
from vellumkit import BpeTrainer_Character_CharIdx, PreTokenizer
train_path, held_out_path, cut = sys.argv[1], sys.argv[2], sys.argv[3] == "cut"
started = time.perf_counter()
bigrams = None
if cut:
    bigrams = PreTokenizer([{eot!r}], eot_token={eot!r}).build_unicode_bigrams_from_file(
        train_path, top_k={top_k}, min_freq={min_freq})
selected = time.perf_counter()
pre_tokenizer = PreTokenizer([{eot!r}], eot_token={eot!r}, unicode_bigrams=bigrams)
counter = pre_tokenizer.word_counter()
with open(train_path, encoding="utf-8") as lines:
    counter.add_source(lines)
words = counter.len
counted = time.perf_counter()
trainer = BpeTrainer_Character_CharIdx([{eot!r}])
trainer.add_word_counter(counter)
trainer.train_until({vocab_size})
encoder = trainer.validate_model().encoder(unicode_bigrams=bigrams)
trained = time.perf_counter()
held_out = open(held_out_path, encoding="utf-8").read()
tokens = len(encoder.encode_to_numpy(held_out))
print(json.dumps({{"train_s": trained - started, "select_s": selected - started, "count_s": counted - selected,
                  "merge_s": trained - counted, "peak_rss_mb": peak_rss_mb(), "words": words,
                  "bigrams": len(bigrams or []), "tokens_per_char": tokens / len(held_out)}}))
"""

PEER = """
import json, sys, time
{peak_rss}
from tokenizers import Regex, Tokenizer, models, pre_tokenizers, trainers
train_path, held_out_path = sys.argv[1], sys.argv[2]
started = time.perf_counter()
tokenizer = Tokenizer(models.BPE())
tokenizer.pre_tokenizer = pre_tokenizers.Split(Regex({pattern!r}), behavior="isolated")
trainer = trainers.BpeTrainer(vocab_size={vocab_size}, special_tokens=[{eot!r}], show_progress=False)
tokenizer.train([train_path], trainer)
trained = time.perf_counter()
held_out = open(held_out_path, encoding="utf-8").read()
tokens = len(tokenizer.encode(held_out).ids)
print(json.dumps({{"train_s": trained - started, "peak_rss_mb": peak_rss_mb(), "words": None,
                  "bigrams": 0, "tokens_per_char": tokens / len(held_out)}}))
"""


def split_held_out(name, path):
    """The first nine tenths of the documents and the last tenth, as two files."""
    documents = path.read_text(encoding="utf-8").split(f"\n{EOT}\n")
    cut = len(documents) - max(1, len(documents) // 10)
    train, held_out = WORK / f"bigrams_{name}_train.txt", WORK / f"bigrams_{name}_held_out.txt"
    train.write_text(f"\n{EOT}\n".join(documents[:cut]) + "\n", encoding="utf-8")
    held_out.write_text(f"\n{EOT}\n".join(documents[cut:]), encoding="utf-8")
    return train, held_out


def run_child(script, *args, pin=False):
    command = (["taskset", "-c", "0"] if pin else []) + [sys.executable, "-P", "-c", script, *map(str, args)]
    return json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)


def repeated(name, files, size):
    """The files joined and repeated until the result holds at least `size` bytes."""
    path = WORK / f"bigrams_{name}.txt"
    if not path.exists():
        block = b"".join((CORPORA / file).read_bytes() for file in files)
        path.write_bytes(block * -(-size // len(block)))
    return path


def selection_speed(results):
    rows = []
    script = SELECT.format(eot=EOT, top_k=100_000, min_freq=MIN_FREQ)
    every_file = [file for files in SELECTION_CORPORA.values() for file in files]
    paths = {name: joined_corpus(f"bigrams_{name}", files) for name, files in SELECTION_CORPORA.items()}
    paths["all, repeated"] = repeated("all_repeated", every_file, LARGE_BYTES)
    for name, path in paths.items():
        megabytes = path.stat().st_size / 1e6
        one = run_child(script, path, 5, pin=True)
        both = run_child(script, path, 5)
        results["selection"][name] = {"megabytes": megabytes, "one_thread": one, "all_threads": both}
        rows.append([f"{name} ({megabytes:.1f} MB)", f"{megabytes / one['seconds']:.0f}",
                     f"{megabytes / both['seconds']:.0f}", f"{one['seconds'] / both['seconds']:.2f}",
                     f"{both['selected']:,}"])
    print_table("select_unicode_bigrams_from_file (top_k 100,000, min_freq 16)",
                ["corpus", "MB/s 1 thread", "MB/s 2 threads", "scaling", "selected"], rows)


def journey(results):
    rows = []
    ours = OURS.format(eot=EOT, peak_rss=PEAK_RSS_FUNCTION, top_k=TOP_K, min_freq=MIN_FREQ, vocab_size=VOCAB_SIZE)
    peer = PEER.format(eot=EOT, peak_rss=PEAK_RSS_FUNCTION, pattern=DEFAULT_PATTERN, vocab_size=VOCAB_SIZE)
    for name in JOURNEY_CORPORA:
        train, held_out = split_held_out(name, joined_corpus(f"bigrams_{name}", SELECTION_CORPORA[name]))
        runs = {
            "ours, bigram cut": run_child(ours, train, held_out, "cut"),
            "ours, no cut": run_child(ours, train, held_out, "none"),
            "tokenizers": run_child(peer, train, held_out),
        }
        cut, plain = runs["ours, bigram cut"], runs["ours, no cut"]
        results["journey"][name] = {
            **runs, "speedup_of_cut": plain["train_s"] / cut["train_s"],
            "memory_ratio_of_cut": cut["peak_rss_mb"] / plain["peak_rss_mb"],
        }
        for label, run in runs.items():
            phases = "/".join(f"{run[key]:.2f}" for key in ("select_s", "count_s", "merge_s")) if "merge_s" in run else "-"
            rows.append([name, label, f"{run['train_s']:.2f}", phases, f"{run['peak_rss_mb']:.0f}",
                         "-" if run["words"] is None else f"{run['words']:,}", f"{run['bigrams']:,}",
                         f"{run['tokens_per_char']:.3f}"])
        rows.append([name, "cut vs no cut", f"{plain['train_s'] / cut['train_s']:.1f}x faster", "",
                     f"{cut['peak_rss_mb'] / plain['peak_rss_mb']:.2f}x", "", "", ""])
    print_table(f"select bigrams, count, train to {VOCAB_SIZE:,} tokens, encode the held-out tenth",
                ["corpus", "run", "train s", "select/count/merge s", "peak MB", "words", "bigrams", "tokens/char"],
                rows)


def main():
    results = {"selection": {}, "journey": {}}
    selection_speed(results)
    journey(results)
    print(f"results: {save_results('bigrams', results)}")


if __name__ == "__main__":
    main()
