"""Encoding speed and agreement, per corpus kind: every corpus of the corpora directory is sorted
into a kind (English prose, code, CJK, other scripts) by its characters, the files of one kind
are joined, and a 32,000-token byte model is trained on them. Our encoder, tiktoken and
tokenizers then use that model, all measured in this run, best of REPEATS.

- Agreement: a tiktoken.Encoding built from the same model (mergeable ranks = our tokens in merge
  order, the same pattern and special token) encodes every document of the kind; we report the
  share of documents whose ids are identical. tiktoken merges the adjacent pair whose joined
  token has the lowest rank, we apply the lowest-ranked merge rule, so the two can differ where a
  token is reachable through two different pairs.
- One thread, document by document: encode() with a fresh encoder (the word cache starts cold;
  every fresh encoder is built outside the timing, as in the one-thread child below),
  encode() again with a warm one, and encode_to_numpy() warm, against tiktoken's encode_ordinary.
- encode_file(path, 64) on one thread (a child process pinned to one core: the pool sizes itself
  from the CPU affinity) and on two, against tiktoken's encode_ordinary_batch(documents,
  num_threads=2) and tokenizers' encode_batch (ByteLevel pre-tokenizer, the same BPE model).
- Tokenizer.encode_batch (the high-level layer: texts joined into few native calls, chunks on a
  thread pool) on 1 and 2 threads, over the documents and over their lines, against tiktoken's
  encode_ordinary_batch on 2 threads; warm word cache.
- encode() line by line from 1 and 2 Python threads sharing one warm encoder.
- A 1 MB word of one repeated letter, to show that neither side goes quadratic... or which does.

Run: make bench   (or .venv-bench/bin/python bench/encode.py; VELLUM_CORPORA=dir for other corpora)
"""

import json
import os
import subprocess
import sys
import threading

os.environ.setdefault("RAYON_NUM_THREADS", "2")

import tiktoken
from tokenizers import Tokenizer, decoders, models, pre_tokenizers

from common import CORPORA, DEFAULT_PATTERN, EOT, KINDS, WORK, best_time, corpus_kind, joined_corpus, print_table, save_results
import vellumkit
from vellumkit import BpeEncoderBase, BpeTrainer_u8_Idx, PreTokenizer

VOCAB_SIZE = 32_000
FILE_CHUNKS = 64
REPEATS = 3


def corpora_by_kind():
    kinds = {}
    for path in sorted(CORPORA.glob("*.txt")):
        kinds.setdefault(corpus_kind(path.read_text(encoding="utf-8")), []).append(path.name)
    return {kind: kinds[kind] for kind in KINDS if kind in kinds}


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


def hf_tokenizer(folder):
    vocab = json.loads((folder / "hf_vocab.json").read_text(encoding="utf-8"))
    merges = [tuple(line.split(" => ")[0].split(" ")) for line in (folder / "hf_merges.txt").read_text(encoding="utf-8").splitlines()]
    tokenizer = Tokenizer(models.BPE(vocab=vocab, merges=merges))
    tokenizer.pre_tokenizer = pre_tokenizers.ByteLevel(add_prefix_space=False, use_regex=True)
    tokenizer.decoder = decoders.ByteLevel()
    tokenizer.add_special_tokens([EOT])
    return tokenizer


def documents_of(path):
    return [document for document in path.read_text(encoding="utf-8").split(EOT) if document]


def agreement(encoder, encoding, to_ours, documents):
    same = 0
    for document in documents:
        ours = encoder.encode(document)
        theirs = [to_ours[rank] for rank in encoding.encode_ordinary(document)]
        same += ours == theirs
    return same


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


# Child process of the one-thread encode_file timing: the encoder from the saved model files.
ONE_THREAD_CHILD = """
import sys, time
from vellumkit import BpeEncoderBase
vocab, merges, path, chunks, repeats = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
best = float("inf")
for _ in range(repeats):
    encoder = BpeEncoderBase("vellum", "byte", None, None, vocab, merges, [sys.argv[6]])
    started = time.perf_counter()
    encoder.encode_file(path, chunks)
    best = min(best, time.perf_counter() - started)
print(best)
"""


