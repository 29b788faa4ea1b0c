"""A first run of vellumkit: count the words of a real corpus, train a byte-level BPE tokenizer
on them, validate it, save it in both file formats, then encode a sample and a file with it and
decode them back.

Usage: python examples/quickstart.py [PATH]

PATH is a text file or a folder (its *.py, *.txt and *.md files are read); by default the
source files of the running Python's standard library, which every machine has.
"""

import pathlib
import sys
import sysconfig
import tempfile
import time

from vellumkit import BpeTrainer_u8_Idx, PreTokenizer
from vellumkit.types import FileFormat

SUFFIXES = {".py", ".txt", ".md"}
EOT = "<|endoftext|>"
VOCAB_SIZE = 8_000


def corpus_files(argument: str | None) -> list[pathlib.Path]:
    root = pathlib.Path(argument) if argument else pathlib.Path(sysconfig.get_paths()["stdlib"])
    if root.is_file():
        return [root]
    return sorted(
        path
        for path in root.rglob("*")
        if path.suffix in SUFFIXES and "site-packages" not in path.parts and path.is_file()
    )


class Phase:
    """Prints how long the enclosed step took."""

    def __init__(self, name: str) -> None:
        self.name = name

    def __enter__(self) -> "Phase":
        self.started = time.perf_counter()
        return self

    def __exit__(self, *exc: object) -> None:
        if exc[0] is None:
            print(f"{self.name}: {time.perf_counter() - self.started:.2f} s")


def main() -> None:
    files = corpus_files(sys.argv[1] if len(sys.argv) > 1 else None)
    if not files:
        raise SystemExit("no text files found")
    origin = files[0] if len(files) == 1 else files[0].parent

    pre_tokenizer = PreTokenizer([EOT])
    counter = pre_tokenizer.word_counter()
    with Phase("count words"):
        size = 0
        for path in files:
            text = path.read_text(encoding="utf-8", errors="replace")
            size += len(text.encode("utf-8"))
            counter.add_text(text)
    print(f"  {len(files)} files, {size / 1e6:.1f} MB from {origin}: {counter.len:,} distinct words")

    trainer = BpeTrainer_u8_Idx([EOT], initial_alphabet="byte_level")
    with Phase(f"train to {VOCAB_SIZE:,} tokens"):
        trainer.add_word_counter(counter)
        trainer.train_until(VOCAB_SIZE)
    with Phase("validate"):
        model = trainer.validate_model()
    longest = sorted(model.get_vocab().items(), key=lambda item: -len(item[0]))[:5]
    print("  longest tokens:", ", ".join(repr(token.decode("utf-8", "replace")) for token, _ in longest))

    folder = pathlib.Path(tempfile.mkdtemp(prefix="vellumkit-"))
    with Phase("save"):
        formats: tuple[FileFormat, ...] = ("gpt2", "vellum")
        for fmt in formats:
            model.save_vocab(folder / f"vocab.{fmt}.json", fmt)
            model.save_merges_txt(folder / f"merges.{fmt}.txt", fmt)
    for path in sorted(folder.iterdir()):
        print(f"  {path} ({path.stat().st_size / 1e3:.0f} kB)")

    encoder = model.encoder()
    sample = f"def greet(name):\n    return f'Hello, {{name}}!'{EOT}print(greet('vellumkit'))\n"
    ids = encoder.encode(sample)
    assert encoder.decode(ids) == sample
    print(f"sample of {len(sample)} characters -> {len(ids)} tokens -> decoded back: {ids[:12]}...")

    path = files[len(files) // 2]
    with Phase(f"encode {path.name} ({path.stat().st_size / 1e3:.0f} kB) in parallel chunks"):
        array = encoder.encode_file(path, 8)
    assert encoder.decode(array) == path.read_bytes().decode("utf-8", errors="replace")
    print(f"  {len(array):,} tokens ({array.dtype}), decoded back to the file's text")


if __name__ == "__main__":
    main()
