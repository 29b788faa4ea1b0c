"""Byte-level fallback of the character trainer: the phases, the composed merges and their order,
the terminal states, and models that cover any text."""

import math

import pytest

from vellumkit import BpeEncoderBase, BpeTrainer_Character_CharIdx, PreTokenizer

FINALIZED = "Specification error: BBPE fallback training is finalized at vocabulary size {}; create a new trainer to continue training"
FAILED = "Specification error: trainer cannot continue after failed BBPE fallback training"
GROWN = "Specification error: BBPE fallback training must start before ordinary vocabulary growth"
RATIO = "primary_vocab_ratio must be finite and between 0 and 1"

TEXT = (
    "Le café du coin sert un thé très doux. Über den Dächern flog ein Vogel; naïve façade.\n"
    "日本語の文章と中文的句子。Ελληνικά λέξεις και русские слова.\n"
) * 3 + "the quick brown fox jumps over the lazy dog again and again\n" * 8


def trainer_on(words, special_tokens=(), **options):
    trainer = BpeTrainer_Character_CharIdx(list(special_tokens), **options)
    trainer.add_words(words)
    return trainer


def corpus_trainer(special_tokens=("<|endoftext|>",), **options):
    counter = PreTokenizer(list(special_tokens)).word_counter()
    counter.add_text(TEXT)
    trainer = BpeTrainer_Character_CharIdx(list(special_tokens), **options)
    trainer.add_word_counter(counter)
    return trainer


def merges_of(trainer, tmp_path):
    trainer.validate_model().save_merges_txt(tmp_path / "merges.txt", "vellum")
    return (tmp_path / "merges.txt").read_text(encoding="utf-8").splitlines()


def tokens(trainer):
    return [token for token, _ in trainer.get_vocab().items()]


def test_composed_merges_interleave_with_character_merges_by_frequency(tmp_path):
    # é (6) is left to the byte phase, which merges its two raw bytes; the character phase makes
    # ab (10) and cd (4). The composed é sits between them, character merges first at equal counts.
    trainer = trainer_on([("ab", 10), ("é", 6), ("cd", 4), ("xy", 6)])
    assert trainer.train_until_with_bbpe_fallback(260, primary_vocab_ratio=0.0) == 260
    assert tokens(trainer)[256:] == [b"ab", b"xy", b"cd", "é".encode()]
    assert merges_of(trainer, tmp_path) == ["a b => 10", "x y => 6", "{xc3} {xa9} => 6", "c d => 4"]
    assert trainer.last_merge_freq == 4


def test_byte_merges_below_the_last_character_winner_are_not_learned():
    # Half the growth goes to the first character phase, whose last winner (ab, 10) sets the
    # threshold: the byte merge of é (6) falls below it, so é stays uncovered.
    trainer = trainer_on([("ab", 10), ("é", 6), ("cd", 4)])
    assert trainer.train_until_with_bbpe_fallback(259, primary_vocab_ratio=0.5) == 258
    assert tokens(trainer)[256:] == [b"ab", b"cd"]


def test_pending_characters_take_no_part_in_the_resumed_phase():
    trainer = trainer_on([("éa", 100), ("ab", 1)])
    # The byte phase learns é; the resumed character phase may merge ab but never é with a.
    assert trainer.train_until_with_bbpe_fallback(262, primary_vocab_ratio=0.0) == 258
    assert tokens(trainer)[256:] == [b"ab", "é".encode()]


def test_ratio_zero_leaves_every_rare_character_to_byte_fragments():
    trainer = corpus_trainer()
    size = trainer.train_until_with_bbpe_fallback(380, primary_vocab_ratio=0.0)
    assert size == 380
    learned = tokens(trainer)[257:]
    # No learned token mixes ASCII with other characters: those were all excluded from the
    # character phases and learned as bytes only.
    assert all(all(b < 0x80 for b in t) or all(b >= 0x80 for b in t) for t in learned)
    assert "é".encode() in learned and any(b >= 0x80 for t in learned for b in t)
    trainer.validate_model()


def test_ratio_one_is_plain_training_and_leaves_the_trainer_usable(tmp_path):
    plain, fallback = corpus_trainer(), corpus_trainer()
    assert fallback.train_until_with_bbpe_fallback(400, primary_vocab_ratio=1.0) == plain.train_until(400)
    assert tokens(fallback) == tokens(plain)
    assert merges_of(fallback, tmp_path) == merges_of(plain, tmp_path)
    assert fallback.train_until(410) == plain.train_until(410) == 410


