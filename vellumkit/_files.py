"""Vocabulary and merges files read and written in Python: the "gpt2" and "vellum" formats of the
native module, and the "hf" pair (vocab.json, and merges.txt with a "#version" header and no
frequencies) that other byte-level BPE tools read and write."""

import json
import os
from collections.abc import Callable

from vellumkit._contents import Merge, ModelContents
from vellumkit._token_text import (
    byte_level_bytes,
    byte_level_text,
    canonical_units,
    printable_text,
    printable_units,
    units_bytes,
)
from vellumkit.types import PairFormat, Unit

_HF_MERGES_HEADER = "#version: 0.2"
_FORMATS = ("gpt2", "vellum", "hf")


def _check_format(format: PairFormat, unit: Unit) -> None:
    if format not in _FORMATS:
        raise ValueError(f"format must be one of {', '.join(_FORMATS)}, not {format!r}")
    if format != "vellum" and unit != "byte":
        raise ValueError(f"format {format!r} writes byte-level tokens and cannot hold a {unit!r} model; use 'vellum'")


def _token_writer(format: PairFormat) -> Callable[[bytes, bool], str]:
    if format == "vellum":
        return lambda token, in_merges: printable_text(token, in_merges=in_merges)
    return lambda token, in_merges: byte_level_text(token)


def _token_reader(format: PairFormat, unit: Unit) -> Callable[[str], bytes]:
    if format != "vellum":
        return byte_level_bytes

    def read(text: str) -> bytes:
        units = printable_units(text)
        token = units_bytes(units)
        if unit == "unicode" and canonical_units(token) != units:
            raise ValueError(f"token text {text!r} is not canonical Unicode content or one invalid UTF-8 fragment")
        return token

    return read


def vocab_text(vocab: dict[int, bytes], format: PairFormat) -> str:
    """The vocabulary file: token text to id, two-space indented, in ascending id order."""
    write = _token_writer(format)
    members = {write(vocab[token_id], False): token_id for token_id in sorted(vocab)}
    return json.dumps(members, ensure_ascii=False, indent=2)


def merges_text(merges: tuple[Merge, ...], format: PairFormat) -> str:
    write = _token_writer(format)
    if format == "hf":
        lines = [_HF_MERGES_HEADER, *(f"{write(m.left, True)} {write(m.right, True)}" for m in merges)]
        return "\n".join(lines) + "\n"
    return "".join(f"{write(m.left, True)} {write(m.right, True)} => {m.frequency}\n" for m in merges)


def write_pair(contents: ModelContents, vocab_path: str | os.PathLike[str], merges_path: str | os.PathLike[str],
               format: PairFormat) -> None:
    _check_format(format, contents.unit)
    with open(vocab_path, "w", encoding="utf-8") as file:
        file.write(vocab_text(dict(contents.vocab), format))
    with open(merges_path, "w", encoding="utf-8") as file:
        file.write(merges_text(contents.merges, format))


def read_vocab(path: str | os.PathLike[str], format: PairFormat, unit: Unit) -> dict[int, bytes]:
    _check_format(format, unit)
    with open(path, encoding="utf-8") as file:
        members = json.load(file)
    if not isinstance(members, dict):
        raise ValueError(f"{os.fspath(path)}: a vocabulary file holds one JSON object of token text to id")
    read = _token_reader(format, unit)
    vocab: dict[int, bytes] = {}
    for text, token_id in members.items():
        if not isinstance(token_id, int) or isinstance(token_id, bool):
            raise ValueError(f"{os.fspath(path)}: the id of token text {text!r} is not an integer")
        if token_id in vocab:
            raise ValueError(f"{os.fspath(path)}: id {token_id} is given to two tokens")
        vocab[token_id] = read(text)
    return dict(sorted(vocab.items()))


def parse_merges(text: str, format: PairFormat, unit: Unit, source: str = "merges") -> list[Merge]:
    _check_format(format, unit)
    read = _token_reader(format, unit)
    merges = []
    for number, line in enumerate(text.split("\n"), start=1):
        if not line.strip() or number == 1 and line.startswith("#version"):
            continue
        main, separator, tail = line.rpartition(" => ")
        if not separator:
            main, tail = line, ""
        pieces = main.split()
        if len(pieces) != 2:
            raise ValueError(f"{source}: line {number} holds {len(pieces)} tokens, not a pair")
        try:
            frequency = int(tail.strip())
        except ValueError:
            frequency = 0
        merges.append(Merge(read(pieces[0]), read(pieces[1]), frequency))
    return merges


def read_merges(path: str | os.PathLike[str], format: PairFormat, unit: Unit) -> list[Merge]:
    with open(path, encoding="utf-8") as file:
        return parse_merges(file.read(), format, unit, os.fspath(path))
