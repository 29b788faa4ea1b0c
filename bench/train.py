"""Training speed and memory: count words from files and train to 32,000 tokens, against the
peer `tokenizers` doing the same in the same run.

- English (en_novels_1 + en_novels_2, joined into one file) and code (code_mixed): ours streams
  the file's lines into a WordCounter with add_source (default pattern, special token
  "<|endoftext|>"; lines, as the peer reads its files), hands the counter to BpeTrainer_u8_Idx
  with add_word_counter (no Python dict of words is ever built) and trains to 32,000 tokens;
  the peer trains a BPE model with BpeTrainer
  (vocab_size 32,000, the same special token, the byte-level initial alphabet) behind a
  ByteLevel pre-tokenizer (the same GPT-2 pattern, no prefix space) on the same file.
- CJK (zh, ja and ko files, joined): ours trains BpeTrainer_Character_CharIdx; the peer trains
  the same BPE model behind a Split pre-tokenizer with our default pattern (no byte level).
Each run is a child process (both cores) that reports its own phases and peak RSS.

Run: make bench   (or .venv-bench/bin/python bench/train.py)
"""

import json
import subprocess
import sys

from common import CORPORA, DEFAULT_PATTERN, EOT, PEAK_RSS_FUNCTION, REPO, print_table, save_results

WORK = REPO / "build" / "bench"
VOCAB_SIZE = 32_000
CORPUS_SETS = {
    "english": (["en_novels_1.txt", "en_novels_2.txt"], "byte"),
    "code": (["code_mixed.txt"], "byte"),
    "cjk": (["zh_poetry.txt", "zh_rustbook.txt", "ja_aozora.txt", "ja_rustbook.txt", "ko_kornlu.txt", "ko_rustbook.txt"], "unicode"),
}

OURS = """
import json, sys, time
{peak_rss}
from vellumkit import BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx, PreTokenizer
path, unit, vocab_size = sys.argv[1], sys.argv[2], int(sys.argv[3])
started = time.perf_counter()
counter = PreTokenizer([{eot!r}]).word_counter()
with open(path, encoding="utf-8") as lines:
    counter.add_source(lines)
words = counter.len
counted = time.perf_counter()
trainer = (BpeTrainer_u8_Idx if unit == "byte" else BpeTrainer_Character_CharIdx)([{eot!r}])
trainer.add_word_counter(counter)
size = trainer.train_until(vocab_size)
done = time.perf_counter()
print(json.dumps({{"count_s": counted - started, "train_s": done - counted, "total_s": done - started,
                  "vocab_size": size, "words": words,
                  "peak_rss_mb": peak_rss_mb()}}))
"""

PEER = """
import json, sys, time
{peak_rss}
from tokenizers import Regex, Tokenizer, models, pre_tokenizers, trainers
path, unit, vocab_size = sys.argv[1], sys.argv[2], int(sys.argv[3])
tokenizer = Tokenizer(models.BPE())
if unit == "byte":
    tokenizer.pre_tokenizer = pre_tokenizers.ByteLevel(add_prefix_space=False, use_regex=True)
    alphabet = pre_tokenizers.ByteLevel.alphabet()
else:
    tokenizer.pre_tokenizer = pre_tokenizers.Split(Regex({pattern!r}), behavior="isolated")
    alphabet = []
trainer = trainers.BpeTrainer(vocab_size=vocab_size, special_tokens=[{eot!r}], initial_alphabet=alphabet,
                              show_progress=False)
started = time.perf_counter()
tokenizer.train([path], trainer)
done = time.perf_counter()
print(json.dumps({{"total_s": done - started, "vocab_size": tokenizer.get_vocab_size(),
                  "peak_rss_mb": peak_rss_mb()}}))
"""


def joined_corpus(name, files):
    WORK.mkdir(parents=True, exist_ok=True)
    path = WORK / f"train_{name}.txt"
    if not path.exists():
        path.write_bytes(b"".join((CORPORA / file).read_bytes() for file in files))
    return path


def run_child(script, path, unit):
    command = [sys.executable, "-P", "-c", script, str(path), unit, str(VOCAB_SIZE)]
    return json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)


def main():
    rows, results = [], {}
    for name, (files, unit) in CORPUS_SETS.items():
        path = joined_corpus(name, files)
        megabytes = path.stat().st_size / 1e6
        ours = run_child(OURS.format(eot=EOT, peak_rss=PEAK_RSS_FUNCTION), path, unit)
        peer = run_child(PEER.format(eot=EOT, pattern=DEFAULT_PATTERN, peak_rss=PEAK_RSS_FUNCTION), path, unit)
        merges = ours["vocab_size"] - 257
        results[name] = {"megabytes": megabytes, "unit": unit, "ours": ours, "peer": peer,
                         "time_ratio": ours["total_s"] / peer["total_s"],
                         "memory_ratio": ours["peak_rss_mb"] / peer["peak_rss_mb"]}
        rows.append([
            f"{name} ({megabytes:.0f} MB, {unit})", f"{ours['count_s']:.2f}", f"{ours['train_s']:.2f}",
            f"{merges / ours['train_s']:,.0f}", f"{ours['total_s']:.2f}", f"{peer['total_s']:.2f}",
            f"{ours['total_s'] / peer['total_s']:.3f}", f"{ours['peak_rss_mb']:.0f}", f"{peer['peak_rss_mb']:.0f}",
            f"{ours['peak_rss_mb'] / peer['peak_rss_mb']:.2f}",
        ])
    print_table(
        f"count words and train to {VOCAB_SIZE:,} tokens (2 threads)",
        ["corpus", "count s", "merge s", "steps/s", "ours s", "peer s", "time ratio", "ours MB", "peer MB", "mem ratio"],
        rows,
    )
    print(f"results: {save_results('train', results)}")


if __name__ == "__main__":
    main()
