"""The shape of the native module: classes, signatures, argument binding and conversions."""

import inspect
import threading
import time
from collections.abc import Sequence

import pytest

import vellumkit
from vellumkit import _lib

CLASS_ORDER = [
    "BpeTrainerBase",
    "UnicodeBigramSelection",
    "BpeModelBase",
    "BpeTrainer_u8_Idx",
    "BpeTrainer_Character_CharIdx",
    "Vocabulary",
    "PreTokenizer",
    "BigramCounter",
    "WordCounter",
    "BpeEncoderBase",
]

CONSTRUCTOR_SIGNATURES = {
    "PreTokenizer": 'PreTokenizer(special_tokens, eot_token=None, pat_str=None, unicode_bigrams=None, unicode_bigram_mixed_boundary="keep")',
    "WordCounter": "WordCounter(pre_tokenizer)",
    "BigramCounter": "BigramCounter(pre_tokenizer)",
    "BpeEncoderBase": 'BpeEncoderBase(format, unit, vocab, merges, vocab_file, merges_file, special_tokens, pat_str=None, unicode_bigrams=None, unicode_bigram_mixed_boundary="keep", split_on_vocab_bigrams=True)',
    "BpeTrainer_u8_Idx": "BpeTrainer_u8_Idx(special_tokens, initial_alphabet=None, tie_break=None, parallel_merge_min_occurs_in=None, hot_pair_window_size=None, bigram_cutoff_freq=None)",
    "BpeTrainer_Character_CharIdx": "BpeTrainer_Character_CharIdx(special_tokens, initial_alphabet=None, tie_break=None, parallel_merge_min_occurs_in=None, hot_pair_window_size=None, bigram_cutoff_freq=None)",
}


def test_module_holds_exactly_the_ten_classes_in_order():
    public = [name for name in vars(_lib) if not name.startswith("__")]
    assert public == CLASS_ORDER
    for name in CLASS_ORDER:
        cls = getattr(_lib, name)
        assert isinstance(cls, type)
        assert cls.__module__ == "_lib"
        assert getattr(vellumkit, name) is cls


def test_trainers_derive_from_the_trainer_base():
    assert _lib.BpeTrainer_u8_Idx.__bases__ == (_lib.BpeTrainerBase,)
    assert _lib.BpeTrainer_Character_CharIdx.__bases__ == (_lib.BpeTrainerBase,)


@pytest.mark.parametrize("name", ["BpeTrainerBase", "UnicodeBigramSelection", "BpeModelBase", "Vocabulary"])
def test_classes_without_constructor_cannot_be_instantiated(name):
    with pytest.raises(TypeError) as caught:
        getattr(_lib, name)()
    assert str(caught.value) == f"cannot create '_lib.{name}' instances"
    assert getattr(_lib, name).__doc__ is None


def test_only_the_trainer_base_can_be_subclassed():
    class CustomTrainer(_lib.BpeTrainerBase):
        pass

    assert issubclass(CustomTrainer, _lib.BpeTrainerBase)
    for name in CLASS_ORDER[1:]:
        with pytest.raises(TypeError):
            type("Sub", (getattr(_lib, name),), {})


@pytest.mark.parametrize("name", sorted(CONSTRUCTOR_SIGNATURES))
def test_constructor_docstrings_are_text_signatures(name):
    cls = getattr(_lib, name)
    signature = CONSTRUCTOR_SIGNATURES[name]
    assert cls.__text_signature__ == signature[len(name):]
    assert str(inspect.signature(cls)) == signature[len(name):].replace('"', "'")


def test_method_docstrings_carry_self_signature_and_description():
    method = _lib.PreTokenizer.get_words
    assert method.__text_signature__ == "($self, text)"
    assert method.__doc__ == "Pretokenize text and return a word-frequency mapping."
    assert list(inspect.signature(method).parameters) == ["self", "text"]


