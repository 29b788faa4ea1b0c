"""Partial counts as word-counter files, kept in a shared directory or carried by Dask.

A partial is the word-counter file format of WordCounter.save: written by the core, read by
PreTokenizer.load_word_counter, so combining two partials is a load and a WordCounter.merge, all
in the core. With a directory, a partial is the path of its file there (every worker must see
the directory); without one, it is the file's bytes, which Dask holds and moves between workers.
"""

import contextlib
import os
import tempfile
import uuid
from collections.abc import Iterator
from dataclasses import dataclass

from vellumkit._lib import PreTokenizer, WordCounter

Partial = str | bytes


@contextlib.contextmanager
def _scratch_path() -> Iterator[str]:
    """A new file in the local temporary directory, removed afterwards: the core reads and
    writes counters through paths only."""
    descriptor, path = tempfile.mkstemp(prefix="vellumkit-", suffix=".json")
    os.close(descriptor)
    try:
        yield path
    finally:
        os.unlink(path)


def _new_partial_path(directory: str) -> str:
    # A fresh name per attempt: a task that Dask runs again after its worker died never meets
    # the half-written file of the earlier attempt.
    return os.path.join(directory, f"{uuid.uuid4().hex}.json")


@dataclass(frozen=True)
class Partials:
    directory: str | None

    def put_counter(self, counter: WordCounter) -> Partial:
        if self.directory is not None:
            path = _new_partial_path(self.directory)
            counter.save(path)
            return path
        with _scratch_path() as path:
            counter.save(path)
            with open(path, "rb") as file:
                return file.read()

    def put_file_bytes(self, data: bytes) -> Partial:
        """A partial from the bytes of a word-counter file made by the caller."""
        if self.directory is None:
            return data
        path = _new_partial_path(self.directory)
        with open(path, "wb") as file:
            file.write(data)
        return path

    def load(self, partial: Partial, pre_tokenizer: PreTokenizer) -> WordCounter:
        if isinstance(partial, str):
            return pre_tokenizer.load_word_counter(partial)
        with _scratch_path() as path:
            with open(path, "wb") as file:
                file.write(partial)
            return pre_tokenizer.load_word_counter(path)
