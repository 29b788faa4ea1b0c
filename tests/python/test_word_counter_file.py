"""Saving word counters as JSON and loading them back, including damaged files."""

import json
import os

import pytest

from vellumkit import PreTokenizer

WORD_PATTERN = r"\S+"


@pytest.fixture
def pre_tokenizer():
    return PreTokenizer([], pat_str=WORD_PATTERN)


def saved_bytes(counter, tmp_path):
    path = tmp_path / "counter.json"
    counter.save(path)
    return path.read_bytes()


def test_empty_counter_saves_as_two_bytes_and_loads_back(pre_tokenizer, tmp_path):
    assert saved_bytes(pre_tokenizer.word_counter(), tmp_path) == b"{}"
    assert pre_tokenizer.load_word_counter(tmp_path / "counter.json").words() == {}


@pytest.mark.parametrize(
    "word, written",
    [
        ('say"hi"', b'"say\\"hi\\""'),
        ("back\\slash", b'"back\\\\slash"'),
        ("\b\t\n\f\r", b'"\\b\\t\\n\\f\\r"'),
        ("\x01\x1f", b'"\\u0001\\u001f"'),
        ("é/\x7f日", '"é/\x7f日"'.encode()),
    ],
)
def test_words_are_written_with_minimal_escapes(tmp_path, word, written):
    counter = PreTokenizer([], pat_str=r"(?s).+").word_counter()
    counter.add_text(word)
    assert saved_bytes(counter, tmp_path) == b"{" + written + b":1}"
    assert json.loads(saved_bytes(counter, tmp_path)) == {word: 1}


def test_save_then_load_gives_equal_words(pre_tokenizer, tmp_path):
    counter = pre_tokenizer.word_counter()
    counter.add_batch([f"w{i % 97} x{i % 13} 日本{i % 5}" for i in range(5000)])
    content = saved_bytes(counter, tmp_path)
    assert b" " not in content and not content.endswith(b"\n")
    loaded = PreTokenizer(["<s>"]).load_word_counter(tmp_path / "counter.json")
    assert loaded.words() == counter.words()
    # The loaded counter splits new text with the pre-tokenizer it was loaded by.
    loaded.add_text("a<s>b")
    assert loaded.words()["a"] == 1


@pytest.mark.parametrize(
    "content, expected",
    [
        ('{ "a" : 1 ,\n\t"b":\r\n-2 }\n  ', {"a": 1, "b": -2}),
        ('{"a": 1, "a": 5}', {"a": 5}),
        ('{"a": 0}', {"a": 0}),
        ('{"\\u00e9\\n\\/": 3}', {"é\n/": 3}),
        ('{"x": 9223372036854775807, "y": -9223372036854775808}', {"x": 2**63 - 1, "y": -(2**63)}),
    ],
)
def test_load_accepts_any_json_object_of_integers(pre_tokenizer, tmp_path, content, expected):
    path = tmp_path / "counts.json"
    path.write_text(content, encoding="utf-8")
    assert pre_tokenizer.load_word_counter(path).words() == expected


@pytest.mark.parametrize(
    "content, message",
    [
        (b"", "Json error: EOF while parsing a value at line 1 column 1"),
        (b'{"a": 1', "Json error: EOF while parsing an object at line 1 column 8"),
        (b'{"a": 1.0}', "Json error: expected an integer, found a fraction or exponent at line 1 column 7"),
        (b'{"a": 1e3}', "Json error: expected an integer, found a fraction or exponent at line 1 column 7"),
        (b'{"a": 9223372036854775808}', "Json error: integer out of the signed 64-bit range at line 1 column 7"),
        (b'{"a": -9223372036854775809}', None),
        (b'{"a": "1"}', None),
        (b'{"a": null}', None),
        (b'{"a": 1}\n{"b": 2}', "Json error: trailing characters at line 2 column 1"),
        (b'{"a": 1} x', "Json error: trailing characters at line 1 column 10"),
        (b"[1, 2]", "Json error: expected a JSON object at line 1 column 1"),
        (b'{"\xff": 1}', None),
        (b'{"a": 1,}', None),
        (b'{"a" 1}', None),
    ],
)
def test_damaged_files_raise_json_errors(pre_tokenizer, tmp_path, content, message):
    path = tmp_path / "counts.json"
    path.write_bytes(content)
    with pytest.raises(OSError) as caught:
        pre_tokenizer.load_word_counter(path)
    text = str(caught.value)
    if message is None:
        assert text.startswith("Json error: ") and " at line " in text
    else:
        assert text == message


@pytest.mark.parametrize("target", ["missing.json", "."])
def test_unreadable_paths_raise_io_errors(pre_tokenizer, tmp_path, target):
    with pytest.raises(OSError, match="^IO error: "):
        pre_tokenizer.load_word_counter(tmp_path / target)


def test_save_to_an_unwritable_path_raises_an_io_error(pre_tokenizer, tmp_path):
    counter = pre_tokenizer.word_counter()
    with pytest.raises(OSError, match="^IO error: No such file or directory"):
        counter.save(tmp_path / "missing" / "counter.json")
    with pytest.raises(OSError, match="^IO error: Is a directory"):
        counter.save(tmp_path)


@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="needs /dev/full")
def test_write_failure_after_opening_is_a_json_error(pre_tokenizer):
    counter = pre_tokenizer.word_counter()
    counter.add_batch([f"word{i}" for i in range(5000)])
    with pytest.raises(OSError, match="^Json error: No space left on device"):
        counter.save("/dev/full")
