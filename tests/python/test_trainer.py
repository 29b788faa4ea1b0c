"""BPE trainers: golden merges, a naive reference on random corpora, options and inventory."""

import json
import random
import subprocess
import sys
import threading

import pytest

from reference_bpe import ReferenceTrainer
from vellumkit import BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx, PreTokenizer

TRAINERS = {"byte": BpeTrainer_u8_Idx, "unicode": BpeTrainer_Character_CharIdx}


def trained_tokens(trainer, start=256):
    return [token for token, _ in trainer.get_vocab().items()[start:]]


@pytest.mark.parametrize(
    "tie_break, expected",
    [("smallest_pair_id", [b"aa", b"ab"]), ("largest_content", [b"aa", b"aaa"])],
)
def test_golden_merges_of_aaab(tie_break, expected):
    trainer = BpeTrainer_u8_Idx([], tie_break=tie_break)
    trainer.add_words([("aaab", 1)])
    assert trainer.train_until(258) == 258
    assert trained_tokens(trainer) == expected
    assert trainer.last_merge_freq == 1


def test_characters_enter_the_vocabulary_before_their_merges():
    trainer = BpeTrainer_Character_CharIdx(["<a>", "<b>"])
    trainer.add_words([("né", 3), ("ée", 2)])
    assert trainer.train_until(261) == 261
    # é (5) is added as a token of its own first; that adds no merge record.
    assert trained_tokens(trainer, 258) == ["é".encode(), "né".encode(), "ée".encode()]
    assert trainer.last_merge_freq == 2


def random_corpus(rng, unit):
    alphabet = "aab" + ("éé日" if unit == "unicode" else "c")
    words = []
    for _ in range(rng.randint(1, 25)):
        word = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 7)))
        words.append((word, rng.choice([1, 1, 2, 3, 5, 0, -1, -2, 8])))
    return words


CASES = [
    (unit, tie_break, alphabet, threshold, seed)
    for unit in ("byte", "unicode")
    for tie_break in ("smallest_pair_id", "largest_content")
    for alphabet, threshold in (("raw", None), ("byte_level", 0))
    for seed in range(12)
]


@pytest.mark.parametrize("unit, tie_break, alphabet, threshold, seed", CASES)
def test_matches_the_naive_reference(unit, tie_break, alphabet, threshold, seed):
    rng = random.Random(seed)
    words = random_corpus(rng, unit)
    specials = ["<s>", rng.choice(["a", "ab", "é"])]
    options = dict(initial_alphabet=alphabet, tie_break=tie_break)
    trainer = TRAINERS[unit](specials, parallel_merge_min_occurs_in=threshold, **options)
    reference = ReferenceTrainer(unit, specials, **options)
    trainer.add_words(words)
    reference.add_words(words)

    # Step by step from one initialisation, then a fresh initialisation by train_until.
    trainer.init_training()
    reference.init_training()
    for _ in range(rng.randint(0, 6)):
        try:
            expected = reference.step()
        except RuntimeError:
            with pytest.raises(RuntimeError, match="^No more step could be performed$"):
                trainer.step()
            break
        assert trainer.step() == expected
    target = len(reference.vocab) + rng.randint(0, 12)
    assert trainer.train_until(target) == reference.train_until(target)
    assert trainer.get_vocab().items() == reference.vocab_items()
    assert trainer.last_merge_freq == (reference.merge_freqs[-1] if reference.merge_freqs else None)


@pytest.mark.parametrize("unit", ["byte", "unicode"])
def test_negative_frequencies_never_break_training(unit):
    words = [("abc", 3), ("abc", -1), ("xabcx", -2), ("bcab", 1)]
    trainer = TRAINERS[unit]([])
    trainer.add_words(words)
    reference = ReferenceTrainer(unit, [])
    reference.add_words(words)
    assert trainer.train_until(270) == reference.train_until(270)
    assert trainer.get_vocab().items() == reference.vocab_items()


def test_bigram_cutoff_stops_before_a_rare_pair_and_step_applies_it():
    trainer = BpeTrainer_u8_Idx([], bigram_cutoff_freq=5)
    trainer.add_words([("ab", 9), ("cd", 4)])
    assert trainer.train_until(300) == 257
    assert trained_tokens(trainer) == [b"ab"]
    assert trainer.step() == 258
    assert trained_tokens(trainer) == [b"ab", b"cd"]
    assert trainer.last_merge_freq == 4


