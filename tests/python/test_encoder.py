"""Encoders: construction, encoding against a naive reference, decoding, files and threads."""

import random
import threading

import numpy as np
import pytest

from reference_bpe import GPT2_CHARS, reference_encode_word
from vellumkit import BpeEncoderBase, BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx, PreTokenizer

EOT = "<|endoftext|>"
ALPHABET = "aabbcd é日本\n"


def random_text(rng, length):
    return "".join(rng.choice(ALPHABET) for _ in range(length))


@pytest.fixture(scope="module")
def byte_model():
    rng = random.Random(3)
    trainer = BpeTrainer_u8_Idx([EOT])
    trainer.add_words([(random_text(rng, rng.randint(1, 30)), rng.randint(1, 5)) for _ in range(300)])
    trainer.train_until(420)
    return trainer.validate_model()


def reference_tables(model):
    """Unit ids and ranked merges of a byte model, rebuilt from its vocabulary in Python."""
    items = model.get_vocab().items()
    by_token = {token: i for token, i in items}
    unit_ids = {token[0]: i for token, i in items if len(token) == 1}
    return by_token, unit_ids


def test_encode_word_matches_the_naive_reference(byte_model, tmp_path):
    byte_model.save_merges_txt(tmp_path / "m.txt", "gpt2")
    encoder = byte_model.encoder()
    by_token, unit_ids = reference_tables(byte_model)
    table = {chr(c): b for b, c in zip(range(256), GPT2_CHARS)}
    merges = {}
    for rank, line in enumerate((tmp_path / "m.txt").read_text(encoding="utf-8").splitlines()):
        left, right = (bytes(table[ch] for ch in piece) for piece in line.split(" => ")[0].split(" "))
        merges.setdefault((by_token[left], by_token[right]), (rank, by_token[left + right]))
    rng = random.Random(4)
    # Long words (hundreds of symbols) take the queue-based path, short ones the rescanning one.
    for length in [0, 1, 2, 5, 23, 24, 25, 60, 63, 64, 65, 400]:
        for _ in range(15):
            word = random_text(rng, length)
            assert encoder.encode_word(word) == reference_encode_word(word.encode(), unit_ids, merges), word
        # Runs of one or two repeated units, where occurrences of a pair overlap.
        for word in ["a" * length, "ab" * (length // 2), " " * length, "aab" * (length // 3)]:
            assert encoder.encode_word(word) == reference_encode_word(word.encode(), unit_ids, merges), word


def test_golden_rank_order():
    encoder = BpeEncoderBase("vellum", "byte", {"a": 0, "b": 1, "c": 2, "bc": 3, "ab": 4}, [("b", "c"), ("a", "b")],
                             None, None, None)
    assert encoder.encode_word("abcab") == [0, 3, 4]
    assert encoder.encode_word("") == []


ABC_VOCAB = {"a": 0, "b": 1, "c": 2, "ab": 3, "bc": 4, "abc": 5, " ": 6}
ABC_MERGES_STOP_SHORT = [("b", "c"), ("a", "b"), ("ab", "c")]


@pytest.mark.parametrize("unit", ["byte", "unicode"])
@pytest.mark.parametrize(
    ("vocab", "merges", "text", "expected"),
    [
        # "abc" is a token, but the merges of its own text stop at [a, bc].
        (ABC_VOCAB, ABC_MERGES_STOP_SHORT, "abc", [0, 4]),
        (ABC_VOCAB, [("a", "b"), ("b", "c"), ("ab", "c")], "abc", [5]),
        # A token that no merge produces is never taken whole.
        ({"a": 0, "b": 1, "ab": 2}, [], "ab", [0, 1]),
        # Pieces "abc", " ab", " abc", "ab": whole tokens and merged pieces side by side.
        (ABC_VOCAB, ABC_MERGES_STOP_SHORT, "abc ab abc\nab", [0, 4, 6, 3, 6, 0, 4, None, 3]),
    ],
)
def test_whole_token_text_encodes_as_its_merges_give(unit, vocab, merges, text, expected):
    vocab = {**vocab, "\n": len(vocab)}
    expected = [vocab["\n"] if token is None else token for token in expected]
    encoder = BpeEncoderBase("vellum", unit, vocab, merges, None, None, None)
    assert encoder.encode(text) == expected
    assert encoder.encode_to_numpy(text).tolist() == expected
    assert encoder.encode(text) == expected  # again, with the word cache warm


@pytest.mark.parametrize("ordered", [True, False])
def test_batch_encoding_equals_word_by_word(byte_model, ordered):
    encoder = byte_model.encoder()
    rng = random.Random(5)
    words = [random_text(rng, rng.randint(0, 40)) for _ in range(400)] * 2
    if not ordered:
        # A merge list whose later merge feeds an earlier one is not "ordered": words merge one by one.
        encoder = BpeEncoderBase("vellum", "byte", {"a": 0, "b": 1, "ab": 2, "aab": 3}, [("a", "ab"), ("a", "b")],
                                 None, None, None)
        words = ["aab", "ab", "b", "aaab"] * 3
    fresh = byte_model.encoder() if ordered else encoder
    batch = encoder.encode_words(words)
    assert batch == [fresh.encode_word(word) for word in words]
    first, _, third = encoder.encode_words(["b", "a", "b"])
    assert first == third


def test_encode_splits_special_tokens_and_round_trips(byte_model):
    encoder = byte_model.encoder()
    rng = random.Random(6)
    text = EOT.join(random_text(rng, 200) for _ in range(20))
    ids = encoder.encode(text)
    assert ids.count(0) == 19
    assert encoder.decode(ids) == text
    assert encoder.encode_to_numpy(text).tolist() == ids
    assert encoder.decode(np.array(ids, dtype=np.uint32)) == text
    assert encoder.decode(np.array(ids, dtype=np.uint32)[::-1][::-1]) == text
    pieces = PreTokenizer([EOT]).get_words(text)
    assert sum(pieces.values()) + 19 <= len(ids)


@pytest.mark.parametrize(
    "idxs, expected",
    # Ids of bytes are one above the byte: the special token holds id 0.
    [([], ""), (np.array([], dtype=np.uint32), ""), ([0xC4], "\ufffd"), ((0xE8, 0xA3), "\ufffd"), ((0x100, 0xFF), "\ufffd\ufffd")],
)
def test_decode_replaces_ill_formed_utf8(byte_model, idxs, expected):
    assert byte_model.encoder().decode(idxs) == expected


@pytest.mark.parametrize("idxs", ["abc", np.zeros((2, 2), dtype=np.uint32), 3.5, [1, "a"], [-1]])
def test_decode_refuses_other_types(byte_model, idxs):
    with pytest.raises(TypeError, match=r"^idxs must be a sequence\[int\] or a numpy\.ndarray\[uint32\]$"):
        byte_model.encoder().decode(idxs)


def test_decode_of_an_unknown_id_fails(byte_model):
    with pytest.raises(RuntimeError, match="^Out of vocabulary idx: 4000$"):
        byte_model.encoder().decode([1, 4000])


def test_character_encoder_falls_back_to_bytes():
    trainer = BpeTrainer_Character_CharIdx([])
    trainer.add_words([("日本", 5), ("本日", 2)])
    trainer.train_until(260)
    encoder = trainer.validate_model().encoder()
    assert encoder.decode(encoder.encode("日本 é")) == "日本 é"  # é has no token: its raw bytes stand in
    assert encoder.encode_word("é") == [0xC3, 0xA9]


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"format": "gpt2", "unit": "unicode"}, "Specification error: format gpt2 is not compatible with unit unicode"),
        ({"format": "vellum", "unit": "bytes"}, "Specification error: format vellum is not compatible with unit bytes"),
        ({"vocab": None, "merges": None}, "Bpe builder: Either vocab_file or vocab must be provided"),
        ({"merges": None}, "Bpe builder: Either merges_file or merges must be provided"),
        ({"merges": [("a", "z")]}, "Out of vocabulary: z"),
        ({"merges": [("a", "a")]}, "Out of vocabulary: aa"),
        ({"special_tokens": ["<s>"]}, "Out of vocabulary: <s>"),
        ({"pat_str": "("}, "Regex error: missing closing parenthesis at offset 1"),
        ({"unicode_bigrams": ["abc"], "unicode_bigram_mixed_boundary": "auto"},
         'Specification error: Unicode bigram must contain exactly two chars: "abc"'),
        ({"unicode_bigram_mixed_boundary": "auto"}, "Specification error: Unknown unicode bigram mixed boundary mode: auto"),
    ],
)
def test_construction_failures(kwargs, message):
    arguments = {"format": "vellum", "unit": "byte", "vocab": {"a": 0, "b": 1, "ab": 2}, "merges": [("a", "b")],
                 "vocab_file": None, "merges_file": None, "special_tokens": None} | kwargs
    with pytest.raises(RuntimeError) as caught:
        BpeEncoderBase(**arguments)
    assert str(caught.value) == message


