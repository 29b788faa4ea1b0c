"""Counting corpora on a Dask cluster.

Word and bigram counts are sums, so the counting is spread over the workers of a
`distributed.Client` and only the training runs on one machine. Files are cut into segments at
the same safe boundaries as `PreTokenizer.get_words_from_file`, so the counts equal those of one
machine counting the same files. Needs Dask's distributed scheduler: `pip install vellumkit[dask]`.
"""

try:
    import distributed as _distributed  # noqa: F401  (only to say how to install it)
except ImportError as error:
    raise ImportError(
        "vellumkit.distributed needs Dask's distributed scheduler: pip install vellumkit[dask]"
    ) from error

from vellumkit.distributed._counting import count_bigrams, count_words, submit_bigram_count, submit_word_count
from vellumkit.distributed._job import CountJob

__all__ = ["CountJob", "count_bigrams", "count_words", "submit_bigram_count", "submit_word_count"]
