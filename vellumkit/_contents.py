"""What a tokenizer is made of, as plain values: the picklable, comparable core of `Tokenizer`."""

from collections.abc import Mapping
from dataclasses import dataclass
from typing import NamedTuple

from vellumkit.types import MixedBoundary, Unit

_MAX_ID = 2**32 - 1
#: The native default word pattern, spelled out for the tools that need it written.
DEFAULT_PATTERN = r"""'(?:[sdmt]|ll|ve|re)| ?\p{L}+| ?\p{N}+| ?[^\s\p{L}\p{N}]+|\s+(?!\S)|\s+"""


class Merge(NamedTuple):
    """One merge rule: the two tokens it joins, most preferred rules first in a list. The frequency
    is the pair's count when it was learned, 0 where the source file did not record one."""

    left: bytes
    right: bytes
    frequency: int = 0


@dataclass(frozen=True)
class ModelContents:
    """A BPE model and the options of its encoder. `vocab` maps each id to its token's bytes (ids
    need not be dense); a special token's token is its UTF-8 text."""

    unit: Unit
    vocab: Mapping[int, bytes]
    merges: tuple[Merge, ...]
    special_tokens: tuple[str, ...]
    pat_str: str | None = None
    unicode_bigrams: tuple[str, ...] | None = None
    unicode_bigram_mixed_boundary: MixedBoundary = "keep"
    split_on_vocab_bigrams: bool = True

    def check(self) -> None:
        """ValueError unless the contents can make an encoder as far as plain values tell: the
        native encoder checks the merges and the bigram options when it is built."""
        if self.unit not in ("byte", "unicode"):
            raise ValueError(f"unit must be 'byte' or 'unicode', not {self.unit!r}")
        ids: dict[bytes, int] = {}
        for token_id, token in self.vocab.items():
            if not 0 <= token_id <= _MAX_ID:
                raise ValueError(f"token id {token_id} is outside the unsigned 32-bit range")
            if token in ids:
                raise ValueError(f"token {token!r} has two ids, {ids[token]} and {token_id}")
            ids[token] = token_id
        for special in self.special_tokens:
            if special.encode("utf-8") not in ids:
                raise ValueError(f"special token {special!r} is not in the vocabulary")
        if len(set(self.special_tokens)) != len(self.special_tokens):
            raise ValueError("special tokens must be distinct")
