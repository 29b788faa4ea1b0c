"""Unicode bigram statistics: counting, selection, file shortcuts and streaming."""

import random

import pytest

from vellumkit import BigramCounter, BpeTrainer_Character_CharIdx, PreTokenizer, UnicodeBigramSelection

BIGRAM_RANGES = [
    (0x0E00, 0x0EFF), (0x1000, 0x109F), (0x1100, 0x11FF), (0x1780, 0x17FF), (0x3040, 0x309F),
    (0x30A0, 0x30FF), (0x3130, 0x318F), (0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xA960, 0xA97F),
    (0xA9E0, 0xA9FF), (0xAA60, 0xAA7F), (0xAC00, 0xD7AF), (0xD7B0, 0xD7FF), (0xF900, 0xFAFF),
    (0x20000, 0x2A6DF), (0x2A700, 0x2B73F), (0x2B740, 0x2B81F), (0x2B820, 0x2CEAF), (0x2CEB0, 0x2EBEF),
    (0x30000, 0x3134F),
]


def is_bigram_char(c):
    return any(lo <= ord(c) <= hi for lo, hi in BIGRAM_RANGES)


def naive_counts(texts, special_tokens=()):
    counts = {}
    for text in texts:
        segments = [text]
        for token in special_tokens:
            segments = [piece for segment in segments for piece in segment.split(token)]
        for segment in segments:
            for a, b in zip(segment, segment[1:]):
                if is_bigram_char(a) and is_bigram_char(b):
                    counts[a + b] = counts.get(a + b, 0) + 1
    return counts


def naive_select(counts, top_k, min_freq):
    """(bigrams, cutoff_freq, max_excluded_freq) by the selection rule, written out plainly."""
    if top_k == 0:
        return [], None, max(counts.values(), default=None)
    excluded = [c for c in counts.values() if c < min_freq]
    candidates = sorted(((b, c) for b, c in counts.items() if c >= min_freq), key=lambda e: (-e[1], e[0]))
    if not candidates:
        return [], None, max(excluded, default=None)
    cutoff = candidates[min(top_k, len(candidates)) - 1][1]
    chosen = [b for b, c in candidates if c >= cutoff]
    rest = [c for b, c in candidates if c < cutoff]
    max_excluded = rest[0] if rest else max(excluded, default=None)
    return sorted(chosen), cutoff, max_excluded