def test_invariant_violation_derives_directly_from_base_exception():
    assert vellumkit.InvariantViolation.__bases__ == (BaseException,)
    assert not issubclass(vellumkit.InvariantViolation, Exception)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: _lib.PreTokenizer(), "PreTokenizer.__new__() missing 1 required positional argument: 'special_tokens'"),
        (lambda: _lib.PreTokenizer([], None, None, None, "keep", 1),
         "PreTokenizer.__new__() takes from 1 to 5 positional arguments but 6 were given"),
        (lambda: _lib.PreTokenizer([], pattern="x"), "PreTokenizer.__new__() got an unexpected keyword argument 'pattern'"),
        (lambda: _lib.PreTokenizer([], special_tokens=[]),
         "PreTokenizer.__new__() got multiple values for argument 'special_tokens'"),
        (lambda: _lib.PreTokenizer([]).get_words(), "PreTokenizer.get_words() missing 1 required positional argument: 'text'"),
        (lambda: _lib.PreTokenizer([]).get_words("a", "b"),
         "PreTokenizer.get_words() takes 1 positional arguments but 2 were given"),
        (lambda: _lib.PreTokenizer([]).get_words(b"a"), "argument 'text': 'bytes' object cannot be converted to 'str'"),
        (lambda: _lib.PreTokenizer("abc"),
         "argument 'special_tokens': a str is not accepted where a sequence of str is expected"),
        (lambda: _lib.PreTokenizer(5), "argument 'special_tokens': 'int' object cannot be converted to 'Sequence'"),
        (lambda: _lib.PreTokenizer(["a", 1]), "argument 'special_tokens': 'int' object cannot be converted to 'str'"),
        (lambda: _lib.PreTokenizer([], unicode_bigram_mixed_boundary=None),
         "argument 'unicode_bigram_mixed_boundary': 'NoneType' object cannot be converted to 'str'"),
    ],
)
def test_argument_errors_use_the_interpreter_wording(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def test_keyword_arguments_bind_like_positional_ones():
    by_position = _lib.PreTokenizer(["<s>"], None, r"\w+")
    by_keyword = _lib.PreTokenizer(pat_str=r"\w+", special_tokens=("<s>",))
    text = "ab<s>cd ef"
    assert by_position.get_words(text) == by_keyword.get_words(text=text) == {"ab": 1, "cd": 1, "ef": 1}


class TokenList(Sequence):
    """A Sequence by registration only: the interpreter's own sequence check does not see it."""

    def __init__(self, items):
        self._items = list(items)

    def __getitem__(self, index):
        return self._items[index]

    def __len__(self):
        return len(self._items)


@pytest.mark.parametrize("tokens", [[], (), ["<s>"], ("<s>",), TokenList(["<s>"]), range(0)])
def test_any_sequence_of_str_is_accepted(tokens):
    expected = {"a": 1, "b": 1} if len(tokens) else {"a": 1, "b": 1, "s": 1}
    assert _lib.PreTokenizer(tokens, pat_str=r"\w+").get_words("a<s>b") == expected


def test_iterator_that_fails_midway_propagates_its_error():
    class Failing(TokenList):
        def __iter__(self):
            yield "<s>"
            raise KeyError("boom")

    with pytest.raises(KeyError):
        _lib.PreTokenizer(Failing(["<s>", "x"]))


def test_lone_surrogate_raises_the_interpreters_encoding_error():
    with pytest.raises(UnicodeEncodeError):
        _lib.PreTokenizer([]).get_words("a\ud800b")
    with pytest.raises(UnicodeEncodeError):
        _lib.PreTokenizer(["\udfff"])


def test_none_means_omitted_for_parameters_defaulting_to_none():
    explicit = _lib.PreTokenizer([], eot_token=None, pat_str=None, unicode_bigrams=None)
    assert explicit.get_words("日本語 x") == _lib.PreTokenizer([]).get_words("日本語 x")


def test_concurrent_calls_on_one_object_agree():
    pre_tokenizer = _lib.PreTokenizer(["<|endoftext|>"])
    text = "The quick brown fox<|endoftext|> jumps over 12 lazy dogs!\n" * 20000
    expected = pre_tokenizer.get_words(text)
    results = [None] * 4

    def work(slot):
        results[slot] = pre_tokenizer.get_words(text)

    threads = [threading.Thread(target=work, args=(slot,)) for slot in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [expected] * 4


def test_interpreter_lock_is_released_during_core_work():
    pre_tokenizer = _lib.PreTokenizer([])
    text = "lorem ipsum dolor sit amet " * 1_000_000
    ticks = 0
    done = threading.Event()

    def count_ticks():
        nonlocal ticks
        while not done.is_set():
            ticks += 1
            time.sleep(0)

    ticker = threading.Thread(target=count_ticks)
    ticker.start()
    try:
        pre_tokenizer.get_words(text)
    finally:
        done.set()
        ticker.join()
    # With the lock held for the whole call the ticker would get at most a switch interval or two.
    assert ticks > 100