def test_train_until_target_rules():
    trainer = BpeTrainer_u8_Idx(["<|endoftext|>"])
    trainer.add_words([("hello", 4)])
    assert trainer.vocab_size() == 257
    assert trainer.train_until(257) == 257
    with pytest.raises(RuntimeError, match="^No more step could be performed$"):
        trainer.step()  # nothing initialised yet
    with pytest.raises(RuntimeError, match="^Target vocabulary size 100 is smaller than the current vocabulary size 257$"):
        trainer.train_until(100)
    assert trainer.train_until(1000) == 261  # runs out of candidates
    assert trained_tokens(trainer, 257) == [b"el", b"hel", b"lo", b"hello"]


THREAD_SCRIPT = """
import json, random, sys
from vellumkit import BpeTrainer_u8_Idx, BpeTrainer_Character_CharIdx
rng = random.Random(5)
words = [("".join(rng.choice("abcdeé日") for _ in range(rng.randint(1, 9))), rng.randint(-2, 9)) for _ in range(120_000)]
result = []
for cls in (BpeTrainer_u8_Idx, BpeTrainer_Character_CharIdx):
    for threshold in (None, 0):
        trainer = cls([], parallel_merge_min_occurs_in=threshold)
        trainer.add_words(words)
        trainer.train_until(700)
        result.append([[token.hex(), i] for token, i in trainer.get_vocab().items()])
print(json.dumps(result))
"""


def test_training_does_not_depend_on_the_number_of_threads():
    runs = [
        subprocess.run(prefix + [sys.executable, "-P", "-c", THREAD_SCRIPT], capture_output=True, text=True, check=True).stdout
        for prefix in ([], ["taskset", "-c", "0"])
    ]
    assert runs[0] == runs[1]
    byte_serial, byte_parallel, char_serial, char_parallel = json.loads(runs[0])
    assert byte_serial == byte_parallel and char_serial == char_parallel


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"initial_alphabet": "RAW"}, "Unknown initial_alphabet: RAW"),
        ({"tie_break": "largest"}, "Unknown tie_break: largest"),
        ({"hot_pair_window_size": 0}, "hot_pair_window_size must be positive"),
        ({"bigram_cutoff_freq": 0}, "bigram_cutoff_freq must be positive"),
        ({"bigram_cutoff_freq": -5}, "bigram_cutoff_freq must be positive"),
        ({"tie_break": "x", "initial_alphabet": "y"}, "Unknown initial_alphabet: y"),
    ],
)
@pytest.mark.parametrize("cls", TRAINERS.values())
def test_option_errors(cls, kwargs, message):
    with pytest.raises(ValueError) as caught:
        cls([], **kwargs)
    assert str(caught.value) == message


@pytest.mark.parametrize(
    "call, exception, message",
    [
        (lambda: BpeTrainer_u8_Idx("abc"), TypeError,
         "argument 'special_tokens': a str is not accepted where a sequence of str is expected"),
        (lambda: BpeTrainer_u8_Idx([], hot_pair_window_size=-1), OverflowError, None),
        (lambda: BpeTrainer_u8_Idx([]).add_words([("a", 1, 2)]), TypeError,
         "argument 'words': expected tuple of length 2, but got tuple of length 3"),
        (lambda: BpeTrainer_u8_Idx([]).add_words([["a", 1]]), TypeError,
         "argument 'words': 'list' object cannot be converted to 'tuple'"),
        (lambda: BpeTrainer_u8_Idx([]).add_words([(1, 1)]), TypeError,
         "argument 'words': 'int' object cannot be converted to 'str'"),
        (lambda: BpeTrainer_u8_Idx([]).add_words([("a", 2**63)]), OverflowError, None),
        (lambda: BpeTrainer_u8_Idx([]).add_words("ab"), TypeError,
         "argument 'words': a str is not accepted where a sequence of (str, int) is expected"),
        (lambda: BpeTrainer_u8_Idx([]).add_word_counter(PreTokenizer([])), TypeError,
         "argument 'counter': 'PreTokenizer' object is not an instance of 'WordCounter'"),
        (lambda: BpeTrainer_u8_Idx([]).train_until(-1), OverflowError, None),
    ],
)
def test_argument_errors(call, exception, message):
    with pytest.raises(exception) as caught:
        call()
    if message is not None:
        assert str(caught.value) == message