def test_ascii_corpus_trains_like_train_until_then_finalizes(tmp_path):
    words = [("hello", 5), ("world", 4), ("held", 2), ("low", 3)]
    plain, fallback = trainer_on(words), trainer_on(words)
    size = fallback.train_until_with_bbpe_fallback(266)
    assert size == plain.train_until(266)
    assert tokens(fallback) == tokens(plain)
    assert merges_of(fallback, tmp_path) == merges_of(plain, tmp_path)
    with pytest.raises(RuntimeError, match="^" + FINALIZED.format(size).replace("(", r"\(")):
        fallback.step()


def test_finalized_trainer_refuses_training_but_validates():
    trainer = corpus_trainer()
    size = trainer.train_until_with_bbpe_fallback(400)
    message = FINALIZED.format(size)
    for call in (trainer.step, lambda: trainer.train_until(500), lambda: trainer.train_until_with_bbpe_fallback(500)):
        with pytest.raises(RuntimeError) as caught:
            call()
        assert str(caught.value) == message
    trainer.init_training()  # does nothing once finalized
    assert trainer.vocab_size() == size
    assert trainer.validate_model().get_vocab().len == size


def test_composition_failure_leaves_the_trainer_failed():
    # The special token "a" shares its content with the byte token a: composition cannot build
    # its canonical map, and the trainer may no longer be trained or validated.
    trainer = trainer_on([("é", 5), ("bc", 3)], special_tokens=["a"])
    with pytest.raises(RuntimeError) as caught:
        trainer.train_until_with_bbpe_fallback(300, primary_vocab_ratio=0.0)
    assert str(caught.value) == "Invalid BPE model: duplicate canonical vocabulary token a before BBPE composition"
    for call in (trainer.step, lambda: trainer.train_until(400), lambda: trainer.train_until_with_bbpe_fallback(400)):
        with pytest.raises(RuntimeError) as caught:
            call()
        assert str(caught.value) == FAILED
    with pytest.raises(ValueError) as caught:
        trainer.validate_model()
    assert str(caught.value) == "Invalid BPE model: trainer state is incomplete after failed BBPE fallback training"


@pytest.mark.parametrize("cutoff, outcome", [(None, "No more step could be performed"), (1, 258)])
def test_a_short_primary_phase_fails_unless_a_cutoff_explains_it(cutoff, outcome):
    trainer = trainer_on([("ab", 1), ("é", 1)], bigram_cutoff_freq=cutoff)
    if isinstance(outcome, int):
        assert trainer.train_until_with_bbpe_fallback(300) == outcome
        return
    with pytest.raises(RuntimeError) as caught:
        trainer.train_until_with_bbpe_fallback(300)
    assert str(caught.value) == outcome
    with pytest.raises(RuntimeError, match="failed BBPE"):
        trainer.step()


@pytest.mark.parametrize("ratio", [-0.1, 1.5, math.nan, math.inf, -math.inf])
def test_bad_ratios_are_refused_before_anything_else(ratio):
    trainer = corpus_trainer()
    trainer.train_until_with_bbpe_fallback(300)
    with pytest.raises(ValueError) as caught:  # a ValueError even on a finalized trainer
        trainer.train_until_with_bbpe_fallback(400, primary_vocab_ratio=ratio)
    assert str(caught.value) == RATIO


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda t: t.train_until_with_bbpe_fallback(300, 0.5), TypeError,
         "BpeTrainer_Character_CharIdx.train_until_with_bbpe_fallback() takes 1 positional arguments but 2 were given"),
        (lambda t: t.train_until_with_bbpe_fallback(300, primary_vocab_ratio="0.5"), TypeError,
         "argument 'primary_vocab_ratio': must be real number, not str"),
        (lambda t: t.train_until_with_bbpe_fallback(300, primary_vocab_ratio=10**400), OverflowError,
         "int too large to convert to float"),
        (lambda t: t.train_until_with_bbpe_fallback(-1), OverflowError, "can't convert negative int to unsigned"),
    ],
)
def test_argument_conversion_fails_before_any_training(call, error, message):
    trainer = corpus_trainer()
    with pytest.raises(error) as caught:
        call(trainer)
    assert str(caught.value) == message
    assert trainer.train_until_with_bbpe_fallback(300) == 300  # nothing was started


def test_integer_ratios_are_accepted():
    trainer = corpus_trainer()
    assert trainer.train_until_with_bbpe_fallback(300, primary_vocab_ratio=1) == 300
    assert trainer.train_until(301) == 301


