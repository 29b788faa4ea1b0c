"""The functions that Dask runs on the workers: finding segments, counting a group of segments
into a partial, and merging partials. Each takes plain data only and returns a Partial (or the
segments), so that Dask can pickle, move and recompute everything."""

import json

from vellumkit._lib import BigramCounter
from vellumkit.distributed._partials import Partial, Partials
from vellumkit.distributed._plan import Segment
from vellumkit.distributed._pre_tokenizer_args import PreTokenizerArgs, shared_pre_tokenizer
from vellumkit.distributed._segment_reading import segment_texts
from vellumkit.types import Boundary


def find_segments(args: PreTokenizerArgs, path: str, chunk_size: int, boundary: Boundary) -> list[Segment]:
    """The non-empty segments of `path`, cut by the core exactly as get_words_from_file cuts them."""
    pre_tokenizer = shared_pre_tokenizer(args)
    try:
        spans = pre_tokenizer.find_chunk_boundaries(path, chunk_size=chunk_size, boundary=boundary)
    except OSError as error:
        # The core's message gives the system's reason only; the caller needs to know the file.
        raise OSError(f"{error}: {path}") from error
    return [Segment(path, offset, length) for offset, length in spans if length > 0]


def count_words(args: PreTokenizerArgs, partials: Partials, segments: list[Segment]) -> Partial:
    """Word counts of `segments`, counted in batches on all the worker's cores by the core."""
    counter = shared_pre_tokenizer(args).word_counter()
    counter.add_source(segment_texts(segments))
    return partials.put_counter(counter)


def _bigram_counts_file(counter: BigramCounter) -> bytes:
    """The bigram counts in the word-counter file format (bigram as word), so that bigram
    partials are loaded and merged by the core like word partials."""
    counts = dict(counter.items())
    return json.dumps(counts, ensure_ascii=False, separators=(",", ":")).encode("utf-8")


def count_bigrams(args: PreTokenizerArgs, partials: Partials, segments: list[Segment]) -> Partial:
    """Unicode bigram counts of `segments`, as a partial whose words are the bigrams."""
    counter = shared_pre_tokenizer(args).bigram_counter()
    counter.add_source(segment_texts(segments))
    return partials.put_file_bytes(_bigram_counts_file(counter))


def merge(args: PreTokenizerArgs, partials: Partials, inputs: list[Partial]) -> Partial:
    """The sum of `inputs`, loaded one at a time, so that at most the sum and one input are in
    memory."""
    pre_tokenizer = shared_pre_tokenizer(args)
    total = partials.load(inputs[0], pre_tokenizer)
    for partial in inputs[1:]:
        total.merge(partials.load(partial, pre_tokenizer))
    return partials.put_counter(total)
