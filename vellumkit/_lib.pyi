# Type stubs of the native module vellumkit._lib; a test keeps them in step with the module.
import os
from collections.abc import Iterable, Sequence
from typing import final

_Path = str | os.PathLike[str]

class BpeTrainerBase: ...

@final
class UnicodeBigramSelection: ...

@final
class BpeModelBase: ...

@final
class BpeTrainer_u8_Idx(BpeTrainerBase): ...

@final
class BpeTrainer_Character_CharIdx(BpeTrainerBase): ...

@final
class Vocabulary: ...

@final
class PreTokenizer:
    def __new__(
        cls,
        special_tokens: Sequence[str],
        eot_token: str | None = None,
        pat_str: str | None = None,
        unicode_bigrams: Sequence[str] | None = None,
        unicode_bigram_mixed_boundary: str = "keep",
    ) -> PreTokenizer: ...
    def get_words(self, text: str) -> dict[str, int]:
        """Pretokenize text and return a word-frequency mapping."""
    def find_chunk_boundaries(
        self, path: _Path, *, chunk_size: int = 1048576, boundary: str = "auto"
    ) -> list[tuple[int, int]]:
        """Python wrapper for [`PreTokenizer::find_chunk_boundaries`]."""
    def get_words_from_segment(self, path: _Path, offset: int, length: int) -> dict[str, int]:
        """Python wrapper for [`PreTokenizer::get_words_from_segment`]."""
    def get_words_from_file(
        self, path: _Path, *, chunk_size: int = 1048576, boundary: str = "auto"
    ) -> dict[str, int]:
        """Python wrapper for [`PreTokenizer::get_words_from_file`]."""
    def word_counter(self) -> WordCounter:
        """Create an empty mergeable word counter."""
    def load_word_counter(self, path: _Path) -> WordCounter: ...

@final
class BigramCounter: ...

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
class BpeEncoderBase: ...
