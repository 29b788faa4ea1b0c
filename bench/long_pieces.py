"""Very long pieces: time and peak memory of encoding one piece of tens of megabytes.

A byte model (4,000 tokens) and a character model (4,000 tokens) are trained on every corpus of
the corpora folder joined (VELLUM_CORPORA), with runs of the repeated characters below added
to the training words so that the models merge runs of them, as models trained on real text
merge runs of spaces, "=" and "-". Each case then encodes one text of VELLUM_LONG_BYTES bytes
(50 MB by default) that the pre-tokenizer keeps as one piece (or nearly), in a child process of
its own, with `encode_to_numpy`; reported: seconds, MB/s, peak RSS against the text's size,
and whether decoding gives the text back.

Run: .venv-bench/bin/python bench/long_pieces.py   (also part of make bench).
"""

import os
import subprocess
import sys

from common import CORPORA, EOT, PEAK_RSS_FUNCTION, WORK, joined_corpus, print_table, save_results

LONG_BYTES = int(os.environ.get("VELLUM_LONG_BYTES", 50_000_000))
VOCAB_SIZE = 4000
# (name, head, repeated block); the text is the head, then the block repeated to LONG_BYTES.
CASES = [
    ("spaces", "", " "),
    ("letter a", "", "a"),
    ("space then letters", " ", "a"),
    ("e acute", "", "é"),
    ("CJK character", "", "日"),
    ("emoji", "", "😀"),
    ("two letters", "", "ab"),
    ("equals signs", "", "="),
]

ENCODE = """
import sys, time
{peak_rss}
from vellumkit import BpeEncoderBase
unit, vocab, merges, head, block, size = sys.argv[1:7]
fmt = "gpt2" if unit == "byte" else "vellum"
encoder = BpeEncoderBase(fmt, unit, None, None, vocab, merges, [{eot!r}])
text = head + block * ((int(size) - len(head.encode())) // len(block.encode()))
baseline = peak_rss_mb()
started = time.perf_counter()
ids = encoder.encode_to_numpy(text)
seconds = time.perf_counter() - started
print(seconds, peak_rss_mb(), baseline, len(ids), encoder.decode(ids) == text, len(text.encode()))
"""


def train_models():
    """Model files of both units, trained on the corpora and on runs of the cases' blocks."""
    from vellumkit import BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx, PreTokenizer

    corpus = joined_corpus("long_pieces_training", sorted(CORPORA.glob("*.txt")))
    words = PreTokenizer([EOT]).get_words_from_file(corpus)
    runs = {head + block * n: 1000 // n for _, head, block in CASES for n in range(1, 33)}
    paths = {}
    for unit, trainer_class, fmt in [("byte", BpeTrainer_u8_Idx, "gpt2"), ("unicode", BpeTrainer_Character_CharIdx, "vellum")]:
        trainer = trainer_class([EOT])
        trainer.add_words(list(words.items()) + list(runs.items()))
        trainer.train_until(VOCAB_SIZE)
        model = trainer.validate_model()
        vocab, merges = WORK / f"long_{unit}_vocab.json", WORK / f"long_{unit}_merges.txt"
        model.save_vocab(vocab, fmt)
        model.save_merges_txt(merges, fmt)
        paths[unit] = (vocab, merges)
    return paths


def main():
    WORK.mkdir(parents=True, exist_ok=True)
    models = train_models()
    script = ENCODE.format(peak_rss=PEAK_RSS_FUNCTION, eot=EOT)
    rows, payload = [], []
    for unit, (vocab, merges) in models.items():
        for name, head, block in CASES:
            done = subprocess.run([sys.executable, "-P", "-c", script, unit, str(vocab), str(merges), head, block,
                                   str(LONG_BYTES)], capture_output=True, text=True, check=True)
            seconds, peak, baseline, ids, round_trip, size = done.stdout.split()
            seconds, peak, baseline, size = float(seconds), float(peak), float(baseline), int(size)
            extra = peak - baseline
            rows.append([unit, name, f"{seconds:.2f}", f"{size / seconds / 1e6:.0f}", f"{peak:.0f}",
                         f"{extra / (size / 1e6):.2f}", ids, round_trip])
            payload.append({"unit": unit, "case": name, "seconds": seconds, "peak_rss_mb": peak,
                            "baseline_rss_mb": baseline, "text_bytes": size, "ids": int(ids),
                            "round_trip": round_trip == "True"})
    print_table(f"One piece of {LONG_BYTES / 1e6:.0f} MB, encode_to_numpy (peak extra = peak RSS above the"
                " text and model, per byte of text)",
                ["unit", "case", "s", "MB/s", "peak MB", "extra/byte", "ids", "round trip"], rows)
    save_results("long_pieces", payload)


if __name__ == "__main__":
    main()
