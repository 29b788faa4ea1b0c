"""The closed sets of words that the native module and the high-level layer accept, as types."""

from typing import Literal

#: How token texts are written in vocabulary and merges files.
FileFormat = Literal["gpt2", "vellum"]
#: What a token is made of: bytes, or Unicode characters with raw bytes for the rest.
Unit = Literal["byte", "unicode"]
#: Where a file may be cut into segments.
Boundary = Literal["auto", "eot", "line", "utf8"]
#: Whether a bigram character next to another character is cut from it.
MixedBoundary = Literal["keep", "split"]
#: How the high-level layer names the files it reads and writes: ours, or the vocab.json and
#: merges.txt pair with its "#version" header that other byte-level BPE tools write.
PairFormat = Literal["gpt2", "vellum", "hf"]
#: The order of the 256 initial byte tokens.
InitialAlphabet = Literal["raw", "byte_level"]
#: Which of two equally frequent pairs a trainer merges first.
TieBreak = Literal["smallest_pair_id", "largest_content"]
