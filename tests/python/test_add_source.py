"""Streaming Python iterables into a WordCounter in bounded batches."""

import pytest

from vellumkit import PreTokenizer

TEXTS = [f"line {i}: the quick brown fox {i % 7}" for i in range(500)]
PREFETCH = pytest.mark.parametrize("prefetch", [0, 1])


def batch_words(texts):
    counter = PreTokenizer([]).word_counter()
    counter.add_batch(list(texts))
    return counter.words()


@PREFETCH
@pytest.mark.parametrize(
    "limits",
    [{}, {"max_records": 1}, {"max_records": 7}, {"max_bytes": 1}, {"max_bytes": 100}, {"max_bytes": 2**64 - 1}],
)
def test_any_batching_gives_the_batch_result(prefetch, limits):
    counter = PreTokenizer([]).word_counter()
    counter.add_source(iter(TEXTS), prefetch=prefetch, **limits)
    assert counter.words() == batch_words(TEXTS)


@PREFETCH
def test_empty_source_changes_nothing(prefetch):
    counter = PreTokenizer([]).word_counter()
    counter.add_text("kept")
    counter.add_source([], prefetch=prefetch)
    assert counter.words() == {"kept": 1}


@PREFETCH
def test_batches_flushed_before_a_failing_source_stay_counted(prefetch):
    def source():
        yield "a"
        yield "b"
        raise KeyError("source broke")

    counter = PreTokenizer([]).word_counter()
    with pytest.raises(KeyError, match="source broke"):
        counter.add_source(source(), max_records=1, prefetch=prefetch)
    # "a" was flushed when "b" arrived; the batch holding "b" was dropped with the failure.
    assert counter.words() == {"a": 1}
    counter.add_text("still usable")
    assert counter.len == 3


@PREFETCH
def test_counting_failure_is_a_runtime_error_after_earlier_batches(prefetch):
    counter = PreTokenizer([], pat_str=r"(a+)+$").word_counter()
    texts = ["aa", "aaa", "a" * 10_000 + "b", "aaaa"]
    with pytest.raises(RuntimeError, match="^Regex error: match limit exceeded$"):
        counter.add_source(iter(texts), max_records=1, prefetch=prefetch)
    assert counter.words() == {"aa": 1, "aaa": 1}


@PREFETCH
@pytest.mark.parametrize(
    "source, exception, message",
    [
        (["ok", 5], TypeError, "'int' object cannot be converted to 'str'"),
        (b"bytes", TypeError, "'int' object cannot be converted to 'str'"),
        (42, TypeError, "'int' object is not iterable"),
    ],
)
def test_bad_sources_raise_the_interpreters_errors(prefetch, source, exception, message):
    counter = PreTokenizer([]).word_counter()
    with pytest.raises(exception) as caught:
        counter.add_source(source, prefetch=prefetch)
    assert str(caught.value) == message


def test_a_str_source_is_iterated_by_character():
    counter = PreTokenizer([]).word_counter()
    counter.add_source("aab")
    assert counter.words() == {"a": 2, "b": 1}


@pytest.mark.parametrize(
    "limits, message",
    [
        ({"max_records": 0, "max_bytes": 0, "prefetch": 5}, "Source batch error: max_records must be at least 1"),
        ({"max_bytes": 0, "prefetch": 5}, "Source batch error: max_bytes must be at least 1"),
        ({"prefetch": 2}, "prefetch must be 0 or 1"),
        ({"prefetch": -1}, "prefetch must be 0 or 1"),
    ],
)
def test_limits_are_checked_before_the_source_is_touched(limits, message):
    touched = []

    def source():
        touched.append(True)
        yield "x"

    with pytest.raises(ValueError) as caught:
        PreTokenizer([]).word_counter().add_source(source(), **limits)
    assert str(caught.value) == message
    assert touched == []


def test_limits_are_keyword_only_and_unsigned():
    counter = PreTokenizer([]).word_counter()
    with pytest.raises(TypeError, match=r"^WordCounter.add_source\(\) takes 1 positional arguments but 2 were given$"):
        counter.add_source([], 10)
    with pytest.raises(OverflowError):
        counter.add_source([], max_records=-1)


@PREFETCH
def test_the_source_cannot_use_the_counter_it_feeds(prefetch):
    counter = PreTokenizer([]).word_counter()

    def source():
        yield "a"
        yield str(counter.len)

    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        counter.add_source(source(), prefetch=prefetch)
