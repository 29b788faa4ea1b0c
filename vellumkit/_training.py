"""Counting a training source into a word counter and training on it, with progress bars when
tqdm is installed.

A source is a path (a file, or a directory whose files are read in name order), an iterable of
paths (`os.PathLike` items such as `pathlib.Path`), or an iterable of texts (`str` items: a list,
a generator, a dataset column). A plain `str` is a path, never a text.
"""

import importlib
import itertools
import os
import pathlib
from collections.abc import Iterable, Iterator, Sized
from contextlib import nullcontext
from typing import Any, ContextManager

from vellumkit._lib import BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx, WordCounter

Source = str | os.PathLike[str] | Iterable[str] | Iterable[os.PathLike[str]]
Trainer = BpeTrainer_u8_Idx | BpeTrainer_Character_CharIdx
_NO_STEP = "No more step could be performed"


def _progress_bar(enabled: bool, **options: Any) -> Any:
    """A tqdm bar, or None when it is not wanted or tqdm is not installed (it is optional)."""
    if not enabled:
        return None
    try:
        tqdm = importlib.import_module("tqdm.auto").tqdm
    except ImportError:
        return None
    return tqdm(**options)


def _files_of(path: pathlib.Path) -> list[pathlib.Path]:
    if path.is_dir():
        return sorted(item for item in path.rglob("*") if item.is_file())
    if not path.is_file():
        raise FileNotFoundError(f"training source {os.fspath(path)!r} is neither a file nor a directory")
    return [path]


def _resolve(source: Source) -> tuple[list[pathlib.Path] | None, Iterable[str]]:
    """(the files of a path source, or None) and, for a text source, its texts."""
    if isinstance(source, (str, os.PathLike)):
        return _files_of(pathlib.Path(source)), ()
    items = iter(source)
    first = next(items, None)
    if first is None:
        return None, ()
    rest = itertools.chain([first], items)
    if isinstance(first, os.PathLike):
        return [file for path in rest for file in _files_of(pathlib.Path(path))], ()  # type: ignore[arg-type]
    if not isinstance(first, str):
        raise TypeError(f"a training source yields texts (str) or paths (os.PathLike), not {type(first).__name__}")
    return None, rest  # type: ignore[return-value]


def _lines(files: list[pathlib.Path], bar: Any) -> Iterator[str]:
    # Binary lines decoded one by one: a character never spans a line feed, so this is the
    # file's lenient decoding, and the bar advances by bytes.
    for path in files:
        with open(path, "rb") as file:
            for line in file:
                if bar is not None:
                    bar.update(len(line))
                yield line.decode("utf-8", errors="replace")


def _counted(texts: Iterable[str], bar: Any) -> Iterator[str]:
    for text in texts:
        bar.update(1)
        yield text


def count_source(counter: WordCounter, source: Source, progress: bool) -> None:
    files, texts = _resolve(source)
    if files is not None:
        bar = _progress_bar(progress, total=sum(path.stat().st_size for path in files), unit="B",
                            unit_scale=True, desc="counting words")
        with bar if bar is not None else nullcontext():
            counter.add_source(_lines(files, bar))
        return
    total = len(source) if isinstance(source, Sized) else None
    bar = _progress_bar(progress, total=total, unit=" texts", desc="counting words")
    with bar if bar is not None else nullcontext():
        counter.add_source(texts if bar is None else _counted(texts, bar))


def train(trainer: Trainer, vocab_size: int, progress: bool) -> None:
    """Trains up to `vocab_size` tokens or until no pair is left. With a bar the merges are made
    one step at a time, which gives the same merges as one `train_until` (both apply the best
    pair of one pair count, taken once)."""
    start = trainer.vocab_size()
    bar = _progress_bar(progress and vocab_size > start, total=vocab_size, initial=start, unit=" tokens", desc="merging")
    if bar is None:
        if vocab_size > start:
            trainer.train_until(vocab_size)
        return
    context: ContextManager[Any] = bar
    with context:
        trainer.init_training()
        size = start
        while size < vocab_size:
            try:
                size = trainer.step()
            except RuntimeError as error:
                if str(error) != _NO_STEP:
                    raise
                break
            bar.update(1)
