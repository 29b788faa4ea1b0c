"""`Tokenizer`: a trained BPE model with its encoding options, the object users keep.

It holds plain values (`ModelContents`) and builds its native encoders from them on first use,
so it pickles by those values, travels to worker processes under fork and spawn, and compares
equal to its copies. Encoding follows tiktoken's special-token rules; `encode_batch` spreads
texts over threads.
"""

import math
import os
import tempfile
from collections.abc import Mapping, Sequence

import numpy as np
import numpy.typing as npt

from vellumkit import _files, _hf, _tiktoken, _training
from vellumkit._batch import ChunkEncoder, EncodedBatch, as_batch, run_chunks, thread_count
from vellumkit._contents import DEFAULT_PATTERN, Merge, ModelContents
from vellumkit._encoders import SEPARATOR, EncoderSet
from vellumkit._lib import BpeEncoderBase, BpeModelBase, BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx, PreTokenizer
from vellumkit._special import Allowed, special_policy
from vellumkit.types import MixedBoundary, PairFormat, Unit

_Path = str | os.PathLike[str]
# encode_file reads each segment whole: segments of about 4 MiB keep that small on big files.
_FILE_SEGMENT_BYTES = 4 << 20
Ids = Sequence[int] | npt.NDArray[np.uint32]


class Tokenizer:
    """A validated BPE model ready to encode and decode, from `train`, `from_model`,
    `from_files`, `from_hf` or `from_tiktoken`."""

    def __init__(self, contents: ModelContents) -> None:
        contents.check()
        self._contents = contents
        self._setup()
        # Building one encoder now reports a model that cannot encode at once, not on first use.
        self._encoders.get(frozenset(contents.special_tokens), separator=True)

    def _setup(self) -> None:
        contents = self._contents
        self._encoders = EncoderSet(contents)
        self._ids = {token: token_id for token_id, token in contents.vocab.items()}
        self._special_ids = {token: self._ids[token.encode("utf-8")] for token in contents.special_tokens}
        self._vocab_size = max(contents.vocab, default=-1) + 1

    # Pickling carries the contents only; the native encoders are rebuilt where they arrive.
    def __getstate__(self) -> ModelContents:
        return self._contents

    def __setstate__(self, contents: ModelContents) -> None:
        self._contents = contents
        self._setup()

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Tokenizer) and self._contents == other._contents

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return (f"Tokenizer(unit={self.unit!r}, vocab_size={self.vocab_size}, merges={len(self._contents.merges)}, "
                f"special_tokens={list(self._contents.special_tokens)!r})")

    # Construction

    @classmethod
    def from_model(cls, model: BpeModelBase, *, pat_str: str | None = None, unicode_bigrams: Sequence[str] | None = None,
                   unicode_bigram_mixed_boundary: MixedBoundary = "keep", split_on_vocab_bigrams: bool = True) -> "Tokenizer":
        """The tokenizer of a validated model, with the options that `model.encoder` takes."""
        unit: Unit = "unicode" if model.unit == "unicode" else "byte"
        with tempfile.TemporaryDirectory(prefix="vellumkit-") as folder:
            path = os.path.join(folder, "merges.txt")
            model.save_merges_txt(path, "vellum")
            merges = _files.read_merges(path, "vellum", unit)
        vocab = {token_id: token for token, token_id in model.get_vocab().items()}
        return cls(ModelContents(
            unit=unit, vocab=dict(sorted(vocab.items())), merges=tuple(merges), special_tokens=tuple(model.special_tokens),
            pat_str=pat_str, unicode_bigrams=None if unicode_bigrams is None else tuple(unicode_bigrams),
            unicode_bigram_mixed_boundary=unicode_bigram_mixed_boundary, split_on_vocab_bigrams=split_on_vocab_bigrams,
        ))

    @classmethod
    def from_files(cls, vocab_file: _Path, merges_file: _Path, *, format: PairFormat = "vellum", unit: Unit = "byte",
                   special_tokens: Sequence[str] = (), pat_str: str | None = None,
                   unicode_bigrams: Sequence[str] | None = None, unicode_bigram_mixed_boundary: MixedBoundary = "keep",
                   split_on_vocab_bigrams: bool = True) -> "Tokenizer":
        """A tokenizer from a vocabulary file and a merges file: "vellum" and "gpt2" as models save
        them, or "hf", the vocab.json and merges.txt pair of other byte-level BPE tools. The
        special tokens must be in the vocabulary."""
        if isinstance(special_tokens, str):
            raise TypeError("special_tokens must be a sequence of strings, not one string")
        return cls(ModelContents(
            unit=unit, vocab=_files.read_vocab(vocab_file, format, unit),
            merges=tuple(_files.read_merges(merges_file, format, unit)), special_tokens=tuple(special_tokens),
            pat_str=pat_str, unicode_bigrams=None if unicode_bigrams is None else tuple(unicode_bigrams),
            unicode_bigram_mixed_boundary=unicode_bigram_mixed_boundary, split_on_vocab_bigrams=split_on_vocab_bigrams,
        ))

    @classmethod
    def from_hf(cls, path: _Path) -> "Tokenizer":
        """A tokenizer from a `tokenizer.json` file of a BPE model: byte-level, or over characters
        with byte fallback, with no normalizer."""
        return cls(_hf.read_tokenizer_json(path))

    @classmethod
    def from_tiktoken(cls, path: _Path, pat_str: str, special_tokens: Mapping[str, int]) -> "Tokenizer":
        """A tokenizer from a `.tiktoken` ranks file (base64 token and rank per line; the ranks
        become the ids), the pattern and the special tokens with their ids."""
        return cls(_tiktoken.read_ranks(path, pat_str, special_tokens))

    @classmethod
    def train(cls, source: _training.Source, vocab_size: int, *, special_tokens: Sequence[str] = ("<|endoftext|>",),
              unit: Unit = "byte", pat_str: str | None = None, unicode_bigrams: Sequence[str] | None = None,
              unicode_bigram_mixed_boundary: MixedBoundary = "keep", hot_pair_window_size: int | None = None,
              progress: bool = True) -> "Tokenizer":
        """Counts the words of `source` (paths, a directory, or an iterable of texts), trains a
        model of up to `vocab_size` tokens and returns its tokenizer. `progress` shows bars
        for counting and merging when tqdm is installed."""
        if isinstance(special_tokens, str):
            raise TypeError("special_tokens must be a sequence of strings, not one string")
        pre_tokenizer = PreTokenizer(list(special_tokens), pat_str=pat_str, unicode_bigrams=unicode_bigrams,
                                     unicode_bigram_mixed_boundary=unicode_bigram_mixed_boundary)
        counter = pre_tokenizer.word_counter()
        _training.count_source(counter, source, progress)
        if unit not in ("byte", "unicode"):
            raise ValueError(f"unit must be 'byte' or 'unicode', not {unit!r}")
        trainer_class = BpeTrainer_u8_Idx if unit == "byte" else BpeTrainer_Character_CharIdx
        trainer = trainer_class(list(special_tokens), hot_pair_window_size=hot_pair_window_size)
        trainer.add_word_counter(counter)
        _training.train(trainer, vocab_size, progress)
        return cls.from_model(trainer.validate_model(), pat_str=pat_str, unicode_bigrams=unicode_bigrams,
                              unicode_bigram_mixed_boundary=unicode_bigram_mixed_boundary)

    # What the model holds

    @property
    def unit(self) -> Unit:
        return self._contents.unit

    @property
    def pat_str(self) -> str | None:
        """The word pattern, None for the default one."""
        return self._contents.pat_str

    @property
    def vocab_size(self) -> int:
        """One more than the largest id: the size of an embedding table indexed by id."""
        return self._vocab_size

    @property
    def special_tokens(self) -> dict[str, int]:
        """Each special token with its id, in the model's order."""
        return dict(self._special_ids)

    @property
    def merges(self) -> tuple[Merge, ...]:
        return self._contents.merges

    @property
    def contents(self) -> ModelContents:
        """Everything the tokenizer is made of, as plain values, to read (not to change: a new
        Tokenizer(contents) is the way to a changed model)."""
        return self._contents

    def token_to_id(self, token: str | bytes) -> int | None:
        """The id of a token given as its text or its bytes, None if the vocabulary lacks it."""
        return self._ids.get(token.encode("utf-8") if isinstance(token, str) else token)

    def id_to_token(self, token_id: int) -> bytes | None:
        """The bytes of the token with this id, None if no token has it."""
        return self._contents.vocab.get(token_id)

    def get_vocab(self) -> dict[bytes, int]:
        """Every token's bytes with its id, in id order."""
        return dict(self._ids)

    # Encoding

    def encode(self, text: str, *, allowed_special: Allowed = frozenset(), disallowed_special: Allowed = "all") -> list[int]:
        """The ids of `text`. Special tokens named in `allowed_special` ("all" for every one)
        become their ids; one named in `disallowed_special` ("all": every special token not
        allowed) makes the call fail with ValueError; any other is encoded as ordinary text."""
        policy = special_policy(self._contents.special_tokens, allowed_special, disallowed_special)
        policy.check(text)
        return self._encoder_for(text, policy.allowed).encode(text)

    def encode_to_numpy(self, text: str, *, allowed_special: Allowed = frozenset(),
                        disallowed_special: Allowed = "all") -> npt.NDArray[np.uint32]:
        """`encode` as a NumPy uint32 array."""
        policy = special_policy(self._contents.special_tokens, allowed_special, disallowed_special)
        policy.check(text)
        return self._encoder_for(text, policy.allowed).encode_to_numpy(text)

    def encode_ordinary(self, text: str) -> list[int]:
        """The ids of `text` with every special token encoded as ordinary text."""
        return self.encode(text, disallowed_special=())

    def encode_batch(self, texts: Sequence[str], *, num_threads: int | None = None, allowed_special: Allowed = frozenset(),
                     disallowed_special: Allowed = "all") -> list[list[int]]:
        """One id list per text, as `encode` gives it, computed on `num_threads` threads (None:
        one per core)."""
        encoder, texts, threads = self._chunk_encoder(texts, num_threads, allowed_special, disallowed_special)
        return [ids for chunk in run_chunks(encoder.lists, texts, threads) for ids in chunk]

    def encode_batch_to_numpy(self, texts: Sequence[str], *, num_threads: int | None = None,
                              allowed_special: Allowed = frozenset(), disallowed_special: Allowed = "all") -> EncodedBatch:
        """The ids of all texts in one flat uint32 array with the offsets of each text's ids."""
        encoder, texts, threads = self._chunk_encoder(texts, num_threads, allowed_special, disallowed_special)
        return as_batch(run_chunks(encoder.arrays, texts, threads))

    def encode_ordinary_batch(self, texts: Sequence[str], *, num_threads: int | None = None) -> list[list[int]]:
        """`encode_batch` with every special token encoded as ordinary text."""
        return self.encode_batch(texts, num_threads=num_threads, disallowed_special=())

    def encode_file(self, path: _Path, *, num_chunks: int | None = None) -> npt.NDArray[np.uint32]:
        """The ids of a whole text file, its segments encoded in parallel (None: segments of about
        4 MiB, at least one per core). Special tokens in the file become their ids, as documents
        separated by an end-of-text token expect; the first special token marks where the file
        may be cut."""
        if num_chunks is None:
            num_chunks = max(os.cpu_count() or 1, math.ceil(os.path.getsize(path) / _FILE_SEGMENT_BYTES))
        encoder = self._encoders.get(frozenset(self._contents.special_tokens), separator=False)
        return encoder.encode_file(path, num_chunks)

    def decode_bytes(self, ids: Ids) -> bytes:
        """The bytes of the tokens, joined."""
        vocab = self._contents.vocab
        try:
            return b"".join([vocab[token_id] for token_id in (ids.tolist() if isinstance(ids, np.ndarray) else ids)])
        except KeyError as error:
            raise ValueError(f"token id {error.args[0]} is not in the vocabulary") from None

    def decode(self, ids: Ids) -> str:
        """The text of the tokens; bytes that are not valid UTF-8 become U+FFFD."""
        separator = self._encoders.separator_id
        holds_separator = (np.asarray(ids) == separator).any() if isinstance(ids, np.ndarray) else separator in ids
        if holds_separator:
            raise ValueError(f"token id {separator} is not in the vocabulary")
        try:
            return self._encoders.for_decoding().decode(ids)
        except RuntimeError as error:
            raise ValueError(f"cannot decode: {error}") from None

    # Saving

    def save_files(self, vocab_file: _Path, merges_file: _Path, *, format: PairFormat = "vellum") -> None:
        """Writes the vocabulary and merges files in one of the formats `from_files` reads."""
        _files.write_pair(self._contents, vocab_file, merges_file, format)

    def save_hf(self, path: _Path) -> None:
        """Writes a `tokenizer.json` that `tokenizers.Tokenizer.from_file` and
        `transformers.PreTrainedTokenizerFast(tokenizer_file=...)` load with the same ids."""
        _hf.write_tokenizer_json(self._contents, path)

    def save_tiktoken(self, path: _Path) -> None:
        """Writes a `.tiktoken` ranks file whose ranks are our ids; `tiktoken.Encoding` built from it
        with `tiktoken_pattern` and `special_tokens` encodes with the same ids."""
        _tiktoken.write_ranks(self._contents, path)

    @property
    def tiktoken_pattern(self) -> str:
        """The word pattern spelled out, the default one included, as other tools need it."""
        return self._contents.pat_str or DEFAULT_PATTERN

    # Internals

    def _encoder_for(self, text: str, allowed: frozenset[str]) -> BpeEncoderBase:
        return self._encoders.get(allowed, separator=SEPARATOR not in text)

    def _chunk_encoder(self, texts: Sequence[str], num_threads: int | None, allowed_special: Allowed,
                       disallowed_special: Allowed) -> tuple[ChunkEncoder, Sequence[str], int]:
        if isinstance(texts, str):
            raise TypeError("texts must be a sequence of strings, not one string")
        if not isinstance(texts, Sequence):
            texts = list(texts)
        policy = special_policy(self._contents.special_tokens, allowed_special, disallowed_special)
        threads = thread_count(num_threads)
        encoders = self._encoders
        joined = encoders.get(policy.allowed, separator=True) if encoders.can_join else None
        alone = lambda: encoders.get(policy.allowed, separator=False)  # noqa: E731
        return ChunkEncoder(joined, encoders.separator_id, alone, policy.check), texts, threads
