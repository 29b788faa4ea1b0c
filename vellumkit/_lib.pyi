# Type stubs of the native module vellumkit._lib; a test keeps them in step with the module.
from collections.abc import Sequence
from typing import final

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

@final
class BigramCounter: ...

@final
class WordCounter: ...

@final
class BpeEncoderBase: ...
