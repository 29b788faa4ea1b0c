"""Which special tokens a call encodes as special, and which it refuses to meet in the text.

The rules are tiktoken's: `allowed_special` tokens become their ids; `disallowed_special` tokens
make the call fail when they occur in the text ("all" means every special token not allowed);
a special token in neither set is encoded as ordinary text.
"""

import re
from collections.abc import Collection
from functools import lru_cache
from typing import Literal

Allowed = Literal["all"] | Collection[str]


def _token_set(value: Allowed, argument: str, special_tokens: tuple[str, ...]) -> frozenset[str] | None:
    if value == "all":
        return None
    if isinstance(value, str):
        raise TypeError(f"{argument} must be 'all' or a collection of special tokens, not the string {value!r}")
    tokens = frozenset(value)
    unknown = sorted(tokens.difference(special_tokens))
    if unknown:
        raise ValueError(f"{argument} names {unknown[0]!r}, which is not a special token of this tokenizer")
    return tokens


class SpecialPolicy:
    """The outcome of one (allowed_special, disallowed_special) choice."""

    def __init__(self, allowed: frozenset[str], disallowed: frozenset[str]) -> None:
        self.allowed = allowed
        # Longest first, so that a token is reported whole rather than by a shorter one inside it.
        ordered = sorted(disallowed, key=lambda token: (-len(token), token))
        self._pattern = re.compile("|".join(map(re.escape, ordered))) if ordered else None

    def check(self, text: str) -> None:
        """ValueError when `text` holds a disallowed special token."""
        if self._pattern is None:
            return
        found = self._pattern.search(text)
        if found is not None:
            raise ValueError(
                f"the text holds the special token {found.group()!r} at character {found.start()}, and it is "
                "disallowed: add it to allowed_special to encode it as its special id, or leave it out of "
                "disallowed_special (for example disallowed_special=()) to encode it as ordinary text"
            )


@lru_cache(maxsize=64)
def _policy(special_tokens: tuple[str, ...], allowed: frozenset[str] | None, disallowed: frozenset[str] | None) -> SpecialPolicy:
    allowed_set = frozenset(special_tokens) if allowed is None else allowed
    disallowed_set = frozenset(special_tokens) - allowed_set if disallowed is None else disallowed - allowed_set
    return SpecialPolicy(allowed_set, disallowed_set)


def special_policy(special_tokens: tuple[str, ...], allowed_special: Allowed, disallowed_special: Allowed) -> SpecialPolicy:
    allowed = _token_set(allowed_special, "allowed_special", special_tokens)
    disallowed = _token_set(disallowed_special, "disallowed_special", special_tokens)
    return _policy(special_tokens, allowed, disallowed)
