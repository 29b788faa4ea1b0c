"""vellumkit: a fast BPE tokenizer toolkit with a C++ core."""

from vellumkit._invariant import InvariantViolation
from vellumkit._lib import (
    BigramCounter,
    BpeEncoderBase,
    BpeModelBase,
    BpeTrainer_Character_CharIdx,
    BpeTrainer_u8_Idx,
    BpeTrainerBase,
    PreTokenizer,
    UnicodeBigramSelection,
    Vocabulary,
    WordCounter,
)

__all__ = [
    "BigramCounter",
    "BpeEncoderBase",
    "BpeModelBase",
    "BpeTrainer_Character_CharIdx",
    "BpeTrainer_u8_Idx",
    "BpeTrainerBase",
    "InvariantViolation",
    "PreTokenizer",
    "UnicodeBigramSelection",
    "Vocabulary",
    "WordCounter",
]
