# Type stubs of the native module vellumkit._lib; a test keeps them in step with the module.
import os
from collections.abc import Iterable, Sequence
from typing import final

import numpy as np
import numpy.typing as npt

from vellumkit.types import Boundary, FileFormat, InitialAlphabet, MixedBoundary, TieBreak, Unit

_Path = str | os.PathLike[str]

class BpeTrainerBase: ...

@final
class UnicodeBigramSelection:
    @property
    def bigrams(self) -> list[str]: ...
    @property
    def cutoff_freq(self) -> int | None: ...
    @property
    def max_excluded_freq(self) -> int | None: ...

@final
class BpeModelBase:
    @property
    def unit(self) -> Unit:
        """Primary segmentation unit used by this model."""
    @property
    def last_merge_freq(self) -> int | None:
        """Frequency of the final pair merge, if the model contains one."""
    @property
    def special_tokens(self) -> list[str]:
        """Reserved special tokens in vocabulary order."""
    def encoder(
        self,
        pat_str: str | None = None,
        unicode_bigrams: Sequence[str] | None = None,
        unicode_bigram_mixed_boundary: MixedBoundary = "keep",
        split_on_vocab_bigrams: bool = True,
    ) -> BpeEncoderBase:
        """Build an encoder directly from the validated model."""
    def get_vocab(self) -> Vocabulary:
        """Return a view of the validated vocabulary."""
    def save_vocab(self, path: _Path, format: FileFormat) -> None:
        """Save the validated vocabulary JSON."""
    def save_merges_txt(self, path: _Path, format: FileFormat) -> None:
        """Save the validated merge list."""

@final
class BpeTrainer_u8_Idx(BpeTrainerBase):
    def __new__(
        cls,
        special_tokens: Sequence[str],
        initial_alphabet: InitialAlphabet | None = None,
        tie_break: TieBreak | None = None,
        parallel_merge_min_occurs_in: int | None = None,
        hot_pair_window_size: int | None = None,
        bigram_cutoff_freq: int | None = None,
    ) -> BpeTrainer_u8_Idx: ...
    def add_words(self, words: Sequence[tuple[str, int]]) -> None:
        """Add `(word, frequency)` pairs to the trainer's inventory."""
    def add_word_counter(self, counter: WordCounter) -> None:
        """Replace the trainer inventory by consuming a word counter."""
    def vocab_size(self) -> int:
        """Current vocabulary size."""
    def get_vocab(self) -> Vocabulary:
        """Return a view of the current vocabulary."""
    @property
    def last_merge_freq(self) -> int | None:
        """Frequency of the most recently completed pair merge."""
    @property
    def hot_pair_window_stats(self) -> dict[str, int] | None:
        """Diagnostics for the bounded pair-posting window, if enabled."""
    @property
    def memory_usage(self) -> dict[str, int]:
        """Capacity-backed breakdown of persistent trainer storage.

        This attributes trainer-owned allocations and is not process RSS; use it
        to identify why bounded occurrence postings do or do not dominate."""
    def init_training(self) -> None:
        """Initialize internal training state."""
    def step(self) -> int:
        """Perform one training step.

        Returns the updated vocabulary size."""
    def train_until(self, vocab_size: int) -> int:
        """Train until the vocabulary reaches `vocab_size` or the pair cutoff.

        Returns the updated vocabulary size."""
    def validate_model(self) -> BpeModelBase:
        """Validate the current state and return an immutable model snapshot."""

@final
class BpeTrainer_Character_CharIdx(BpeTrainerBase):
    def __new__(
        cls,
        special_tokens: Sequence[str],
        initial_alphabet: InitialAlphabet | None = None,
        tie_break: TieBreak | None = None,
        parallel_merge_min_occurs_in: int | None = None,
        hot_pair_window_size: int | None = None,
        bigram_cutoff_freq: int | None = None,
    ) -> BpeTrainer_Character_CharIdx: ...
    def add_words(self, words: Sequence[tuple[str, int]]) -> None:
        """Add `(word, frequency)` pairs to the trainer's inventory."""
    def add_word_counter(self, counter: WordCounter) -> None:
        """Replace the trainer inventory by consuming a word counter."""
    def vocab_size(self) -> int:
        """Current vocabulary size."""
    def get_vocab(self) -> Vocabulary:
        """Return a view of the current vocabulary."""
    @property
    def last_merge_freq(self) -> int | None:
        """Frequency of the most recently completed pair merge."""
    @property
    def hot_pair_window_stats(self) -> dict[str, int] | None:
        """Diagnostics for the bounded pair-posting window, if enabled."""
    @property
    def memory_usage(self) -> dict[str, int]:
        """Capacity-backed breakdown of persistent trainer storage.

        This attributes trainer-owned allocations and is not process RSS; use it
        to identify why bounded occurrence postings do or do not dominate."""
    def init_training(self) -> None:
        """Initialize internal training state."""
    def step(self) -> int:
        """Perform one training step.

        Returns the updated vocabulary size."""
    def train_until(self, vocab_size: int) -> int:
        """Train until the vocabulary reaches `vocab_size` or the pair cutoff.

        Returns the updated vocabulary size."""
    def train_until_with_bbpe_fallback(self, vocab_size: int, *, primary_vocab_ratio: float = 0.9) -> int:
        """Train to `vocab_size` with a terminal byte-BPE fallback phase.

        Returns the updated vocabulary size."""
    def validate_model(self) -> BpeModelBase:
        """Validate the current state and return an immutable model snapshot."""

