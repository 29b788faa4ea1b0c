"""A first run of vellumkit: pre-tokenize a real corpus and show what came out.

Usage: python examples/quickstart.py [PATH]

PATH is a text file or a folder (its *.py, *.txt and *.md files are read); by default the
source files of the running Python's standard library, which every machine has.
"""

import collections
import pathlib
import sys
import sysconfig
import time

from vellumkit import PreTokenizer

SUFFIXES = {".py", ".txt", ".md"}


def corpus_files(argument):
    root = pathlib.Path(argument) if argument else pathlib.Path(sysconfig.get_paths()["stdlib"])
    if root.is_file():
        return [root]
    return sorted(
        path
        for path in root.rglob("*")
        if path.suffix in SUFFIXES and "site-packages" not in path.parts and path.is_file()
    )


def main():
    files = corpus_files(sys.argv[1] if len(sys.argv) > 1 else None)
    if not files:
        raise SystemExit("no text files found")
    texts = [path.read_text(encoding="utf-8", errors="replace") for path in files]
    size = sum(len(text.encode("utf-8")) for text in texts)

    pre_tokenizer = PreTokenizer(["<|endoftext|>"])
    started = time.perf_counter()
    counts = collections.Counter()
    for text in texts:
        counts.update(pre_tokenizer.get_words(text))
    elapsed = time.perf_counter() - started

    print(f"corpus: {len(files)} files, {size / 1e6:.1f} MB (from {files[0].parent if len(files) > 1 else files[0]})")
    print(f"pre-tokenized in {elapsed:.2f} s ({size / 1e6 / elapsed:.1f} MB/s):")
    print(f"  {sum(counts.values()):,} words, {len(counts):,} distinct")
    print("  most frequent:", ", ".join(f"{word!r} x{count:,}" for word, count in counts.most_common(10)))


if __name__ == "__main__":
    main()
