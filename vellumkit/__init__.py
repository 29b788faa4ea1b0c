"""vellumkit: a fast BPE tokenizer toolkit with a C++ core."""

from importlib.metadata import version as _version

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
from vellumkit.tokenizer import Tokenizer

__version__ = _version("vellumkit")

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
