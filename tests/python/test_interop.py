"""Our files in the real peer libraries and theirs here: HF tokenizer.json (tokenizers and
transformers), HF's vocab.json + merges.txt pair, and tiktoken's ranks files, checked by encoding
the shared corpora on both sides and comparing ids and decoded text."""

import base64
import os
import pathlib

import pytest

from vellumkit import BpeTrainer_Character_CharIdx, PreTokenizer, Tokenizer
from vellumkit._contents import DEFAULT_PATTERN

tokenizers = pytest.importorskip("tokenizers")
tiktoken = pytest.importorskip("tiktoken")

EOT = "<|endoftext|>"
# The shared corpora beside the repository, or the folder VELLUM_CORPORA names (as the benchmarks).
CORPORA = pathlib.Path(os.environ.get("VELLUM_CORPORA", pathlib.Path(__file__).resolve().parents[3] / "shared" / "corpora"))
SLICE_BYTES = 60_000


def corpus_slice(path):
    text = path.read_bytes()[:SLICE_BYTES].decode("utf-8", errors="ignore")
    return text[: text.rfind("\n") + 1]


@pytest.fixture(scope="module")
def corpora():
    """A slice of every shared corpus, by name, documents joined by their end-of-text lines."""
    paths = sorted(CORPORA.glob("*.txt"))
    if not paths:
        pytest.skip(f"no corpora in {CORPORA}")
    return {path.stem: corpus_slice(path) for path in paths}


@pytest.fixture(scope="module")
def texts(corpora):
    """Every line of every slice, and each slice whole (with its end-of-text lines)."""
    return [line for text in corpora.values() for line in text.splitlines(keepends=True)] + list(corpora.values())


@pytest.fixture(scope="module")
def byte_tokenizer(corpora):
    return Tokenizer.train(list(corpora.values()), 3000, special_tokens=[EOT, "<pad>"], progress=False)


@pytest.fixture(scope="module")
def char_tokenizer(corpora):
    cjk = [text for name, text in corpora.items() if name.startswith(("zh", "ja", "ko"))]
    return Tokenizer.train(cjk, 1500, special_tokens=[EOT], unit="unicode", progress=False)


def ours(tok, texts):
    return tok.encode_batch(texts, allowed_special="all")


@pytest.mark.parametrize("which", ["byte_tokenizer", "char_tokenizer"])
def test_tokenizer_json_gives_our_ids_in_tokenizers_and_transformers(request, which, texts, tmp_path):
    transformers = pytest.importorskip("transformers")
    tok = request.getfixturevalue(which)
    tok.save_hf(tmp_path / "tokenizer.json")
    hf = tokenizers.Tokenizer.from_file(str(tmp_path / "tokenizer.json"))
    expected = ours(tok, texts)
    assert [encoding.ids for encoding in hf.encode_batch(texts)] == expected
    assert hf.decode_batch(expected, skip_special_tokens=False) == texts
    fast = transformers.PreTrainedTokenizerFast(tokenizer_file=str(tmp_path / "tokenizer.json"))
    assert fast(texts[-3:])["input_ids"] == expected[-3:]
    assert fast.decode(expected[-1]) == texts[-1]
    assert fast.convert_tokens_to_ids(EOT) == tok.special_tokens[EOT]


def hf_trained(texts, tmp_path):
    from tokenizers import decoders, models, pre_tokenizers, trainers

    hf = tokenizers.Tokenizer(models.BPE())
    hf.pre_tokenizer = pre_tokenizers.ByteLevel(add_prefix_space=False)
    hf.decoder = decoders.ByteLevel()
    trainer = trainers.BpeTrainer(vocab_size=2000, special_tokens=[EOT], show_progress=False,
                                  initial_alphabet=pre_tokenizers.ByteLevel.alphabet())
    hf.train_from_iterator(texts, trainer)
    hf.save(str(tmp_path / "tokenizer.json"))
    hf.model.save(str(tmp_path))  # vocab.json and merges.txt
    return hf


def test_models_trained_by_tokenizers_encode_alike_here(corpora, texts, tmp_path):
    hf = hf_trained(list(corpora.values()), tmp_path)
    from_json = Tokenizer.from_hf(tmp_path / "tokenizer.json")
    assert (tmp_path / "merges.txt").read_text(encoding="utf-8").startswith("#version")
    from_pair = Tokenizer.from_files(tmp_path / "vocab.json", tmp_path / "merges.txt", format="hf", special_tokens=[EOT])
    expected = [encoding.ids for encoding in hf.encode_batch(texts)]
    assert ours(from_json, texts) == expected == ours(from_pair, texts)
    assert [from_json.decode(ids) for ids in expected] == texts
    assert from_json.special_tokens == {EOT: hf.token_to_id(EOT)}


def test_our_hf_pair_files_load_in_tokenizers(byte_tokenizer, texts, tmp_path):
    from tokenizers import decoders, models, pre_tokenizers

    byte_tokenizer.save_files(tmp_path / "vocab.json", tmp_path / "merges.txt", format="hf")
    hf = tokenizers.Tokenizer(models.BPE.from_file(str(tmp_path / "vocab.json"), str(tmp_path / "merges.txt")))
    hf.pre_tokenizer = pre_tokenizers.ByteLevel(add_prefix_space=False)  # the GPT-2 pattern, as ours
    hf.decoder = decoders.ByteLevel()
    plain = [text.replace(EOT, "") for text in texts]
    assert [encoding.ids for encoding in hf.encode_batch(plain)] == byte_tokenizer.encode_batch(plain)


