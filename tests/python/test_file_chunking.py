"""Cutting files into segments at safe boundaries, and counting their words."""

import pathlib

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from vellumkit import PreTokenizer

EOT = "<|endoftext|>"


@pytest.fixture
def write(tmp_path):
    def write_file(content, name="corpus.txt"):
        path = tmp_path / name
        path.write_bytes(content.encode("utf-8") if isinstance(content, str) else content)
        return path

    return write_file


@pytest.mark.parametrize(
    "content, chunk_size, boundary, expected",
    [
        ("0123456789", 4, "utf8", [(0, 4), (4, 4), (8, 2)]),
        ("0123456789", 10, "utf8", [(0, 10)]),
        ("0123456789", 1 << 40, "auto", [(0, 10)]),
        ("", 4, "auto", [(0, 0)]),
        ("aaa\nbbb\nccc\n", 5, "line", [(0, 8), (8, 4)]),
        # A boundary inside a two-byte character moves to the next character start.
        ("ééééé", 3, "utf8", [(0, 4), (4, 2), (6, 4)]),
        # Without the marker, eot keeps one segment while auto behaves as line.
        ("aaa\nbbb\nccc\n", 5, "eot", [(0, 12)]),
        ("aaa\nbbb\nccc\n", 5, "auto", [(0, 8), (8, 4)]),
        # A line without a newline in reach falls back to a character start.
        ("x" * 5000, 3000, "line", [(0, 3000), (3000, 2000)]),
    ],
)
def test_find_chunk_boundaries(write, content, chunk_size, boundary, expected):
    path = write(content)
    assert PreTokenizer([]).find_chunk_boundaries(path, chunk_size=chunk_size, boundary=boundary) == expected


def test_eot_boundaries_land_on_markers(write):
    documents = [f"document {i} " + "word " * (50 + 37 * i) for i in range(40)]
    path = write(EOT.join(documents))
    data = path.read_bytes()
    segments = PreTokenizer([EOT]).find_chunk_boundaries(path, chunk_size=1000, boundary="eot")
    assert len(segments) > 3
    assert segments[0][0] == 0 and sum(length for _, length in segments) == len(data)
    for offset, _ in segments[1:]:
        assert data[offset:].startswith(EOT.encode())


def test_auto_finds_a_marker_that_straddles_a_block_edge(write):
    # The only marker crosses the 4096-byte block edge; auto must still see it and align by
    # markers (the boundary then runs to the end), not by lines (which would keep it).
    path = write("a" * 4090 + EOT + "b" * 5000)
    pre_tokenizer = PreTokenizer([EOT])
    assert pre_tokenizer.find_chunk_boundaries(path, chunk_size=6000, boundary="line") == [(0, 6000), (6000, 3103)]
    assert pre_tokenizer.find_chunk_boundaries(path, chunk_size=6000, boundary="auto") == [(0, 9103)]


@pytest.mark.parametrize("chunk_size", [1, 7, 100, 4096, 1 << 20])
def test_file_words_do_not_depend_on_chunk_size(write, chunk_size):
    text = EOT.join(f"Doc {i}: the quick brown fox, 日本語 {i * i}\n\n  jumps" for i in range(300))
    path = write(text)
    pre_tokenizer = PreTokenizer([EOT])
    assert pre_tokenizer.get_words_from_file(path, chunk_size=chunk_size) == pre_tokenizer.get_words(text)


def test_segments_sum_to_the_file_words(write):
    text = "".join(f"line {i} has some words\n" for i in range(2000))
    path = write(text)
    pre_tokenizer = PreTokenizer([])
    total = {}
    for offset, length in pre_tokenizer.find_chunk_boundaries(path, chunk_size=3000, boundary="line"):
        for word, count in pre_tokenizer.get_words_from_segment(path, offset, length).items():
            total[word] = total.get(word, 0) + count
    assert total == pre_tokenizer.get_words_from_file(path, chunk_size=3000, boundary="line")
    assert total == pre_tokenizer.get_words(text)


