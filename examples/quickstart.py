"""A first run of vellumkit: count the words of a real corpus, save the counts and load them back.

Usage: python examples/quickstart.py [PATH]

PATH is a text file or a folder (its *.py, *.txt and *.md files are read); by default the
source files of the running Python's standard library, which every machine has.
"""

import pathlib
import sys
import sysconfig
import tempfile
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
    origin = files[0] if len(files) == 1 else files[0].parent
    print(f"corpus: {len(files)} files, {size / 1e6:.1f} MB (from {origin})")

    pre_tokenizer = PreTokenizer(["<|endoftext|>"])
    counter = pre_tokenizer.word_counter()
    started = time.perf_counter()
    counter.add_batch(texts)
    elapsed = time.perf_counter() - started
    words = counter.words()
    print(f"counted in {elapsed:.2f} s ({size / 1e6 / elapsed:.1f} MB/s, all cores):")
    print(f"  {sum(words.values()):,} words, {counter.len:,} distinct")
    top = sorted(words.items(), key=lambda item: -item[1])[:10]
    print("  most frequent:", ", ".join(f"{word!r} x{count:,}" for word, count in top))

    with tempfile.TemporaryDirectory() as folder:
        path = pathlib.Path(folder) / "word_counts.json"
        started = time.perf_counter()
        counter.save(path)
        loaded = pre_tokenizer.load_word_counter(path)
        elapsed = time.perf_counter() - started
        assert loaded.words() == words
        print(f"saved and loaded back {path.stat().st_size / 1e6:.1f} MB of counts in {elapsed:.2f} s")


if __name__ == "__main__":
    main()