@pytest.mark.parametrize(
    "vocab_text, merges_text, message",
    [
        ('{"a{x80}": 0}', "",
         "Invalid BPE model: Unicode vocabulary token a\\x80 must be canonical Unicode content or a homogeneous invalid UTF-8 byte fragment"),
        ('{"a": 0, "{xc3}": 1}', "a {xc3}\n", "Out of vocabulary: a{xc3}"),
        ('{"a": 0, "b": 1, "ab": 2}', "a b\n", None),
    ],
)
def test_unicode_vocabulary_files_are_validated(tmp_path, vocab_text, merges_text, message):
    (tmp_path / "v.json").write_text(vocab_text, encoding="utf-8")
    (tmp_path / "m.txt").write_text(merges_text, encoding="utf-8")
    build = lambda: BpeEncoderBase("vellum", "unicode", None, None, tmp_path / "v.json", tmp_path / "m.txt", None)
    if message is None:
        assert build().encode_word("abab") == [2, 2]
    else:
        with pytest.raises(RuntimeError) as caught:
            build()
        assert str(caught.value) == message


def test_files_of_both_formats_build_the_same_encoder(byte_model, tmp_path):
    expected = byte_model.encoder()
    rng = random.Random(8)
    text = random_text(rng, 3000)
    for fmt in ("gpt2", "vellum"):
        byte_model.save_vocab(tmp_path / f"{fmt}.json", fmt)
        byte_model.save_merges_txt(tmp_path / f"{fmt}.txt", fmt)
        # A vocab dictionary next to the file is ignored: the file wins.
        encoder = BpeEncoderBase(fmt, "byte", {"x": 0}, None, tmp_path / f"{fmt}.json", tmp_path / f"{fmt}.txt", [EOT])
        assert encoder.encode(text) == expected.encode(text)