def test_tiktoken_file_gives_our_ids_in_tiktoken(byte_tokenizer, texts, tmp_path, monkeypatch):
    monkeypatch.setenv("TIKTOKEN_CACHE_DIR", "")  # tiktoken would otherwise cache files by path
    byte_tokenizer.save_tiktoken(tmp_path / "model.tiktoken")
    from tiktoken.load import load_tiktoken_bpe

    ranks = load_tiktoken_bpe(str(tmp_path / "model.tiktoken"))
    encoding = tiktoken.Encoding("ours", pat_str=byte_tokenizer.tiktoken_pattern, mergeable_ranks=ranks,
                                 special_tokens=byte_tokenizer.special_tokens)
    expected = ours(byte_tokenizer, texts)
    assert encoding.encode_batch(texts, allowed_special="all") == expected
    assert [encoding.decode(ids) for ids in expected] == texts
    # Read back, the merges recovered from the ranks encode alike too.
    again = Tokenizer.from_tiktoken(tmp_path / "model.tiktoken", byte_tokenizer.tiktoken_pattern, byte_tokenizer.special_tokens)
    assert ours(again, texts) == expected


def test_models_trained_by_tiktoken_encode_alike_here(corpora, tmp_path):
    from tiktoken._educational import bpe_train

    text = corpora["en_novels_1"][:20_000]
    ranks = bpe_train(text, 330, DEFAULT_PATTERN, visualise=None)
    lines = [f"{base64.b64encode(token).decode()} {rank}\n" for token, rank in ranks.items()]
    (tmp_path / "trained.tiktoken").write_text("".join(lines), encoding="ascii")
    specials = {EOT: len(ranks)}
    encoding = tiktoken.Encoding("trained", pat_str=DEFAULT_PATTERN, mergeable_ranks=ranks, special_tokens=specials)
    tok = Tokenizer.from_tiktoken(tmp_path / "trained.tiktoken", DEFAULT_PATTERN, specials)
    samples = [line for body in corpora.values() for line in body.splitlines()[:200]] + [f"a{EOT}b"]
    assert ours(tok, samples) == encoding.encode_batch(samples, allowed_special="all")


def test_where_the_peers_formats_cannot_follow_the_export_says_so(char_tokenizer, tmp_path):
    with pytest.raises(ValueError, match="'unicode' model cannot be written"):
        char_tokenizer.save_tiktoken(tmp_path / "x.tiktoken")
    selection = ["日本"]
    counter = PreTokenizer([EOT], unicode_bigrams=selection).word_counter()
    counter.add_text("日本語の日本 " * 20 + "é" * 30)
    trainer = BpeTrainer_Character_CharIdx([EOT])
    trainer.add_word_counter(counter)
    trainer.train_until(262)
    cut = Tokenizer.from_model(trainer.validate_model(), unicode_bigrams=selection)
    for save in (cut.save_hf, cut.save_tiktoken):
        with pytest.raises(ValueError, match="bigram|unicode"):
            save(tmp_path / "x")
    # The byte fallback phase joins raw bytes into characters, which byte fallback cannot express.
    trainer = BpeTrainer_Character_CharIdx([EOT])
    trainer.add_words([("é" * 3, 50), ("日本", 40), ("ab", 10)])
    trainer.train_until_with_bbpe_fallback(262, primary_vocab_ratio=0.0)
    with pytest.raises(ValueError, match="raw bytes|fragment"):
        Tokenizer.from_model(trainer.validate_model()).save_hf(tmp_path / "x.json")


@pytest.mark.parametrize(
    "change, message",
    [
        ({"normalizer": {"type": "NFC"}}, "normalizer"),
        ({"pre_tokenizer": {"type": "ByteLevel", "add_prefix_space": True, "use_regex": True}}, "add_prefix_space"),
        ({"pre_tokenizer": {"type": "Whitespace"}}, "no counterpart"),
    ],
)
def test_tokenizer_json_that_we_cannot_follow_is_refused(byte_tokenizer, tmp_path, change, message):
    import json

    byte_tokenizer.save_hf(tmp_path / "tokenizer.json")
    data = json.loads((tmp_path / "tokenizer.json").read_text(encoding="utf-8"))
    data.update(change)
    (tmp_path / "tokenizer.json").write_text(json.dumps(data), encoding="utf-8")
    with pytest.raises(ValueError, match=message):
        Tokenizer.from_hf(tmp_path / "tokenizer.json")


def test_tokenizer_json_reads_back_equal(byte_tokenizer, char_tokenizer, tmp_path):
    for tok in (byte_tokenizer, char_tokenizer):
        tok.save_hf(tmp_path / "tokenizer.json")
        back = Tokenizer.from_hf(tmp_path / "tokenizer.json")
        assert back.get_vocab() == tok.get_vocab() and [m[:2] for m in back.merges] == [m[:2] for m in tok.merges]
        assert back.special_tokens == tok.special_tokens and back.unit == tok.unit