def test_a_target_within_the_initial_vocabulary_changes_nothing():
    trainer = corpus_trainer()
    assert trainer.train_until_with_bbpe_fallback(10) == 257
    assert trainer.train_until_with_bbpe_fallback(257, primary_vocab_ratio=0.0) == 257
    assert trainer.train_until(300) == 300  # still an ordinary trainer


def test_a_grown_trainer_refuses_the_fallback_and_stays_usable():
    trainer = corpus_trainer()
    trainer.train_until(300)
    with pytest.raises(RuntimeError) as caught:
        trainer.train_until_with_bbpe_fallback(400)
    assert str(caught.value) == GROWN
    assert trainer.train_until(310) == 310
    # A ratio of 1 is plain training, whatever the vocabulary holds.
    assert trainer.train_until_with_bbpe_fallback(320, primary_vocab_ratio=1.0) == 320


def test_the_method_belongs_to_the_character_trainer_only():
    from vellumkit import BpeTrainer_u8_Idx

    assert not hasattr(BpeTrainer_u8_Idx([]), "train_until_with_bbpe_fallback")


def is_utf8(data):
    try:
        data.decode("utf-8")
    except UnicodeDecodeError:
        return False
    return True


SAMPLES = [
    "Le café du coin sert un thé très doux.",
    "日本語の文章と中文的句子。",
    "Never seen: 𝔘𝔫𝔦𝔠𝔬𝔡𝔢 ✨ ǅ ŉ ﬁ 한국어 ไทย 🎉<|endoftext|>tail",
    "",
]


@pytest.mark.parametrize("ratio", [0.0, 0.5, 0.9])
@pytest.mark.parametrize("options", [{}, {"initial_alphabet": "byte_level"}, {"tie_break": "largest_content"}])
def test_model_saves_loads_back_and_round_trips_any_text(tmp_path, ratio, options):
    trainer = corpus_trainer(**options)
    trainer.train_until_with_bbpe_fallback(400, primary_vocab_ratio=ratio)
    model = trainer.validate_model()
    model.save_vocab(tmp_path / "vocab.json", "vellum")
    model.save_merges_txt(tmp_path / "merges.txt", "vellum")
    loaded = BpeEncoderBase(
        "vellum", "unicode", None, None, tmp_path / "vocab.json", tmp_path / "merges.txt", model.special_tokens
    )
    direct = model.encoder()
    vocab = model.get_vocab().items()
    assert vocab == trainer.get_vocab().items()
    # The loaded tables equal the model's: every id decodes and every token text encodes alike.
    every_id = [token_id for _, token_id in vocab]
    assert loaded.decode(every_id) == direct.decode(every_id)
    texts = [token.decode("utf-8") for token, _ in vocab if is_utf8(token)]
    assert loaded.encode_words(texts) == direct.encode_words(texts)
    for text in SAMPLES:
        ids = direct.encode(text)
        assert loaded.encode(text) == ids
        assert direct.decode(ids) == text == loaded.decode(ids)


@pytest.mark.parametrize("ratio", [0.0, 0.5, 0.9])
def test_window_mode_matches_exact_mode_through_the_fallback(tmp_path, ratio):
    exact, window = corpus_trainer(), corpus_trainer(hot_pair_window_size=8)
    size = exact.train_until_with_bbpe_fallback(400, primary_vocab_ratio=ratio)
    assert window.train_until_with_bbpe_fallback(400, primary_vocab_ratio=ratio) == size
    assert tokens(window) == tokens(exact)
    assert merges_of(window, tmp_path) == merges_of(exact, tmp_path)


@pytest.mark.parametrize("ratio", [0.0, 0.5])
def test_window_counters_describe_the_whole_training_across_the_resumed_phase(ratio):
    # A window larger than the pairs hydrates once per initialisation and never again: once for
    # the first character phase (or the initialisation that stands for it) and once for the
    # resumed phase, both counted.
    trainer = corpus_trainer(hot_pair_window_size=10**6)
    trainer.train_until_with_bbpe_fallback(400, primary_vocab_ratio=ratio)
    stats = trainer.hot_pair_window_stats
    assert stats["hydration_scans"] == 2
    assert stats["hydrated_word_entries"] == 2 * trainer.memory_usage["word_entries"]
    assert stats["batch_prunes"] == stats["prune_evictions"] == 0
    assert stats["peak_resident_pairs"] >= stats["resident_pairs"]
