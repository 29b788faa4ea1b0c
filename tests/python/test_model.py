"""Validated models: the rules of validate_model, the model's members and its saved files."""

import json

import pytest

from vellumkit import BpeModelBase, BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx


def trained(cls=BpeTrainer_u8_Idx, specials=("<|endoftext|>",), words=(("hello", 3), (" the", 5)), size=262, **options):
    trainer = cls(list(specials), **options)
    trainer.add_words(list(words))
    trainer.train_until(size)
    return trainer


def test_an_untrained_trainer_validates():
    model = BpeTrainer_u8_Idx(["<s>"]).validate_model()
    assert isinstance(model, BpeModelBase)
    assert model.unit == "byte"
    assert model.last_merge_freq is None
    assert model.special_tokens == ["<s>"]
    assert model.get_vocab().len == 257


def test_model_is_a_snapshot():
    trainer = trained()
    model = trainer.validate_model()
    items = model.get_vocab().items()
    assert model.last_merge_freq == trainer.last_merge_freq
    trainer.train_until(263)
    assert model.get_vocab().items() == items
    assert trainer.validate_model().get_vocab().len == len(items) + 1
    assert model.special_tokens is not model.special_tokens  # a fresh list each time


@pytest.mark.parametrize(
    "trainer, message",
    [
        (BpeTrainer_u8_Idx(["a"]), "Invalid BPE model: duplicate vocabulary token a"),
        (BpeTrainer_u8_Idx([" "]), "Invalid BPE model: duplicate vocabulary token \u2423"),
        (BpeTrainer_u8_Idx(["\n"]), "Invalid BPE model: duplicate vocabulary token {u000a}"),
        (BpeTrainer_Character_CharIdx(["b"]), "Invalid BPE model: duplicate vocabulary token b"),
    ],
)
def test_colliding_special_tokens_are_refused(trainer, message):
    with pytest.raises(ValueError) as caught:
        trainer.validate_model()
    assert str(caught.value) == message


@pytest.mark.parametrize("last_frequency, accepted", [(9, False), (10, True)])
def test_final_merge_must_reach_the_cutoff(last_frequency, accepted):
    trainer = BpeTrainer_u8_Idx([], bigram_cutoff_freq=10)
    trainer.add_words([("ab", 12), ("cd", last_frequency)])
    trainer.train_until(300)
    if trainer.vocab_size() == 257:
        trainer.step()  # the cutoff stopped training; apply the rare pair by hand
    if accepted:
        assert trainer.validate_model().last_merge_freq == 10
    else:
        with pytest.raises(ValueError, match="^Invalid BPE model: final merge frequency 9 must be at least Unicode bigram cutoff frequency 10$"):
            trainer.validate_model()


def test_byte_model_files_in_both_formats(tmp_path):
    model = trained(words=[(" the", 5), ("t\xe9", 2)], size=262).validate_model()
    for fmt in ("gpt2", "vellum"):
        model.save_vocab(tmp_path / f"{fmt}.json", fmt)
        model.save_merges_txt(tmp_path / f"{fmt}.txt", fmt)
    gpt2 = json.loads((tmp_path / "gpt2.json").read_text(encoding="utf-8"))
    vellum = json.loads((tmp_path / "vellum.json").read_text(encoding="utf-8"))
    assert list(gpt2.values()) == list(range(262)) == list(vellum.values())
    assert gpt2["\u0120the"] == vellum["\u2423the"] == 259
    # t + C3 is a stray byte in the printable form; t + C3 A9 is the character é.
    assert gpt2["t\u00c3"] == vellum["t{xc3}"] == 260
    assert gpt2["t\u00c3\u00a9"] == vellum["t\u00e9"] == 261
    assert vellum["{u000a}"] == 11 and vellum["{xc3}"] == 0xC4
    assert (tmp_path / "gpt2.txt").read_text(encoding="utf-8") == (
        "\u0120 t => 5\nh e => 5\n\u0120t he => 5\nt \u00c3 => 2\nt\u00c3 \u00a9 => 2\n"
    )
    assert (tmp_path / "vellum.txt").read_text(encoding="utf-8") == (
        "\u2423 t => 5\nh e => 5\n\u2423t he => 5\nt {xc3} => 2\nt{xc3} {xa9} => 2\n"
    )
    text = (tmp_path / "vellum.json").read_text(encoding="utf-8")
    assert text.startswith('{\n  "<|endoftext|>": 0,\n  "{u0000}": 1,\n') and text.endswith('"t\u00e9": 261\n}')


def test_unicode_model_files(tmp_path):
    model = trained(BpeTrainer_Character_CharIdx, words=[("日本語", 4), ("日本", 2)], size=261).validate_model()
    assert model.unit == "unicode"
    model.save_vocab(tmp_path / "v.json", "vellum")
    model.save_merges_txt(tmp_path / "m.txt", "vellum")
    vocab = json.loads((tmp_path / "v.json").read_text(encoding="utf-8"))
    assert vocab["{xc3}"] == 0xC4 and vocab["日本"] == 259 and vocab["語"] == 260
    assert (tmp_path / "m.txt").read_text(encoding="utf-8") == "日 本 => 6\n"


@pytest.mark.parametrize(
    "cls, fmt, message",
    [
        (BpeTrainer_Character_CharIdx, "gpt2", "Specification error: format gpt2 is not compatible with unit unicode"),
        (BpeTrainer_u8_Idx, "GPT2", "Specification error: format GPT2 is not compatible with unit byte"),
        (BpeTrainer_u8_Idx, "json", "Specification error: format json is not compatible with unit byte"),
    ],
)
@pytest.mark.parametrize("method", ["save_vocab", "save_merges_txt"])
def test_incompatible_formats_create_no_file(tmp_path, cls, fmt, message, method):
    model = cls([]).validate_model()
    with pytest.raises(ValueError) as caught:
        getattr(model, method)(tmp_path / "out", fmt)
    assert str(caught.value) == message
    assert not (tmp_path / "out").exists()


@pytest.mark.parametrize("method", ["save_vocab", "save_merges_txt"])
def test_unwritable_paths_raise_io_errors(tmp_path, method):
    model = BpeTrainer_u8_Idx([]).validate_model()
    with pytest.raises(OSError, match="^IO error: No such file or directory"):
        getattr(model, method)(tmp_path / "missing" / "out", "vellum")
    with pytest.raises(OSError, match="^IO error: Is a directory"):
        getattr(model, method)(tmp_path, "gpt2")
    with pytest.raises(TypeError):
        getattr(model, method)(tmp_path / "x", None)
