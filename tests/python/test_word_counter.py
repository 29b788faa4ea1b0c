"""WordCounter: counting texts and batches, merging, overflow, and access control."""

import json
import random
import subprocess
import sys
import threading

import pytest

from vellumkit import PreTokenizer, WordCounter

I64_MAX = 2**63 - 1


def counter_with(tmp_path, counts, pre_tokenizer=None):
    """A counter holding exactly `counts`, loaded from a counter file."""
    path = tmp_path / "counts.json"
    path.write_text(json.dumps(counts), encoding="utf-8")
    return (pre_tokenizer or PreTokenizer([])).load_word_counter(path)


def test_new_counter_is_empty():
    counter = WordCounter(PreTokenizer([]))
    assert counter.len == 0
    assert counter.words() == {}


def test_add_text_and_add_batch():
    counter = PreTokenizer([]).word_counter()
    counter.add_text("a a b")
    assert counter.words() == {"a": 1, " a": 1, " b": 1}
    counter.add_batch([])
    assert counter.len == 3
    counter.add_batch(["x", "x"])
    assert counter.words() == {"a": 1, " a": 1, " b": 1, "x": 2}


def test_counter_uses_its_own_copy_of_the_pre_tokenizer():
    counter = WordCounter(PreTokenizer(["<s>"], pat_str=r"\w+"))
    counter.add_text("ab<s>cd ab")
    assert counter.words() == {"ab": 2, "cd": 1}


def random_texts(seed, count):
    rng = random.Random(seed)
    vocabulary = ["the", "cat", "sat", "on", "mat", "日本", "語", "42", "!", "\n", "  "]
    return [" ".join(rng.choice(vocabulary) for _ in range(rng.randint(0, 40))) for _ in range(count)]


def test_batch_equals_texts_added_one_by_one():
    texts = random_texts(1, 3000)
    batch = PreTokenizer([]).word_counter()
    batch.add_batch(texts)
    one_by_one = PreTokenizer([]).word_counter()
    for text in texts:
        one_by_one.add_text(text)
    assert batch.words() == one_by_one.words()
    assert list(batch.words()) == sorted(batch.words(), key=str.encode)


def test_batch_result_does_not_depend_on_the_number_of_threads():
    script = (
        "import json, sys; from vellumkit import PreTokenizer; "
        "c = PreTokenizer([]).word_counter(); c.add_batch(json.load(sys.stdin)); "
        "print(json.dumps(c.words()))"
    )
    texts = json.dumps(random_texts(2, 5000))
    runs = [
        subprocess.run(prefix + [sys.executable, "-P", "-c", script], input=texts, capture_output=True, text=True, check=True).stdout
        for prefix in ([], ["taskset", "-c", "0"])
    ]
    assert runs[0] == runs[1]


def test_merge_adds_counts_and_leaves_the_other_unchanged():
    pre_tokenizer = PreTokenizer([], pat_str=r"\w+")
    counter = pre_tokenizer.word_counter()
    counter.add_text("a b")
    other = pre_tokenizer.word_counter()
    other.add_text("a a")
    counter.merge(other)
    assert counter.words() == {"a": 3, "b": 1}
    assert other.words() == {"a": 2}


def test_merging_a_counter_into_itself_is_refused():
    counter = PreTokenizer([]).word_counter()
    counter.add_text("a")
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        counter.merge(counter)
    assert counter.words() == {"a": 1}


def test_clear_keeps_the_counter_usable():
    counter = PreTokenizer([]).word_counter()
    counter.add_text("a b c")
    counter.clear()
    assert counter.len == 0
    counter.add_text("d")
    assert counter.words() == {"d": 1}


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: WordCounter("not a pre-tokenizer"), "argument 'pre_tokenizer': 'str' object is not an instance of 'PreTokenizer'"),
        (lambda: PreTokenizer([]).word_counter().merge(PreTokenizer([])),
         "argument 'other': 'PreTokenizer' object is not an instance of 'WordCounter'"),
        (lambda: PreTokenizer([]).word_counter().add_batch("abc"),
         "argument 'texts': a str is not accepted where a sequence of str is expected"),
        (lambda: PreTokenizer([]).word_counter().words(1), "WordCounter.words() takes 0 positional arguments but 1 was given"),
    ],
)
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def test_frequency_overflow_is_refused_and_earlier_entries_stay(tmp_path):
    pre_tokenizer = PreTokenizer([], pat_str=r"\w+")
    counter = counter_with(tmp_path, {"big": I64_MAX}, pre_tokenizer)
    with pytest.raises(RuntimeError, match="^Frequency overflow$"):
        counter.add_text("big")
    assert counter.words() == {"big": I64_MAX}
    # The batch is counted first; adding it stops at the overflowing word, which keeps its count.
    with pytest.raises(RuntimeError, match="^Frequency overflow$"):
        counter.add_batch(["small", "big"])
    assert counter.words()["big"] == I64_MAX

    # A merge stops at the overflowing entry: what was added before it stays.
    other = counter_with(tmp_path, {"big": 1}, pre_tokenizer)
    other.add_text("small")
    with pytest.raises(RuntimeError, match="^Frequency overflow$"):
        counter.merge(other)
    assert counter.words()["big"] == I64_MAX


def test_failed_counting_adds_nothing():
    counter = PreTokenizer([], pat_str=r"(a+)+$").word_counter()
    with pytest.raises(RuntimeError, match="^Regex error: match limit exceeded$"):
        counter.add_batch(["aa", "a" * 10_000 + "b"])
    assert counter.words() == {}


def test_shared_calls_fail_at_once_while_an_exclusive_call_runs():
    counter = PreTokenizer([]).word_counter()
    texts = ["lorem ipsum dolor sit amet " * 40] * 40_000
    refusals = []
    worker = threading.Thread(target=counter.add_batch, args=(texts,))
    worker.start()
    while worker.is_alive():
        try:
            counter.len
        except RuntimeError as error:
            refusals.append(str(error))
            break
    worker.join()
    assert refusals == ["Already mutably borrowed"]
    assert counter.words()[" ipsum"] == 40 * 40_000