@final
class Vocabulary:
    @property
    def len(self) -> int:
        """Number of entries in the vocabulary."""
    def get(self, word: str) -> int | None:
        """Look up a word/token and return its id if present."""
    def items(self) -> list[tuple[bytes, int]]:
        """Return all `(token_bytes, id)` entries."""

@final
class PreTokenizer:
    def __new__(
        cls,
        special_tokens: Sequence[str],
        eot_token: str | None = None,
        pat_str: str | None = None,
        unicode_bigrams: Sequence[str] | None = None,
        unicode_bigram_mixed_boundary: MixedBoundary = "keep",
    ) -> PreTokenizer: ...
    def get_words(self, text: str) -> dict[str, int]:
        """Pretokenize text and return a word-frequency mapping."""
    def find_chunk_boundaries(
        self, path: _Path, *, chunk_size: int = 1048576, boundary: Boundary = "auto"
    ) -> list[tuple[int, int]]:
        """Python wrapper for [`PreTokenizer::find_chunk_boundaries`]."""
    def get_words_from_segment(self, path: _Path, offset: int, length: int) -> dict[str, int]:
        """Python wrapper for [`PreTokenizer::get_words_from_segment`]."""
    def get_words_from_file(
        self, path: _Path, *, chunk_size: int = 1048576, boundary: Boundary = "auto"
    ) -> dict[str, int]:
        """Python wrapper for [`PreTokenizer::get_words_from_file`]."""
    def bigram_counter(self) -> BigramCounter:
        """Create an empty mergeable Unicode bigram counter."""
    def word_counter(self) -> WordCounter:
        """Create an empty mergeable word counter."""
    def load_word_counter(self, path: _Path) -> WordCounter: ...
    def build_unicode_bigrams_from_file(
        self,
        path: _Path,
        *,
        chunk_size: int = 1048576,
        boundary: Boundary = "auto",
        top_k: int = 100000,
        min_freq: int = 16,
    ) -> list[str]: ...
    def select_unicode_bigrams_from_file(
        self,
        path: _Path,
        *,
        chunk_size: int = 1048576,
        boundary: Boundary = "auto",
        top_k: int = 100000,
        min_freq: int = 16,
    ) -> UnicodeBigramSelection: ...

@final
class BigramCounter:
    def __new__(cls, pre_tokenizer: PreTokenizer) -> BigramCounter: ...
    def add_text(self, text: str) -> None: ...
    def add_batch(self, texts: Sequence[str]) -> None: ...
    def add_source(
        self,
        source: Iterable[str],
        *,
        max_records: int = 4096,
        max_bytes: int = 67108864,
        prefetch: int = 1,
    ) -> None: ...
    def merge(self, other: BigramCounter) -> None: ...
    def items(self) -> list[tuple[str, int]]: ...
    def selected(self, top_k: int, min_freq: int) -> list[str]: ...
    def select(self, top_k: int, min_freq: int) -> UnicodeBigramSelection: ...

@final
class WordCounter:
    def __new__(cls, pre_tokenizer: PreTokenizer) -> WordCounter: ...
    def add_text(self, text: str) -> None: ...
    def add_batch(self, texts: Sequence[str]) -> None: ...
    def add_source(
        self,
        source: Iterable[str],
        *,
        max_records: int = 4096,
        max_bytes: int = 67108864,
        prefetch: int = 1,
    ) -> None: ...
    def merge(self, other: WordCounter) -> None: ...
    def words(self) -> dict[str, int]: ...
    @property
    def len(self) -> int: ...
    def clear(self) -> None: ...
    def save(self, path: _Path) -> None: ...

@final
class BpeEncoderBase:
    def __new__(
        cls,
        format: FileFormat,
        unit: Unit,
        vocab: dict[str, int] | None,
        merges: Sequence[tuple[str, str]] | None,
        vocab_file: _Path | None,
        merges_file: _Path | None,
        special_tokens: Sequence[str] | None,
        pat_str: str | None = None,
        unicode_bigrams: Sequence[str] | None = None,
        unicode_bigram_mixed_boundary: MixedBoundary = "keep",
        split_on_vocab_bigrams: bool = True,
    ) -> BpeEncoderBase: ...
    def pre_tokenizer(self) -> PreTokenizer:
        """Return the underlying pre-tokenizer."""
    def encode_word(self, word: str) -> list[int]:
        """Encode one already-pretokenized word without PAT or special-token handling."""
    def encode_words(self, words: Sequence[str]) -> list[list[int]]:
        """Encode multiple already-pretokenized words."""
    def encode_to_numpy(self, text: str) -> npt.NDArray[np.uint32]:
        """Encode an arbitrary string into a NumPy `uint32` array of token ids."""
    def encode(self, text: str) -> list[int]:
        """Encode an arbitrary string into a Python list of token ids."""
    def encode_file(self, path: _Path, num_chunks: int) -> npt.NDArray[np.uint32]:
        """Encode a file into a NumPy `uint32` array of token ids."""
    def decode(self, idxs: Sequence[int] | npt.NDArray[np.uint32]) -> str:
        """Decode token ids back into a UTF-8 string.

        Accepts either a Python sequence of ints or a NumPy `uint32` array."""