def test_vocabulary_pair_cut_only_with_concatenating_merges():
    vocab = {chr(c): c - 97 for c in range(97, 123)} | {"ab": 26}
    with_cut = BpeEncoderBase("vellum", "byte", vocab, [("a", "b")], None, None, None)
    without = BpeEncoderBase("vellum", "byte", vocab, [("a", "b")], None, None, None, split_on_vocab_bigrams=False)
    word = "abcdefghijklmnopqrstuvwxyzabcdefghij"  # 36 letters: long enough to be cut
    assert without.pre_tokenizer().get_words(word) == {word: 1}
    assert len(with_cut.pre_tokenizer().get_words(word)) > 1
    assert with_cut.encode(word) == without.encode(word)


def test_encode_file_equals_encode_of_the_text(byte_model, tmp_path):
    encoder = byte_model.encoder()
    rng = random.Random(9)
    text = EOT.join(random_text(rng, 500) for _ in range(40))
    path = tmp_path / "corpus.txt"
    path.write_text(text, encoding="utf-8")
    for chunks in (0, 1, 4, 13):
        assert encoder.encode_file(path, chunks).tolist() == encoder.encode(text)
    # Lines that neither start nor end with spaces pre-tokenize alike whole or cut after line ends.
    lines = "".join(" ".join(random_text(rng, 6).replace(" ", "").replace("\n", "") or "x" for _ in range(12)) + "\n"
                    for _ in range(200))
    path.write_text(lines, encoding="utf-8")
    assert encoder.encode_file(path, 7).tolist() == encoder.encode(lines)
    # More chunks than bytes: no allocation per requested chunk, same ids.
    assert encoder.encode_file(path, 2**63).tolist() == encoder.encode_file(path, len(lines) + 1).tolist()
    (tmp_path / "empty.txt").write_bytes(b"")
    assert encoder.encode_file(tmp_path / "empty.txt", 3).tolist() == []
    (tmp_path / "bad.txt").write_bytes(b"a\xffb")
    assert encoder.encode_file(tmp_path / "bad.txt", 1).tolist() == encoder.encode("a\ufffdb")
    with pytest.raises(RuntimeError, match="^IO error: No such file or directory"):
        encoder.encode_file(tmp_path / "missing.txt", 2)


def test_many_threads_encode_like_one(byte_model):
    rng = random.Random(10)
    texts = [random_text(rng, 2000) for _ in range(16)]
    expected = [byte_model.encoder().encode(text) for text in texts]
    encoder = byte_model.encoder()
    results = [None] * len(texts)

    def work(index):
        for _ in range(3):
            results[index] = encoder.encode(texts[index])

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(texts))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == expected


def test_a_megabyte_word_is_encoded_without_blow_up():
    encoder = BpeEncoderBase("vellum", "byte", {"a": 0, "aa": 1, "aaaa": 2}, [("a", "a"), ("aa", "aa")], None, None, None)
    ids = encoder.encode_word("a" * 1_000_001)
    assert len(ids) == 250_001 and ids[-1] == 0 and set(ids[:-1]) == {2}
