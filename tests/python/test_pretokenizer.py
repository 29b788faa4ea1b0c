"""PreTokenizer: special tokens, the word pattern, bigram cuts, ordering and failures."""

import random
import re
import time
from collections import Counter

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from vellumkit import PreTokenizer

EOT = "<|endoftext|>"


@pytest.mark.parametrize(
    "special_tokens, text, expected",
    [
        ([], "", {}),
        ([], "Hello world", {"Hello": 1, " world": 1}),
        ([], "a  b", {"a": 1, " ": 1, " b": 1}),
        ([], "it's 2024, ok?\n\n", {"it": 1, "'s": 1, " 2024": 1, ",": 1, " ok": 1, "?": 1, "\n\n": 1}),
        ([EOT], "a<|endoftext|>b", {"a": 1, "b": 1}),
        ([EOT], "<|endoftext|><|endoftext|>", {}),
        # A special token inside a word splits the word.
        (["<s>"], "ab<s>cd", {"ab": 1, "cd": 1}),
        # The first listed token wins where several match at one position.
        (["<a>", "<a>b"], "x<a>by", {"x": 1, "by": 1}),
        (["<a>b", "<a>"], "x<a>by", {"x": 1, "y": 1}),
        # Metacharacters in tokens match only themselves.
        (["[MASK]"], "a[MASK]b M", {"a": 1, "b": 1, " M": 1}),
        (["a.b"], "axb a.b", {"axb": 1, " ": 1}),
        (["(x|y)*"], "(x|y)*z x", {"z": 1, " x": 1}),
    ],
)
def test_get_words(special_tokens, text, expected):
    words = PreTokenizer(special_tokens).get_words(text)
    assert words == expected


def test_words_are_ordered_by_utf8_bytes():
    words = PreTokenizer([], pat_str=r"\S+").get_words("z é a B Z ä 日 ~")
    assert list(words) == ["B", "Z", "a", "z", "~", "ä", "é", "日"]
    assert list(words) == sorted(words, key=lambda word: word.encode())


def test_zero_length_matches_are_empty_words():
    assert PreTokenizer([], pat_str="a*").get_words("baa") == {"": 2, "aa": 1}


SIMPLE_PATTERN = r"[a-z]+| ?[0-9]+|\s+|[^a-z0-9\s]+"


def reference_words(special_tokens, pattern, text):
    """Splits with Python's own re: special tokens first, then the pattern in each segment."""
    counts = Counter()
    segments = re.split("|".join(map(re.escape, special_tokens)), text) if special_tokens else [text]
    for segment in segments:
        counts.update(re.findall(pattern, segment))
    return dict(counts)


@settings(max_examples=200, deadline=None)
@given(
    special_tokens=st.lists(st.text(alphabet="ab<>|", min_size=1, max_size=4), max_size=3),
    text=st.text(alphabet="ab1 2\n<>|.é", max_size=60),
)
def test_matches_a_reference_splitter(special_tokens, text):
    words = PreTokenizer(special_tokens, pat_str=SIMPLE_PATTERN).get_words(text)
    # Python's alternation is also leftmost, first-listed-wins, so the two must agree.
    assert words == reference_words(special_tokens, SIMPLE_PATTERN, text)


