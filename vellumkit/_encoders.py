"""The native encoders of one tokenizer, built on first use from its contents.

A native encoder splits out exactly the special tokens it was built with, so each policy of
allowed special tokens gets its own encoder. Each encoder may also know a separator: a special
token of its own, one id beyond the vocabulary, that never occurs in real text. Texts joined by
the separator are encoded in one native call and cut apart at its id; since special tokens are
split out before anything else, every text encodes exactly as it would alone, and one call per
thousands of short texts replaces thousands of calls (a call's fixed cost, and the interpreter
lock it takes twice, dominate short texts and serialise threads).
"""

import os
import tempfile
import threading

from vellumkit._contents import ModelContents
from vellumkit._files import merges_text, vocab_text
from vellumkit._lib import BpeEncoderBase

SEPARATOR = "\U0010fffd\u2063vellumkit batch separator\u2063\U0010fffd"


class EncoderSet:
    """Native encoders of `contents`, one per (allowed special tokens, with separator), shared by
    every thread: building takes a lock, encoding does not."""

    def __init__(self, contents: ModelContents) -> None:
        self._contents = contents
        self._lock = threading.Lock()
        self._encoders: dict[tuple[frozenset[str], bool], BpeEncoderBase] = {}
        self._files: tuple[str, str] | None = None
        self.separator_id = max(contents.vocab, default=-1) + 1
        # A special token holding the separator's first (and last) character could overlap it,
        # in encoding and in the search for disallowed special tokens of a joined text.
        self.can_join = SEPARATOR.encode() not in contents.vocab.values() and not any(
            SEPARATOR[0] in token for token in contents.special_tokens
        )

    def get(self, allowed: frozenset[str], *, separator: bool) -> BpeEncoderBase:
        key = (allowed, separator and self.can_join)
        encoder = self._encoders.get(key)
        if encoder is None:
            with self._lock:
                encoder = self._encoders.get(key)
                if encoder is None:
                    encoder = self._encoders[key] = self._build(*key)
        return encoder

    def for_decoding(self) -> BpeEncoderBase:
        """Every encoder decodes alike; this is the one that encodes with every special token."""
        return self.get(frozenset(self._contents.special_tokens), separator=True)

    def _build(self, allowed: frozenset[str], separator: bool) -> BpeEncoderBase:
        contents = self._contents
        specials = [token for token in contents.special_tokens if token in allowed]
        if separator:
            # Last, so that the first special token stays the end-of-text marker of file encoding.
            specials.append(SEPARATOR)
        vocab, merges = self._rendered_files()
        with tempfile.TemporaryDirectory(prefix="vellumkit-") as folder:
            vocab_path, merges_path = os.path.join(folder, "vocab.json"), os.path.join(folder, "merges.txt")
            with open(vocab_path, "w", encoding="utf-8") as file:
                file.write(vocab)
            with open(merges_path, "w", encoding="utf-8") as file:
                file.write(merges)
            try:
                return BpeEncoderBase(
                    "vellum", contents.unit, None, None, vocab_path, merges_path, specials,
                    pat_str=contents.pat_str,
                    unicode_bigrams=contents.unicode_bigrams,
                    unicode_bigram_mixed_boundary=contents.unicode_bigram_mixed_boundary,
                    split_on_vocab_bigrams=contents.split_on_vocab_bigrams,
                )
            except RuntimeError as error:
                raise ValueError(f"the model cannot make an encoder: {error}") from None

    def _rendered_files(self) -> tuple[str, str]:
        """The vocabulary (with the separator token) and merges files, rendered once."""
        if self._files is None:
            vocab = dict(self._contents.vocab)
            if self.can_join:
                vocab[self.separator_id] = SEPARATOR.encode()
            self._files = (vocab_text(vocab, "vellum"), merges_text(self._contents.merges, "vellum"))
        return self._files
