"""The public entry points: word and bigram counts of files on a Dask cluster."""

import os
from collections.abc import Iterable, Sequence

from distributed import Client

from vellumkit._lib import BigramCounter, WordCounter
from vellumkit.distributed import _tasks
from vellumkit.distributed._bigram_rebuild import bigram_counter_from_counts
from vellumkit.distributed._job import CountJob, submit_count
from vellumkit.distributed._pre_tokenizer_args import PreTokenizerArgs
from vellumkit.types import Boundary, MixedBoundary

# Bytes of text per counting task. Every task's partial costs a load and a merge further up,
# about as long as counting a tenth of a task of this size (a partial of half a million words
# loads in about 0.25 s, and 256 MiB count in about 2.5 s on one core), so tasks are large;
# memory does not grow with the task size, as texts are counted in batches of at most 64 MiB.
DEFAULT_TASK_SIZE = 256 * 2**20

_Path = str | os.PathLike[str]


def submit_word_count(
    client: Client,
    paths: Iterable[_Path],
    *,
    special_tokens: Sequence[str],
    eot_token: str | None = None,
    pat_str: str | None = None,
    unicode_bigrams: Sequence[str] | None = None,
    unicode_bigram_mixed_boundary: MixedBoundary = "keep",
    chunk_size: int = 1048576,
    boundary: Boundary = "auto",
    partials_dir: _Path | None = None,
    task_size: int = DEFAULT_TASK_SIZE,
) -> CountJob[WordCounter]:
    """Start counting the words of `paths` on the cluster; `result()` of the job gives the
    WordCounter. The files' segments are found first (this call waits for that); every path
    must be readable by the workers. `partials_dir`, when given, is a directory that every
    worker and the client see, where partial counts are kept as word-counter files instead of
    being held and moved by Dask."""
    args = PreTokenizerArgs.of(special_tokens, eot_token, pat_str, unicode_bigrams, unicode_bigram_mixed_boundary)
    return submit_count(
        client,
        paths,
        args,
        _tasks.count_words,
        lambda counter: counter,
        chunk_size=chunk_size,
        boundary=boundary,
        partials_dir=partials_dir,
        task_size=task_size,
    )


def submit_bigram_count(
    client: Client,
    paths: Iterable[_Path],
    *,
    special_tokens: Sequence[str],
    eot_token: str | None = None,
    pat_str: str | None = None,
    unicode_bigrams: Sequence[str] | None = None,
    unicode_bigram_mixed_boundary: MixedBoundary = "keep",
    chunk_size: int = 1048576,
    boundary: Boundary = "auto",
    partials_dir: _Path | None = None,
    task_size: int = DEFAULT_TASK_SIZE,
) -> CountJob[BigramCounter]:
    """As submit_word_count, for the Unicode bigram counts of `paths` (a BigramCounter)."""
    args = PreTokenizerArgs.of(special_tokens, eot_token, pat_str, unicode_bigrams, unicode_bigram_mixed_boundary)
    pre_tokenizer = args.build()
    return submit_count(
        client,
        paths,
        args,
        _tasks.count_bigrams,
        lambda counter: bigram_counter_from_counts(pre_tokenizer, counter.words()),
        chunk_size=chunk_size,
        boundary=boundary,
        partials_dir=partials_dir,
        task_size=task_size,
    )


def count_words(
    client: Client,
    paths: Iterable[_Path],
    *,
    special_tokens: Sequence[str],
    eot_token: str | None = None,
    pat_str: str | None = None,
    unicode_bigrams: Sequence[str] | None = None,
    unicode_bigram_mixed_boundary: MixedBoundary = "keep",
    chunk_size: int = 1048576,
    boundary: Boundary = "auto",
    partials_dir: _Path | None = None,
    task_size: int = DEFAULT_TASK_SIZE,
) -> WordCounter:
    """The word counts of `paths`, equal to those of get_words_from_file summed over the files
    with the same pre-tokenizer, chunk size and boundary mode; see submit_word_count."""
    return submit_word_count(
        client,
        paths,
        special_tokens=special_tokens,
        eot_token=eot_token,
        pat_str=pat_str,
        unicode_bigrams=unicode_bigrams,
        unicode_bigram_mixed_boundary=unicode_bigram_mixed_boundary,
        chunk_size=chunk_size,
        boundary=boundary,
        partials_dir=partials_dir,
        task_size=task_size,
    ).result()


def count_bigrams(
    client: Client,
    paths: Iterable[_Path],
    *,
    special_tokens: Sequence[str],
    eot_token: str | None = None,
    pat_str: str | None = None,
    unicode_bigrams: Sequence[str] | None = None,
    unicode_bigram_mixed_boundary: MixedBoundary = "keep",
    chunk_size: int = 1048576,
    boundary: Boundary = "auto",
    partials_dir: _Path | None = None,
    task_size: int = DEFAULT_TASK_SIZE,
) -> BigramCounter:
    """The Unicode bigram counts of `paths`, segment by segment as the file methods of
    PreTokenizer count them; see submit_word_count."""
    return submit_bigram_count(
        client,
        paths,
        special_tokens=special_tokens,
        eot_token=eot_token,
        pat_str=pat_str,
        unicode_bigrams=unicode_bigrams,
        unicode_bigram_mixed_boundary=unicode_bigram_mixed_boundary,
        chunk_size=chunk_size,
        boundary=boundary,
        partials_dir=partials_dir,
        task_size=task_size,
    ).result()