def random_corpus(seed, count=300):
    rng = random.Random(seed)
    alphabet = "日本語中文字の学校한국어ภาษาไทย" + "𠀀𠀁" + "abc xyz,." + "é"
    texts = []
    for _ in range(count):
        text = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 40)))
        if rng.random() < 0.3:
            text = text[: len(text) // 2] + "<s>" + text[len(text) // 2 :]
        texts.append(text)
    return texts


def counter_of(counts, special_tokens=()):
    """A counter holding exactly `counts` (bigram text to count)."""
    counter = PreTokenizer(list(special_tokens)).bigram_counter()
    counter.add_batch([bigram for bigram, count in counts.items() for _ in range(count)])
    return counter


@pytest.mark.parametrize(
    "special_tokens, text, expected",
    [
        ([], "日本語", [("日本", 1), ("本語", 1)]),
        ([], "日本 語", [("日本", 1)]),
        ([], "ab", []),
        ([], "日a", []),
        ([], "", []),
        (["<s>"], "日<s>本", []),
        (["<s>"], "日本<s>日本", [("日本", 2)]),
        ([], "ไทย", [("ทย", 1), ("ไท", 1)]),
        ([], "𠀀𠀁x", [("𠀀𠀁", 1)]),
    ],
)
def test_add_text_counts_adjacent_bigram_characters_within_segments(special_tokens, text, expected):
    counter = PreTokenizer(special_tokens).bigram_counter()
    counter.add_text(text)
    assert counter.items() == expected


@pytest.mark.parametrize("seed", range(3))
def test_every_way_of_counting_agrees_with_the_naive_count(seed, tmp_path):
    texts = random_corpus(seed)
    expected = sorted(naive_counts(texts, ["<s>"]).items(), key=lambda e: e[0].encode())
    pre_tokenizer = PreTokenizer(["<s>"])

    one_by_one = BigramCounter(pre_tokenizer)
    for text in texts:
        one_by_one.add_text(text)
    batch = pre_tokenizer.bigram_counter()
    batch.add_batch(texts)
    merged = pre_tokenizer.bigram_counter()
    for half in (texts[:100], texts[100:]):
        part = pre_tokenizer.bigram_counter()
        part.add_batch(half)
        merged.merge(part)
    assert one_by_one.items() == batch.items() == merged.items() == expected

    for prefetch in (0, 1):
        for limits in ({}, {"max_records": 1}, {"max_bytes": 50}):
            streamed = pre_tokenizer.bigram_counter()
            streamed.add_source(iter(texts), prefetch=prefetch, **limits)
            assert streamed.items() == expected, (prefetch, limits)


@pytest.mark.parametrize("chunk_size, boundary", [(1048576, "auto"), (64, "eot"), (64, "line"), (1048576, "utf8")])
def test_file_selection_equals_the_in_memory_selection(tmp_path, chunk_size, boundary):
    texts = random_corpus(7, count=400)
    path = tmp_path / "corpus.txt"
    # Documents separated by the end-of-text marker on lines of their own, so every boundary mode
    # cuts only where no bigram spans the cut.
    path.write_text("\n<|endoftext|>\n".join(texts) + "\n", encoding="utf-8")
    pre_tokenizer = PreTokenizer(["<|endoftext|>"], eot_token="<|endoftext|>")
    counter = pre_tokenizer.bigram_counter()
    counter.add_text(path.read_text(encoding="utf-8"))
    for top_k, min_freq in [(5, 1), (100000, 16), (0, 1), (3, -1), (1, 10**6)]:
        expected = counter.select(top_k, min_freq)
        options = dict(chunk_size=chunk_size, boundary=boundary, top_k=top_k, min_freq=min_freq)
        selection = pre_tokenizer.select_unicode_bigrams_from_file(path, **options)
        assert isinstance(selection, UnicodeBigramSelection)
        assert (selection.bigrams, selection.cutoff_freq, selection.max_excluded_freq) == (
            expected.bigrams, expected.cutoff_freq, expected.max_excluded_freq)
        assert pre_tokenizer.build_unicode_bigrams_from_file(path, **options) == expected.bigrams


def test_file_reading_decodes_invalid_utf8_leniently(tmp_path):
    path = tmp_path / "broken.txt"
    path.write_bytes("日本".encode() + b"\xff" + "語学".encode())
    selection = PreTokenizer([]).select_unicode_bigrams_from_file(path, top_k=10, min_freq=1)
    assert selection.bigrams == ["日本", "語学"]


EXAMPLE = {"日本": 5, "本語": 5, "中文": 3, "文字": 1}


@pytest.mark.parametrize(
    "counts, top_k, min_freq, expected",
    [
        (EXAMPLE, 1, 2, (["日本", "本語"], 5, 3)),
        (EXAMPLE, 10, 4, (["日本", "本語"], 5, 3)),
        (EXAMPLE, 10, 6, ([], None, 5)),
        (EXAMPLE, 0, 1, ([], None, 5)),
        ({}, 0, 1, ([], None, None)),
        ({}, 5, 1, ([], None, None)),
        (EXAMPLE, 3, -5, (["中文", "日本", "本語"], 3, 1)),
        (EXAMPLE, 10, -5, (["中文", "文字", "日本", "本語"], 1, None)),
        ({"日本": 2, "本語": 2, "中文": 2}, 2, 1, (["中文", "日本", "本語"], 2, None)),
    ],
)
def test_selection_rule(counts, top_k, min_freq, expected):
    counter = counter_of(counts)
    selection = counter.select(top_k, min_freq)
    assert (selection.bigrams, selection.cutoff_freq, selection.max_excluded_freq) == expected
    assert counter.selected(top_k, min_freq) == expected[0]
    assert naive_select(counts, top_k, min_freq) == expected


@pytest.mark.parametrize("seed", range(5))
def test_selection_matches_the_plain_rule_on_random_counts(seed):
    rng = random.Random(seed)
    chars = "日本語中文字学校"
    counts = {a + b: rng.randint(1, 6) for a in chars for b in chars if rng.random() < 0.6}
    counter = counter_of(counts)
    for top_k, min_freq in [(1, 1), (4, 2), (10, 3), (100, 0), (0, 0), (7, 7)]:
        selection = counter.select(top_k, min_freq)
        got = (selection.bigrams, selection.cutoff_freq, selection.max_excluded_freq)
        assert got == naive_select(counts, top_k, min_freq), (top_k, min_freq)


def test_selection_properties_are_read_only_and_bigrams_a_new_list():
    selection = counter_of(EXAMPLE).select(1, 1)
    first = selection.bigrams
    first.append("x")
    assert selection.bigrams == ["日本", "本語"]
    with pytest.raises(AttributeError):
        selection.cutoff_freq = 1


def test_merging_a_counter_with_itself_is_refused():
    counter = counter_of({"日本": 1})
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        counter.merge(counter)
    assert counter.items() == [("日本", 1)]


@pytest.mark.parametrize("prefetch", [0, 1])
def test_batches_flushed_before_a_failing_source_stay_counted(prefetch):
    def source():
        yield "日本"
        yield "本語"
        raise KeyError("source broke")

    counter = PreTokenizer([]).bigram_counter()
    with pytest.raises(KeyError, match="source broke"):
        counter.add_source(source(), max_records=1, prefetch=prefetch)
    assert counter.items() == [("日本", 1)]


@pytest.mark.parametrize(
    "call, exception, message",
    [
        (lambda c, p, d: c.add_source([1]), TypeError, "'int' object cannot be converted to 'str'"),
        (lambda c, p, d: c.add_source([], max_records=0), ValueError,
         "^Source batch error: max_records must be at least 1$"),
        (lambda c, p, d: c.add_batch("日本"), TypeError, "a str is not accepted"),
        (lambda c, p, d: c.merge(p.word_counter()), TypeError, "is not an instance of 'BigramCounter'"),
        (lambda c, p, d: c.select(-1, 1), OverflowError, None),
        (lambda c, p, d: BigramCounter("x"), TypeError, "is not an instance of 'PreTokenizer'"),
        (lambda c, p, d: p.select_unicode_bigrams_from_file(d / "missing.txt"), OSError, "^IO error: "),
        (lambda c, p, d: p.build_unicode_bigrams_from_file(d / "missing.txt", boundary="Line", chunk_size=0),
         ValueError, "^Specification error: Unknown boundary mode: Line$"),
        (lambda c, p, d: p.build_unicode_bigrams_from_file(d / "missing.txt", chunk_size=0), ValueError,
         "^chunk_size must be at least 1$"),
        (lambda c, p, d: p.build_unicode_bigrams_from_file(d, top_k=1), OSError, "Is a directory"),
    ],
)
def test_bad_input_raises_before_or_instead_of_counting(tmp_path, call, exception, message):
    pre_tokenizer = PreTokenizer([])
    counter = pre_tokenizer.bigram_counter()
    with pytest.raises(exception, match=message):
        call(counter, pre_tokenizer, tmp_path)
    assert counter.items() == []


def test_selected_bigrams_drive_the_bigram_cut_through_training_and_encoding(tmp_path):
    path = tmp_path / "zh.txt"
    path.write_text("我们学习中文。\n<|endoftext|>\n" * 30 + "我们好。\n" * 10, encoding="utf-8")
    bigrams = PreTokenizer([]).build_unicode_bigrams_from_file(path, top_k=1, min_freq=2)
    assert bigrams == ["我们"]
    pre_tokenizer = PreTokenizer(["<|endoftext|>"], unicode_bigrams=bigrams)
    counter = pre_tokenizer.word_counter()
    counter.add_text(path.read_text(encoding="utf-8"))
    assert counter.words() == {"\n": 70, "。": 40, "中": 30, "习": 30, "好": 10, "学": 30, "我们": 40, "文": 30}
    trainer = BpeTrainer_Character_CharIdx(["<|endoftext|>"])
    trainer.add_word_counter(counter)
    trainer.train_until(300)
    encoder = trainer.validate_model().encoder(unicode_bigrams=bigrams)
    text = "我们喜欢中文<|endoftext|>学习"
    assert encoder.decode(encoder.encode(text)) == text
