"""The constructor arguments of a PreTokenizer as plain data.

Native objects cannot be pickled, so tasks carry these arguments and every worker process builds
its own PreTokenizer from them, once per distinct set of arguments.
"""

import functools
from collections.abc import Sequence
from dataclasses import dataclass

from vellumkit._lib import PreTokenizer
from vellumkit.types import MixedBoundary


@dataclass(frozen=True)
class PreTokenizerArgs:
    special_tokens: tuple[str, ...]
    eot_token: str | None
    pat_str: str | None
    unicode_bigrams: tuple[str, ...] | None
    unicode_bigram_mixed_boundary: MixedBoundary

    @classmethod
    def of(
        cls,
        special_tokens: Sequence[str],
        eot_token: str | None,
        pat_str: str | None,
        unicode_bigrams: Sequence[str] | None,
        unicode_bigram_mixed_boundary: MixedBoundary,
    ) -> "PreTokenizerArgs":
        bigrams = None if unicode_bigrams is None else tuple(unicode_bigrams)
        return cls(tuple(special_tokens), eot_token, pat_str, bigrams, unicode_bigram_mixed_boundary)

    def build(self) -> PreTokenizer:
        bigrams = None if self.unicode_bigrams is None else list(self.unicode_bigrams)
        return PreTokenizer(
            list(self.special_tokens),
            eot_token=self.eot_token,
            pat_str=self.pat_str,
            unicode_bigrams=bigrams,
            unicode_bigram_mixed_boundary=self.unicode_bigram_mixed_boundary,
        )


@functools.lru_cache(maxsize=16)
def shared_pre_tokenizer(args: PreTokenizerArgs) -> PreTokenizer:
    """The process's PreTokenizer for `args`; a PreTokenizer is immutable, so all tasks and
    threads of a worker share it."""
    return args.build()
