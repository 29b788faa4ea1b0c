"""Encoding many texts on a pool of threads. The native encoder releases the interpreter lock
while it works, so threads encoding different chunks of texts run on different cores."""

import math
import os
from collections.abc import Callable, Sequence
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from typing import NamedTuple, TypeVar

import numpy as np
import numpy.typing as npt

from vellumkit._encoders import SEPARATOR
from vellumkit._lib import BpeEncoderBase

# A chunk is one native call when its texts can be joined; 4 chunks per thread even out uneven
# chunks, and the cap keeps a chunk's joined text and ids small next to the batch.
_CHUNKS_PER_THREAD = 4
_MAX_TEXTS_PER_CHUNK = 4096

Result = TypeVar("Result")


@dataclass(frozen=True)
class EncodedBatch:
    """The ids of many texts in one flat array: text i has ids[offsets[i]:offsets[i + 1]]."""

    ids: npt.NDArray[np.uint32]
    offsets: npt.NDArray[np.int64]

    def __len__(self) -> int:
        return len(self.offsets) - 1

    def __getitem__(self, index: int) -> npt.NDArray[np.uint32]:
        return self.ids[self.offsets[index] : self.offsets[index + 1]]


class ChunkIds(NamedTuple):
    ids: npt.NDArray[np.uint32]
    lengths: npt.NDArray[np.int64]


def thread_count(num_threads: int | None) -> int:
    if num_threads is None:
        return os.cpu_count() or 1
    if num_threads < 1:
        raise ValueError(f"num_threads must be at least 1, not {num_threads}")
    return num_threads


def encode_chunk(texts: Sequence[str], joined: BpeEncoderBase | None, separator_id: int,
                 one_by_one: Callable[[], BpeEncoderBase], check: Callable[[str], None]) -> ChunkIds:
    """The ids of `texts` back to back and each text's number of ids, after `check` has passed
    every text. With `joined` (an encoder that knows the separator) the texts are checked and
    encoded as one joined text, unless one of them holds the separator itself; then each is
    checked and encoded alone by the encoder `one_by_one` gives."""
    if joined is not None:
        text = SEPARATOR.join(texts)
        if text.count(SEPARATOR) == len(texts) - 1:
            try:
                check(text)
            except ValueError:
                for alone in texts:  # the failure as the text that holds the token reports it
                    check(alone)
                raise
            ids = joined.encode_to_numpy(text)
            cuts = np.flatnonzero(ids == separator_id)
            ends = np.append(cuts, len(ids))
            starts = np.insert(cuts + 1, 0, 0)
            return ChunkIds(np.delete(ids, cuts), (ends - starts).astype(np.int64))
    encoder = one_by_one()
    pieces = []
    for text in texts:
        check(text)
        pieces.append(encoder.encode_to_numpy(text))
    lengths = np.fromiter((len(piece) for piece in pieces), dtype=np.int64, count=len(pieces))
    ids = np.concatenate(pieces) if pieces else np.empty(0, dtype=np.uint32)
    return ChunkIds(ids.astype(np.uint32, copy=False), lengths)


def chunked(texts: Sequence[str], threads: int) -> list[Sequence[str]]:
    size = max(1, min(_MAX_TEXTS_PER_CHUNK, math.ceil(len(texts) / (threads * _CHUNKS_PER_THREAD))))
    return [texts[start : start + size] for start in range(0, len(texts), size)]


def run_chunks(work: Callable[[Sequence[str]], Result], texts: Sequence[str], threads: int) -> list[Result]:
    """`work` over the chunks of `texts`, results in chunk order, on `threads` threads."""
    chunks = chunked(texts, threads)
    if threads == 1 or len(chunks) <= 1:
        return [work(chunk) for chunk in chunks]
    with ThreadPoolExecutor(max_workers=min(threads, len(chunks)), thread_name_prefix="vellumkit-encode") as pool:
        return list(pool.map(work, chunks))


def as_lists(chunk: ChunkIds) -> list[list[int]]:
    ids = chunk.ids.tolist()
    bounds = [0, *np.cumsum(chunk.lengths).tolist()]
    return [ids[start:end] for start, end in zip(bounds, bounds[1:])]


def as_batch(chunks: list[ChunkIds]) -> EncodedBatch:
    lengths = np.concatenate([chunk.lengths for chunk in chunks]) if chunks else np.empty(0, dtype=np.int64)
    offsets = np.zeros(len(lengths) + 1, dtype=np.int64)
    np.cumsum(lengths, out=offsets[1:])
    ids = np.concatenate([chunk.ids for chunk in chunks]) if chunks else np.empty(0, dtype=np.uint32)
    return EncodedBatch(ids.astype(np.uint32, copy=False), offsets)