def encode_file_one_thread(folder, path):
    command = ["taskset", "-c", "0", sys.executable, "-P", "-c", ONE_THREAD_CHILD, str(folder / "vocab.json"),
               str(folder / "merges.txt"), str(path), str(FILE_CHUNKS), str(REPEATS), EOT]
    return float(subprocess.run(command, check=True, capture_output=True, text=True).stdout)


def best_time_fresh(run, make_encoder, repeats):
    """The fastest of `repeats` runs of `run(encoder)`, each on a fresh encoder built outside the
    timing (building a 32,000-token encoder takes tens of milliseconds, a sizeable share of a
    small corpus's time), and its last result."""
    best, result = float("inf"), None
    for _ in range(repeats):
        encoder = make_encoder()
        seconds, result = best_time(lambda: run(encoder), 1)
        best = min(best, seconds)
    return best, result


def encode_batch_times(high_level, documents):
    """Seconds of Tokenizer.encode_batch over the documents and over their lines, on 1 and 2
    threads, each checked against encoding the texts one by one."""
    lines = [line for document in documents for line in document.splitlines(keepends=True)]
    times = {}
    for unit, texts in (("documents", documents), ("lines", lines)):
        expected = [high_level.encode_ordinary(text) for text in texts]
        for threads in (1, 2):
            times[unit, threads], ids = best_time(lambda: high_level.encode_ordinary_batch(texts, num_threads=threads), REPEATS)
            assert ids == expected
    return times


def python_thread_times(encoder, documents):
    """Seconds of encode() called line by line from 1 and 2 Python threads sharing one warm
    encoder: what a user's own thread pool does without the batch API."""
    lines = [line for document in documents for line in document.splitlines(keepends=True)]
    each(encoder.encode, lines)()
    times = {}
    for threads in (1, 2):
        parts = [lines[i::threads] for i in range(threads)]

        def run():
            workers = [threading.Thread(target=each(encoder.encode, part)) for part in parts]
            for worker in workers:
                worker.start()
            for worker in workers:
                worker.join()

        times[threads], _ = best_time(run, REPEATS)
    return times


def each(function, documents):
    return lambda: [function(document) for document in documents]


