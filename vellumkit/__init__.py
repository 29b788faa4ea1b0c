"""vellumkit: a fast BPE tokenizer toolkit with a C++ core."""

from vellumkit._batch import EncodedBatch
from vellumkit._contents import Merge, ModelContents
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
from vellumkit._version import __version__
from vellumkit.tokenizer import Tokenizer


__all__ = [
    "BigramCounter",
    "BpeEncoderBase",
    "BpeModelBase",
    "BpeTrainer_Character_CharIdx",
    "BpeTrainer_u8_Idx",
    "BpeTrainerBase",
    "EncodedBatch",
    "InvariantViolation",
    "Merge",
    "ModelContents",
    "PreTokenizer",
    "Tokenizer",
    "UnicodeBigramSelection",
    "Vocabulary",
    "WordCounter",
]
