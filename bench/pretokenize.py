"""Pre-tokenization throughput: PreTokenizer.get_words against the peer `tokenizers`.

Both sides split the same text with the same default word pattern and count the pieces into a
dict. Ours makes one get_words call on the whole corpus with the end-of-text marker as a special
token. The peer (a Split pre-tokenizer with the same pattern, pre_tokenize_str, pieces counted
with collections.Counter) has no special-token removal, so it is fed one document at a time,
which yields exactly the same words (checked). The peer is also timed fed line by line, its
fastest feeding (about 2x faster than per document, 7x faster than one call on the whole text);
those words differ slightly where whitespace runs cross line ends, so they are not compared.

Run: make bench   (or .venv-bench/bin/python bench/pretokenize.py)
"""

import collections
import platform

from tokenizers import Regex, pre_tokenizers

from common import DEFAULT_PATTERN, EOT, best_time, print_table, read_corpus, save_results
from vellumkit import PreTokenizer

CORPORA = {
    "english": ["en_novels_1.txt", "en_novels_2.txt"],
    "code": ["code_mixed.txt"],
}
OURS_REPEATS = 3
PEER_REPEATS = 2


def peer_counts(splitter, parts):
    counts = collections.Counter()
    for part in parts:
        counts.update(piece for piece, _ in splitter.pre_tokenize_str(part))
    return counts


def main():
    ours = PreTokenizer([EOT])
    peer = pre_tokenizers.Split(Regex(DEFAULT_PATTERN), behavior="isolated")
    rows = []
    results = {"machine": platform.processor() or platform.machine(), "corpora": {}}
    for name, files in CORPORA.items():
        text, size = read_corpus(*files)
        megabytes = size / 1e6
        documents = [document for document in text.split(EOT) if document]
        lines = text.splitlines(keepends=True)
        ours_time, ours_words = best_time(lambda: ours.get_words(text), OURS_REPEATS)
        documents_time, peer_words = best_time(lambda: peer_counts(peer, documents), PEER_REPEATS)
        lines_time, _ = best_time(lambda: peer_counts(peer, lines), PEER_REPEATS)
        if ours_words != dict(peer_words):
            raise SystemExit(f"{name}: the two splitters disagree on the words")
        entry = {
            "megabytes": round(megabytes, 2),
            "distinct_words": len(ours_words),
            "ours_mb_s": round(megabytes / ours_time, 1),
            "peer_per_document_mb_s": round(megabytes / documents_time, 1),
            "peer_per_line_mb_s": round(megabytes / lines_time, 1),
            "speedup_vs_fastest_peer": round(min(documents_time, lines_time) / ours_time, 2),
        }
        results["corpora"][name] = entry
        rows.append([name, entry["megabytes"], entry["distinct_words"], entry["ours_mb_s"],
                     entry["peer_per_document_mb_s"], entry["peer_per_line_mb_s"],
                     f"{entry['speedup_vs_fastest_peer']}x"])
    print_table(
        "get_words, default pattern, one thread",
        ["corpus", "MB", "words", "ours MB/s", "peer/doc MB/s", "peer/line MB/s", "speed-up"],
        rows,
    )
    print(f"results: {save_results('pretokenize', results)}")


if __name__ == "__main__":
    main()