@pytest.mark.parametrize(
    "bigrams, mode, text, expected",
    [
        (None, "keep", "日本語", {"日本語": 1}),
        ([], "keep", "日本語", {"日": 1, "本": 1, "語": 1}),
        (["日本"], "keep", "日本語", {"日本": 1, "語": 1}),
        (["日本", "本語"], "keep", "日本語", {"日本語": 1}),
        ([], "keep", "abc日本", {"abc日": 1, "本": 1}),
        ([], "split", "abc日本", {"abc": 1, "日": 1, "本": 1}),
        ([], "keep", "x 日本", {"x": 1, " 日": 1, "本": 1}),
        (["日本"], "keep", "日本日本", {"日本": 2}),
        ([], "keep", "ภาษาไทย", {ch: 1 for ch in "ภาษไทย"} | {"า": 2}),
    ],
)
def test_unicode_bigram_cuts(bigrams, mode, text, expected):
    pre_tokenizer = PreTokenizer([], unicode_bigrams=bigrams, unicode_bigram_mixed_boundary=mode)
    assert pre_tokenizer.get_words(text) == expected


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"pat_str": "(unclosed"}, "Regex error: missing closing parenthesis at offset 9"),
        ({"unicode_bigram_mixed_boundary": "Keep"}, "Specification error: Unknown unicode bigram mixed boundary mode: Keep"),
        ({"unicode_bigrams": ["日"]}, 'Specification error: Unicode bigram must contain exactly two chars: "日"'),
        ({"unicode_bigrams": ["日本", "abc"]}, 'Specification error: Unicode bigram must contain exactly two chars: "abc"'),
        ({"unicode_bigrams": ['a"\\']}, 'Specification error: Unicode bigram must contain exactly two chars: "a\\"\\\\"'),
        ({"unicode_bigrams": ["\n\t\x01"]}, 'Specification error: Unicode bigram must contain exactly two chars: "\\n\\t\\u{1}"'),
        # The mode is checked before the bigram entries.
        ({"unicode_bigrams": ["abc"], "unicode_bigram_mixed_boundary": "both"},
         "Specification error: Unknown unicode bigram mixed boundary mode: both"),
        # The pattern is checked first of all.
        ({"pat_str": "[", "unicode_bigram_mixed_boundary": "both"}, "Regex error: missing terminating ] for character class at offset 1"),
    ],
)
def test_construction_failures_raise_value_error(kwargs, message):
    with pytest.raises(ValueError) as caught:
        PreTokenizer([], **kwargs)
    assert str(caught.value) == message


def test_catastrophic_backtracking_is_stopped_with_a_regex_error():
    pre_tokenizer = PreTokenizer([], pat_str=r"(a+)+$")
    started = time.monotonic()
    with pytest.raises(RuntimeError, match="^Regex error: match limit exceeded$"):
        pre_tokenizer.get_words("a" * 100_000 + "b")
    assert time.monotonic() - started < 10


def test_empty_special_token_matches_between_every_character():
    # An empty token matches everywhere, so every character becomes its own segment.
    pre_tokenizer = PreTokenizer(["<|endoftext|>", ""])
    assert pre_tokenizer.get_words("ab cd") == {"a": 1, "b": 1, " ": 1, "c": 1, "d": 1}


def test_large_text_matches_the_sum_of_its_parts():
    rng = random.Random(7)
    vocabulary = ["alpha", "beta", "γάμμα", "日本語", "42", "!!", "\n"]
    parts = [" ".join(rng.choice(vocabulary) for _ in range(2000)) + EOT for _ in range(50)]
    pre_tokenizer = PreTokenizer([EOT])
    total = Counter()
    for part in parts:
        total.update(pre_tokenizer.get_words(part))
    assert pre_tokenizer.get_words("".join(parts)) == dict(sorted(total.items(), key=lambda kv: kv[0].encode()))


def test_hundred_megabyte_text():
    text = "word " * 20_000_000
    assert PreTokenizer([]).get_words(text) == {"word": 1, " word": 19_999_999, " ": 1}


DEFAULT_PATTERN = r"""'(?:[sdmt]|ll|ve|re)| ?\p{L}+| ?\p{N}+| ?[^\s\p{L}\p{N}]+|\s+(?!\S)|\s+"""
# The same pattern in other words, so that the regular-expression engine runs it.
ENGINE_PATTERN = "(?:" + DEFAULT_PATTERN + ")"
TRICKY = "aA1 '\"sdmtlvre\t\n\r\x0b\x0c\x85\xa0\u1680\u2000\u2028\u3000é日本語ß٣²½Ⅻ๓\U0001F600\u0301\u200b_-.,!?"


@settings(max_examples=500, deadline=None)
@given(text=st.text(alphabet=TRICKY, max_size=40) | st.text(max_size=30))
def test_default_pattern_scanner_agrees_with_the_engine(text):
    assert PreTokenizer([]).get_words(text) == PreTokenizer([], pat_str=ENGINE_PATTERN).get_words(text)