def measure_kind(kind, files):
    stem = "encode_" + kind.replace(" ", "_").lower()
    path = joined_corpus(stem, files)
    folder = WORK / stem
    folder.mkdir(parents=True, exist_ok=True)
    megabytes = path.stat().st_size / 1e6
    documents = documents_of(path)

    model = train_model(path)
    model.save_vocab(folder / "vocab.json", "vellum")
    model.save_merges_txt(folder / "merges.txt", "vellum")
    model.save_vocab(folder / "hf_vocab.json", "gpt2")
    model.save_merges_txt(folder / "hf_merges.txt", "gpt2")
    encoding, to_ours = tiktoken_encoding(model)
    tokenizer = hf_tokenizer(folder)
    same = agreement(model.encoder(), encoding, to_ours, documents)
    # The saved files give the same encoder as the model: the one-thread child relies on it.
    from_files = BpeEncoderBase("vellum", "byte", None, None, folder / "vocab.json", folder / "merges.txt", [EOT])
    assert from_files.encode(documents[0]) == model.encoder().encode(documents[0])

    cold_time, _ = best_time_fresh(lambda encoder: each(encoder.encode, documents)(), model.encoder, REPEATS)
    warm = model.encoder()
    each(warm.encode, documents)()
    warm_time, _ = best_time(each(warm.encode, documents), REPEATS)
    numpy_time, _ = best_time(each(warm.encode_to_numpy, documents), REPEATS)
    tiktoken_time, _ = best_time(each(encoding.encode_ordinary, documents), REPEATS)

    file_one_time = encode_file_one_thread(folder, path)
    file_time, file_ids = best_time_fresh(lambda encoder: encoder.encode_file(path, FILE_CHUNKS), model.encoder, REPEATS)
    assert file_ids.tolist() == model.encoder().encode(path.read_text(encoding="utf-8"))
    batch_time, _ = best_time(lambda: encoding.encode_ordinary_batch(documents, num_threads=2), REPEATS)
    hf_time, _ = best_time(lambda: tokenizer.encode_batch(documents), REPEATS)
    batch_times = encode_batch_times(vellumkit.Tokenizer.from_model(model), documents)
    thread_times = python_thread_times(warm, documents)

    rate = lambda seconds: f"{megabytes / seconds:.1f}"
    rows = [
        ["1 thread", "ours encode (cold cache)", rate(cold_time), f"{tiktoken_time / cold_time:.2f}x"],
        ["1 thread", "ours encode (warm cache)", rate(warm_time), f"{tiktoken_time / warm_time:.2f}x"],
        ["1 thread", "ours encode_to_numpy (warm)", rate(numpy_time), f"{tiktoken_time / numpy_time:.2f}x"],
        ["1 thread", "tiktoken encode_ordinary", rate(tiktoken_time), "1.00x"],
        ["1 thread", f"ours encode_file({FILE_CHUNKS} chunks)", rate(file_one_time), f"{tiktoken_time / file_one_time:.2f}x"],
        ["2 threads", f"ours encode_file({FILE_CHUNKS} chunks)", rate(file_time), f"{batch_time / file_time:.2f}x"],
        ["2 threads", "tiktoken encode_ordinary_batch", rate(batch_time), "1.00x"],
        ["2 threads", "tokenizers encode_batch", rate(hf_time), f"{batch_time / hf_time:.2f}x"],
        *([f"{threads} thread{'s' * (threads > 1)}", f"ours Tokenizer.encode_batch({unit})", rate(seconds),
           f"{batch_time / seconds:.2f}x"] for (unit, threads), seconds in batch_times.items()),
        *([f"{threads} thread{'s' * (threads > 1)}", "ours encode per line, Python threads", rate(seconds),
           f"{batch_time / seconds:.2f}x"] for threads, seconds in thread_times.items()),
    ]
    print_table(f"{kind}: {', '.join(files)} ({megabytes:.1f} MB, {len(documents)} documents), "
                f"{VOCAB_SIZE:,}-token byte model", ["threads", "tool", "MB/s", "vs tiktoken"], rows)
    print(f"identical encodings: {same}/{len(documents)} documents ({100 * same / len(documents):.1f}%)")
    print(f"word cache hit rate, documents encoded one by one: {100 * cache_hit_rate(documents):.1f}%")
    result = {
        "files": files, "megabytes": megabytes, "documents": len(documents), "identical_documents": same,
        "ours_cold_mb_s": megabytes / cold_time, "ours_warm_mb_s": megabytes / warm_time,
        "ours_numpy_mb_s": megabytes / numpy_time, "tiktoken_mb_s": megabytes / tiktoken_time,
        "ours_file_1_thread_mb_s": megabytes / file_one_time, "ours_file_2_threads_mb_s": megabytes / file_time,
        "tiktoken_batch_2_threads_mb_s": megabytes / batch_time, "tokenizers_batch_mb_s": megabytes / hf_time,
        **{f"ours_encode_batch_{unit}_{threads}_threads_mb_s": megabytes / seconds
           for (unit, threads), seconds in batch_times.items()},
        **{f"ours_encode_lines_{threads}_python_threads_mb_s": megabytes / seconds
           for threads, seconds in thread_times.items()},
    }
    return result, model, encoding


def main():
    results = {}
    english = None
    for kind, files in corpora_by_kind().items():
        results[kind], model, encoding = measure_kind(kind, files)
        if english is None:
            english = (model, encoding)

    model, encoding = english
    long_word = "a" * 1_000_000
    long_ours, _ = best_time_fresh(lambda encoder: encoder.encode(long_word), model.encoder, 1)
    long_theirs, _ = best_time(lambda: encoding.encode_ordinary(long_word), 1)
    print(f"\n1 MB word of one letter: ours {long_ours:.3f} s, tiktoken {long_theirs:.3f} s")
    results["long_word_ours_s"] = long_ours
    results["long_word_tiktoken_s"] = long_theirs
    print(f"results: {save_results('encode', results)}")


if __name__ == "__main__":
    main()