def test_invalid_utf8_in_a_file_is_replaced(write):
    path = write(b"ab\xffcd \xe6\x97 ok \xf0\x9f\x98")
    pre_tokenizer = PreTokenizer([])
    expected = pre_tokenizer.get_words("ab\ufffdcd \ufffd ok \ufffd")
    assert pre_tokenizer.get_words_from_file(path) == expected
    assert pre_tokenizer.get_words_from_segment(path, 0, path.stat().st_size) == expected


def test_segment_of_length_zero_is_empty(write):
    path = write("abc")
    assert PreTokenizer([]).get_words_from_segment(path, 3, 0) == {}


@pytest.mark.parametrize(
    "call, exception, message",
    [
        (lambda p, d: p.get_words_from_file(d / "missing.txt"), OSError, "IO error: No such file or directory (os error 2)"),
        (lambda p, d: p.find_chunk_boundaries(d / "missing.txt"), OSError, "IO error: No such file or directory (os error 2)"),
        (lambda p, d: p.get_words_from_segment(d / "missing.txt", 0, 1), RuntimeError, "IO error: No such file or directory (os error 2)"),
        (lambda p, d: p.get_words_from_file(d), OSError, "IO error: Is a directory (os error 21)"),
        (lambda p, d: p.get_words_from_segment(d / "corpus.txt", 2, 5), RuntimeError, "IO error: failed to fill whole buffer"),
        (lambda p, d: p.get_words_from_segment(d / "corpus.txt", 10, 0), RuntimeError, "IO error: failed to fill whole buffer"),
        (lambda p, d: p.get_words_from_segment(d / "corpus.txt", 1, 2**64 - 1), RuntimeError, "IO error: failed to fill whole buffer"),
        # The boundary mode is checked before the chunk size, both before the file is touched.
        (lambda p, d: p.find_chunk_boundaries(d / "missing.txt", chunk_size=0, boundary="Line"), ValueError,
         "Specification error: Unknown boundary mode: Line"),
        (lambda p, d: p.get_words_from_file(d / "missing.txt", chunk_size=0), ValueError, "chunk_size must be at least 1"),
        (lambda p, d: p.find_chunk_boundaries(d / "corpus.txt", chunk_size=-1), OverflowError, None),
        (lambda p, d: p.get_words_from_segment(d / "corpus.txt", 0, 2**64), OverflowError, None),
        (lambda p, d: p.find_chunk_boundaries(d / "corpus.txt", 4096), TypeError,
         "PreTokenizer.find_chunk_boundaries() takes 1 positional arguments but 2 were given"),
        (lambda p, d: p.find_chunk_boundaries(bytes(d / "corpus.txt")), TypeError,
         "argument 'path': 'bytes' object cannot be converted to 'str'"),
        (lambda p, d: p.get_words_from_file(d / "corpus.txt", chunk_size=1.5), TypeError,
         "argument 'chunk_size': 'float' object cannot be interpreted as an integer"),
    ],
)
def test_file_method_failures(write, call, exception, message):
    path = write("abc")
    with pytest.raises(exception) as caught:
        call(PreTokenizer([]), path.parent)
    if message is not None:
        assert str(caught.value) == message


def test_path_like_objects_are_accepted(write):
    path = write("hello world")

    class PathLike:
        def __fspath__(self):
            return str(path)

    pre_tokenizer = PreTokenizer([])
    assert pre_tokenizer.get_words_from_file(PathLike()) == pre_tokenizer.get_words_from_file(str(path))
    assert pre_tokenizer.find_chunk_boundaries(pathlib.Path(path)) == [(0, 11)]


@settings(max_examples=300, deadline=None)
@given(data=st.binary(max_size=40) | st.lists(st.sampled_from([b"\xe6\x97\xa5", b"\xe6", b"\x97", b"\xf0\x9f\x98", b"\xed\xa0\x80", b"\xc0\xaf", b"a", b"\xff"]), max_size=12).map(b"".join))
def test_lenient_decoding_replaces_maximal_invalid_subparts(tmp_path_factory, data):
    path = tmp_path_factory.mktemp("bytes") / "data.bin"
    path.write_bytes(data)
    whole = PreTokenizer([], pat_str=r"(?s).+").get_words_from_segment(path, 0, len(data))
    assert whole == ({data.decode("utf-8", "replace"): 1} if data else {})
