"""Encoding speed and agreement: a 32,000-token byte model trained on the English corpus, used by
our encoder, by tiktoken and by tokenizers, all measured in this run.

- Agreement: a tiktoken.Encoding built from the same model (mergeable ranks = our tokens in merge
  order, the same pattern and special token) encodes every document of every corpus; we report
  the share of documents whose ids are identical. tiktoken merges the adjacent pair whose joined
  token has the lowest rank, we apply the lowest-ranked merge rule, so the two can differ where a
  token is reachable through two different pairs.
- One thread: encode() on the English corpus (a fresh encoder, so the word cache starts cold, and
  again warm) against tiktoken's encode_ordinary.
- Two threads: encode_file(path, 16) against tiktoken's encode_ordinary_batch(documents,
  num_threads=2) and tokenizers' encode_batch (ByteLevel pre-tokenizer, the same BPE model).
- A 1 MB word of one repeated letter, to show that neither side goes quadratic... or which does.

Run: make bench   (or .venv-bench/bin/python bench/encode.py)
"""

import os
import time

os.environ.setdefault("RAYON_NUM_THREADS", "2")

import tiktoken
from tokenizers import Tokenizer, decoders, models, pre_tokenizers

from common import CORPORA, DEFAULT_PATTERN, EOT, REPO, best_time, print_table, save_results
from vellumkit import BpeTrainer_u8_Idx, PreTokenizer

WORK = REPO / "build" / "bench"
VOCAB_SIZE = 32_000
CORPUS_FILES = sorted(path.name for path in CORPORA.glob("*.txt"))


def train_model(path):
    counter = PreTokenizer([EOT]).word_counter()
    with open(path, encoding="utf-8") as lines:
        counter.add_source(lines)
    trainer = BpeTrainer_u8_Idx([EOT])
    trainer.add_word_counter(counter)
    trainer.train_until(VOCAB_SIZE)
    return trainer.validate_model()


def tiktoken_encoding(model):
    items = model.get_vocab().items()
    tokens = [token for token, _ in sorted(items, key=lambda item: item[1])]
    # Ranks: the 256 bytes, then every merged token in merge order (our ids after the special token).
    ranks = {token: rank for rank, token in enumerate(tokens[1:])}
    encoding = tiktoken.Encoding("vellum-bench", pat_str=DEFAULT_PATTERN, mergeable_ranks=ranks,
                                 special_tokens={EOT: len(ranks)})
    to_ours = [1 + rank for rank in range(len(ranks))] + [0]
    return encoding, to_ours


def hf_tokenizer(model, folder):
    model.save_vocab(folder / "hf_vocab.json", "gpt2")
    model.save_merges_txt(folder / "hf_merges.txt", "gpt2")
    import json

    vocab = json.loads((folder / "hf_vocab.json").read_text(encoding="utf-8"))
    merges = [tuple(line.split(" => ")[0].split(" ")) for line in (folder / "hf_merges.txt").read_text(encoding="utf-8").splitlines()]
    tokenizer = Tokenizer(models.BPE(vocab=vocab, merges=merges))
    tokenizer.pre_tokenizer = pre_tokenizers.ByteLevel(add_prefix_space=False, use_regex=True)
    tokenizer.decoder = decoders.ByteLevel()
    tokenizer.add_special_tokens([EOT])
    return tokenizer


def documents_of(path):
    return [document for document in path.read_text(encoding="utf-8").split(EOT) if document]


def agreement(encoder, encoding, to_ours):
    same = total = 0
    for name in CORPUS_FILES:
        for document in documents_of(CORPORA / name):
            ours = encoder.encode(document)
            theirs = [to_ours[rank] for rank in encoding.encode_ordinary(document)]
            same += ours == theirs
            total += 1
    return same, total


def cache_hit_rate(documents):
    """The word cache's hit rate when documents are encoded one call each. A call looks each of
    its distinct words up once; only a word's first call misses while nothing is evicted, which
    holds here: the cache keeps up to 500 words per token id (16 million), far above the
    corpus's distinct words."""
    pre_tokenizer = PreTokenizer([EOT])
    lookups, seen = 0, set()
    for document in documents:
        words = pre_tokenizer.get_words(document)
        lookups += len(words)
        seen.update(words)
    return 1 - len(seen) / lookups


