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
- Byte-level fallback (zh_poetry + zh_rustbook, ja_aozora + ja_rustbook): BpeTrainer_Character_CharIdx
  to 16,000 tokens with train_until and with train_until_with_bbpe_fallback (ratio 0.9), trained
  on the documents (split at "\n<|endoftext|>\n") but the last tenth, which is held out: on it we
  report the share of characters encoded through raw-byte tokens and the tokens per character.
Each run is a child process (both cores) that reports its own phases and peak RSS.

Run: make bench   (or .venv-bench/bin/python bench/train.py)
"""

import json
import subprocess
import sys

from common import DEFAULT_PATTERN, EOT, PEAK_RSS_FUNCTION, joined_corpus, print_table, save_results

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

FALLBACK_VOCAB_SIZE = 16_000
FALLBACK_RATIO = 0.9
FALLBACK_SETS = {"zh": ["zh_poetry.txt", "zh_rustbook.txt"], "ja": ["ja_aozora.txt", "ja_rustbook.txt"]}

# Raw-byte tokens are the invalid UTF-8 fragments; a character is encoded through them when its
# lead byte lies in one (canonical tokens never split a character between the two kinds).
FALLBACK = """
import json, sys, time
{peak_rss}
from vellumkit import BpeTrainer_Character_CharIdx, PreTokenizer
path, mode, vocab_size, ratio = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
documents = open(path, encoding="utf-8").read().split("\\n" + {eot!r} + "\\n")
held_out = documents[len(documents) - max(1, len(documents) // 10):]
started = time.perf_counter()
counter = PreTokenizer([{eot!r}]).word_counter()
counter.add_batch(documents[:len(documents) - len(held_out)])
counted = time.perf_counter()
trainer = BpeTrainer_Character_CharIdx([{eot!r}])
trainer.add_word_counter(counter)
if mode == "fallback":
    size = trainer.train_until_with_bbpe_fallback(vocab_size, primary_vocab_ratio=ratio)
else:
    size = trainer.train_until(vocab_size)
done = time.perf_counter()
model = trainer.validate_model()
encoder = model.encoder()
raw_leads = {{}}
for token, token_id in model.get_vocab().items():
    try:
        token.decode("utf-8")
    except UnicodeDecodeError:
        raw_leads[token_id] = sum(1 for byte in token if not 0x80 <= byte < 0xC0)
characters = tokens = raw_characters = 0
for document in held_out:
    ids = encoder.encode(document)
    characters += len(document)
    tokens += len(ids)
    raw_characters += sum(raw_leads.get(token_id, 0) for token_id in ids)
print(json.dumps({{"count_s": counted - started, "train_s": done - counted, "vocab_size": size,
                  "raw_byte_tokens": len(raw_leads), "held_out_chars": characters,
                  "raw_char_share": raw_characters / characters, "tokens_per_char": tokens / characters,
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


def run_child(script, path, unit):
    command = [sys.executable, "-P", "-c", script, str(path), unit, str(VOCAB_SIZE)]
    return json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)


def fallback_rows(results):
    rows = []
    for name, files in FALLBACK_SETS.items():
        path = joined_corpus(f"train_{name}", files)
        megabytes = path.stat().st_size / 1e6
        for mode in ("plain", "fallback"):
            script = FALLBACK.format(eot=EOT, peak_rss=PEAK_RSS_FUNCTION)
            command = [sys.executable, "-P", "-c", script, str(path), mode, str(FALLBACK_VOCAB_SIZE), str(FALLBACK_RATIO)]
            run = json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)
            results[f"{name}_{mode}"] = {"megabytes": megabytes, **run}
            rows.append([
                f"{name} ({megabytes:.0f} MB)", mode, f"{run['count_s']:.2f}", f"{run['train_s']:.2f}",
                str(run["vocab_size"]), str(run["raw_byte_tokens"]), f"{100 * run['raw_char_share']:.3f}",
                f"{run['tokens_per_char']:.4f}", f"{run['peak_rss_mb']:.0f}",
            ])
    return rows


def main():
    rows, results = [], {}
    for name, (files, unit) in CORPUS_SETS.items():
        path = joined_corpus(f"train_{name}", files)
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
    rows = fallback_rows(results)
    print_table(
        f"character trainer to {FALLBACK_VOCAB_SIZE:,} tokens, with and without the byte-level fallback "
        f"(ratio {FALLBACK_RATIO}); held-out tenth of the documents",
        ["corpus", "mode", "count s", "train s", "vocab", "raw tokens", "raw-byte chars %", "tokens/char", "MB"],
        rows,
    )
    print(f"results: {save_results('train', results)}")


if __name__ == "__main__":
    main()