def test_add_words_replaces_the_inventory_and_skips_special_tokens():
    trainer = BpeTrainer_u8_Idx(["<s>"])
    trainer.add_words([("zz", 5)])
    trainer.add_words([("<s>", 100), ("x<s>", 2)])
    assert trainer.train_until(300) == 260
    assert trained_tokens(trainer, 257) == [b"<s", b"x<s", b"x<s>"]


def test_failed_conversion_leaves_the_inventory_unchanged():
    trainer = BpeTrainer_u8_Idx([])
    trainer.add_words([("ab", 2)])
    with pytest.raises(TypeError):
        trainer.add_words([("cd", 1), ("ef", "x")])
    trainer.train_until(300)
    assert trained_tokens(trainer) == [b"ab"]


def test_add_word_counter_consumes_the_counter():
    counter = PreTokenizer([], pat_str=r"\w+").word_counter()
    counter.add_text("low low lower")
    trainer = BpeTrainer_u8_Idx([])
    trainer.add_word_counter(counter)
    assert counter.len == 0
    assert trainer.train_until(258) == 258
    assert trained_tokens(trainer) == [b"lo", b"low"]
    trainer.add_word_counter(counter)  # now empty: the inventory becomes empty too
    assert trainer.train_until(300) == 258


def test_a_counter_in_use_is_refused():
    counter = PreTokenizer([]).word_counter()
    texts = ["some text to count " * 50] * 20_000
    worker = threading.Thread(target=counter.add_batch, args=(texts,))
    worker.start()
    trainer = BpeTrainer_u8_Idx([])
    refused = False
    while worker.is_alive() and not refused:
        try:
            trainer.add_word_counter(counter)
        except RuntimeError as error:
            refused = str(error) == "Already borrowed"
    worker.join()
    assert refused


@pytest.mark.parametrize(
    "cls, special_tokens, alphabet, expected",
    [
        (BpeTrainer_u8_Idx, ["<a>", "<b>"], "raw", {0: b"<a>", 1: b"<b>", 2: b"\x00", 257: b"\xff"}),
        (BpeTrainer_u8_Idx, [], "byte_level", {0: b"!", 93: b"~", 94: b"\xa1", 188: b"\x00", 255: b"\xad"}),
        (BpeTrainer_Character_CharIdx, [], "raw", {0x41: b"A", 0xE9: b"\xe9"}),
    ],
)
def test_initial_vocabulary_layout(cls, special_tokens, alphabet, expected):
    items = dict((i, token) for token, i in cls(special_tokens, initial_alphabet=alphabet).get_vocab().items())
    for index, token in expected.items():
        assert items[index] == token


def test_vocabulary_views():
    byte_vocab = BpeTrainer_u8_Idx(["a"]).get_vocab()
    # The special token a (id 0) and the byte a (id 98) share one token: listed once, larger id.
    assert byte_vocab.len == 256
    assert byte_vocab.get("a") == 98
    assert byte_vocab.items()[0] == (b"a", 98)
    assert byte_vocab.get("é") is None

    trainer = BpeTrainer_Character_CharIdx([])
    unicode_vocab = trainer.get_vocab()
    assert unicode_vocab.get("A") == 0x41
    assert unicode_vocab.get("é") is None  # only the raw bytes C3 and A9 exist
    trainer.add_words([("é", 1)])
    trainer.train_until(257)
    assert unicode_vocab.get("é") is None  # a view never changes
    assert trainer.get_vocab().get("é") == 256
    assert trainer.get_vocab().items()[-1] == ("é".encode(), 256)


def test_trainer_calls_are_exclusive():
    trainer = BpeTrainer_u8_Idx([])
    rng = random.Random(3)
    trainer.add_words([("".join(rng.choice("abcdefgh") for _ in range(12)), 1) for _ in range(60_000)])
    errors = []
    worker = threading.Thread(target=trainer.train_until, args=(3000,))
    worker.start()
    while worker.is_alive() and not errors:
        try:
            trainer.vocab_size()
        except RuntimeError as error:
            errors.append(str(error))
    worker.join()
    assert errors == ["Already borrowed"]