def main():
    WORK.mkdir(parents=True, exist_ok=True)
    english = WORK / "encode_english.txt"
    if not english.exists():
        english.write_bytes(b"".join((CORPORA / name).read_bytes() for name in ["en_novels_1.txt", "en_novels_2.txt"]))
    text = english.read_text(encoding="utf-8")
    megabytes = len(text.encode("utf-8")) / 1e6
    documents = documents_of(english)

    model = train_model(english)
    encoding, to_ours = tiktoken_encoding(model)
    tokenizer = hf_tokenizer(model, WORK)
    same, total = agreement(model.encoder(), encoding, to_ours)

    cold_time, ids = best_time(lambda: model.encoder().encode(text), 2)
    warm_encoder = model.encoder()
    warm_encoder.encode(text)
    warm_time, _ = best_time(lambda: warm_encoder.encode(text), 2)
    tiktoken_time, _ = best_time(lambda: encoding.encode_ordinary(text), 2)

    file_time, _ = best_time(lambda: model.encoder().encode_file(english, 16), 2)
    tiktoken_batch_time, _ = best_time(lambda: encoding.encode_ordinary_batch(documents, num_threads=2), 2)
    hf_time, _ = best_time(lambda: tokenizer.encode_batch(documents), 2)

    long_word = "a" * 1_000_000
    long_ours, _ = best_time(lambda: model.encoder().encode(long_word), 1)
    long_theirs, _ = best_time(lambda: encoding.encode_ordinary(long_word), 1)

    hit_rate = cache_hit_rate(documents)
    rows = [
        ["1 thread", "ours encode (cold cache)", f"{megabytes / cold_time:.1f}", f"{tiktoken_time / cold_time:.2f}x"],
        ["1 thread", "ours encode (warm cache)", f"{megabytes / warm_time:.1f}", f"{tiktoken_time / warm_time:.2f}x"],
        ["1 thread", "tiktoken encode_ordinary", f"{megabytes / tiktoken_time:.1f}", "1.00x"],
        ["2 threads", "ours encode_file(16 chunks)", f"{megabytes / file_time:.1f}", f"{tiktoken_batch_time / file_time:.2f}x"],
        ["2 threads", "tiktoken encode_ordinary_batch", f"{megabytes / tiktoken_batch_time:.1f}", "1.00x"],
        ["2 threads", "tokenizers encode_batch", f"{megabytes / hf_time:.1f}", f"{tiktoken_batch_time / hf_time:.2f}x"],
    ]
    print_table(f"encoding the English corpus ({megabytes:.0f} MB), {VOCAB_SIZE:,}-token byte model",
                ["threads", "tool", "MB/s", "vs tiktoken"], rows)
    print(f"identical encodings: {same}/{total} documents of all corpora ({100 * same / total:.1f}%)")
    print(f"1 MB word of one letter: ours {long_ours:.3f} s, tiktoken {long_theirs:.3f} s")
    print(f"word cache hit rate, documents encoded one by one: {100 * hit_rate:.1f}%")
    results = {
        "megabytes": megabytes, "identical_documents": same, "documents": total,
        "ours_cold_mb_s": megabytes / cold_time, "ours_warm_mb_s": megabytes / warm_time,
        "tiktoken_mb_s": megabytes / tiktoken_time, "ours_file_2_threads_mb_s": megabytes / file_time,
        "tiktoken_batch_2_threads_mb_s": megabytes / tiktoken_batch_time, "tokenizers_batch_mb_s": megabytes / hf_time,
        "long_word_ours_s": long_ours, "long_word_tiktoken_s": long_theirs, "ids": len(ids),
        "cache_hit_rate": hit_rate,
    }
    print(f"results: {save_results('encode', results)}")


if __name__ == "__main__":
    main()
