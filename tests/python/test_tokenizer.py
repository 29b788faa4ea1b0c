"""The high-level Tokenizer: same ids as the native encoder, tiktoken's special-token rules, batch
encoding on threads, lookups, saved files, training sources and pickling across processes."""

import multiprocessing
import pathlib
import pickle
import random

import numpy as np
import pytest

from vellumkit import BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx, PreTokenizer, Tokenizer
from vellumkit._encoders import SEPARATOR

EOT = "<|endoftext|>"
PAD = "<pad>"
# Besides words, the characters that file texts must escape: wide spaces, braces, the open box.
WORDS = ["the", " cat", " sat", " on", " mat", ",", ".", "\n", " 日本語", " é", "  ", "'s", " 42", "\t", "🙂",
         "\u3000\u3000", "\u00a0b", "{x41}", "\u2423\u2423"]


def random_texts(seed, count, words=WORDS):
    rng = random.Random(seed)
    return ["".join(rng.choice(words) for _ in range(rng.randint(0, 40))) for _ in range(count)]


def trained_model(trainer_class, texts, vocab_size, bigrams=None):
    pre_tokenizer = PreTokenizer([EOT, PAD], unicode_bigrams=bigrams)
    counter = pre_tokenizer.word_counter()
    counter.add_batch(texts)
    trainer = trainer_class([EOT, PAD])
    trainer.add_word_counter(counter)
    trainer.train_until(vocab_size)
    return trainer.validate_model()


@pytest.fixture(scope="module")
def byte_model():
    return trained_model(BpeTrainer_u8_Idx, random_texts(1, 400), 420)


@pytest.fixture(scope="module")
def tokenizer(byte_model):
    return Tokenizer.from_model(byte_model)


@pytest.fixture(scope="module")
def char_tokenizer():
    model = trained_model(BpeTrainer_Character_CharIdx, random_texts(2, 400), 400, bigrams=["日本"])
    return Tokenizer.from_model(model, unicode_bigrams=["日本"])


def test_encodes_like_the_native_encoder_of_its_model(byte_model, tokenizer):
    native = byte_model.encoder()
    for text in random_texts(3, 200) + [f"a{EOT}b{PAD}", SEPARATOR + " x", ""]:
        assert tokenizer.encode(text, allowed_special="all") == native.encode(text)
        assert tokenizer.decode(native.encode(text)) == text


def test_character_model_keeps_its_bigram_cut(char_tokenizer):
    model = trained_model(BpeTrainer_Character_CharIdx, random_texts(2, 400), 400, bigrams=["日本"])
    native = model.encoder(unicode_bigrams=["日本"])
    for text in random_texts(4, 100) + ["日本語 日本", "ÿ€𝄞"]:
        assert char_tokenizer.encode(text) == native.encode(text)
        assert char_tokenizer.decode(char_tokenizer.encode(text)) == text


@pytest.mark.parametrize(
    "allowed, disallowed, expected",
    [
        ("all", "all", ["a", EOT, "b", PAD]),
        ({EOT}, "all", ValueError),  # <pad> is disallowed as soon as it is not allowed
        ({EOT}, (), ["a", EOT, "b<pad>"]),
        (set(), (), ["a<|endoftext|>b<pad>"]),
        ({PAD}, {PAD}, ["a<|endoftext|>b", PAD]),  # allowed wins over disallowed
        (frozenset(), {EOT}, ValueError),
    ],
)
def test_special_tokens_follow_the_allowed_and_disallowed_sets(tokenizer, allowed, disallowed, expected):
    text = f"a{EOT}b{PAD}"
    if expected is ValueError:
        with pytest.raises(ValueError, match="special token '<"):
            tokenizer.encode(text, allowed_special=allowed, disallowed_special=disallowed)
        with pytest.raises(ValueError, match="special token '<"):
            tokenizer.encode_batch(["ok", text], allowed_special=allowed, disallowed_special=disallowed)
        return
    pieces = [[tokenizer.special_tokens[p]] if p in tokenizer.special_tokens else tokenizer.encode_ordinary(p) for p in expected]
    ids = [i for piece in pieces for i in piece]
    assert tokenizer.encode(text, allowed_special=allowed, disallowed_special=disallowed) == ids
    assert tokenizer.encode_batch([text], allowed_special=allowed, disallowed_special=disallowed) == [ids]


def test_special_token_arguments_are_checked(tokenizer):
    with pytest.raises(ValueError, match="'<unk>', which is not a special token"):
        tokenizer.encode("x", allowed_special={"<unk>"})
    with pytest.raises(TypeError, match="not the string"):
        tokenizer.encode("x", allowed_special=EOT)
    with pytest.raises(ValueError, match="disallowed"):
        tokenizer.encode(f"x{EOT}")
    assert tokenizer.encode_ordinary(f"x{EOT}") == tokenizer.encode(f"x{EOT}", disallowed_special=())


@pytest.mark.parametrize("num_threads", [1, 2, 5])
def test_batches_encode_each_text_as_alone(tokenizer, char_tokenizer, num_threads):
    short = random_texts(5, 3000) + ["", f"{EOT}{EOT}", f"x{SEPARATOR}y", SEPARATOR, ""]
    long = [EOT.join(short[start : start + 300]) for start in range(0, 3000, 300)]  # encoded one call each
    for tok, texts in [(tokenizer, short), (char_tokenizer, short), (tokenizer, long)]:
        alone = [tok.encode(text, allowed_special="all") for text in texts]
        assert tok.encode_batch(texts, num_threads=num_threads, allowed_special="all") == alone
        batch = tok.encode_batch_to_numpy(texts, num_threads=num_threads, allowed_special="all")
        assert batch.ids.dtype == np.uint32 and len(batch) == len(texts)
        assert [batch[i].tolist() for i in range(len(texts))] == alone
        assert batch.offsets[-1] == len(batch.ids) == sum(map(len, alone))


def test_batches_take_any_iterable_and_refuse_a_string(tokenizer):
    assert tokenizer.encode_batch(iter(["a", "b"])) == [tokenizer.encode("a"), tokenizer.encode("b")]
    assert tokenizer.encode_batch([]) == [] and len(tokenizer.encode_batch_to_numpy([])) == 0
    with pytest.raises(TypeError):
        tokenizer.encode_batch("a text")
    with pytest.raises(ValueError, match="num_threads"):
        tokenizer.encode_batch(["a"], num_threads=0)


def test_lookups_and_decoding(tokenizer, byte_model):
    vocab = dict(byte_model.get_vocab().items())
    size = tokenizer.vocab_size
    assert size == len(vocab) == max(vocab.values()) + 1
    assert tokenizer.special_tokens == {EOT: 0, PAD: 1}
    assert tokenizer.token_to_id(" cat") == tokenizer.token_to_id(b" cat") == vocab.get(b" cat")
    assert tokenizer.token_to_id(b"\xff") == vocab[b"\xff"] and tokenizer.token_to_id("never seen") is None
    assert tokenizer.id_to_token(vocab[b"\xc3"]) == b"\xc3" and tokenizer.id_to_token(10**6) is None
    ids = [vocab[b"\xc3"], vocab[b"a"]]
    assert tokenizer.decode_bytes(ids) == b"\xc3a" and tokenizer.decode(ids) == "\ufffda"
    assert tokenizer.decode(np.array(ids, dtype=np.uint32)) == "\ufffda"
    for bad in ([size], [size + 1], np.array([size], dtype=np.uint32)):
        with pytest.raises(ValueError, match=f"{bad[0]}"):
            tokenizer.decode(bad)
    with pytest.raises(ValueError, match=f"token id {size} is not in the vocabulary"):
        tokenizer.decode_bytes([size])


def test_encode_file_equals_encoding_the_text(tokenizer, tmp_path):
    text = f"\n{EOT}\n".join(random_texts(6, 300))
    path = tmp_path / "corpus.txt"
    path.write_text(text, encoding="utf-8")
    for num_chunks in (None, 1, 7):
        assert tokenizer.encode_file(path, num_chunks=num_chunks).tolist() == tokenizer.encode(text, allowed_special="all")


@pytest.mark.parametrize("fmt", ["vellum", "gpt2", "hf"])
def test_saved_files_load_back_equal(tokenizer, tmp_path, fmt):
    tokenizer.save_files(tmp_path / "vocab.json", tmp_path / "merges.txt", format=fmt)
    loaded = Tokenizer.from_files(tmp_path / "vocab.json", tmp_path / "merges.txt", format=fmt, special_tokens=[EOT, PAD])
    merges = tokenizer.merges if fmt != "hf" else tuple(m._replace(frequency=0) for m in tokenizer.merges)
    assert loaded.merges == merges and loaded.get_vocab() == tokenizer.get_vocab()
    if fmt == "hf":
        assert (tmp_path / "merges.txt").read_text(encoding="utf-8").startswith("#version: 0.2\n")


def test_files_of_a_model_load_here_and_ours_load_natively(byte_model, char_tokenizer, tmp_path):
    byte_model.save_vocab(tmp_path / "v.json", "gpt2")
    byte_model.save_merges_txt(tmp_path / "m.txt", "gpt2")
    assert Tokenizer.from_files(tmp_path / "v.json", tmp_path / "m.txt", format="gpt2", special_tokens=[EOT, PAD]) == (
        Tokenizer.from_model(byte_model))
    char_tokenizer.save_files(tmp_path / "cv.json", tmp_path / "cm.txt")
    loaded = Tokenizer.from_files(tmp_path / "cv.json", tmp_path / "cm.txt", unit="unicode", special_tokens=[EOT, PAD],
                                  unicode_bigrams=["日本"])
    assert loaded == char_tokenizer
    with pytest.raises(ValueError, match="cannot hold a 'unicode' model"):
        char_tokenizer.save_files(tmp_path / "x.json", tmp_path / "x.txt", format="gpt2")


@pytest.mark.parametrize(
    "vocab, merges, message",
    [
        ('{"a": 0, "b": 1}', "a b\n", "cannot make an encoder"),  # the merge's token ab is missing
        ('{"a": 0, "b": 1, "ab": 2}', "a b c\n", "line 1 holds 3 tokens"),
        ('{"a": 0, "\u2423": 0}', "", "id 0 is given to two tokens"),
        ('{"\u2423": 0, "{u0020}": 1}', "", "has two ids, 0 and 1"),  # both texts are the space
        ('{"{x100}": 0}', "", "out of range"),
        ('["a"]', "", "one JSON object"),
        ('{"{xc3}{xa9}": 0}', "", "not canonical"),  # in the unicode unit, raw C3 A9 must be é
    ],
)
def test_bad_files_are_refused(tmp_path, vocab, merges, message):
    (tmp_path / "v.json").write_text(vocab, encoding="utf-8")
    (tmp_path / "m.txt").write_text(merges, encoding="utf-8")
    with pytest.raises(ValueError, match=message):
        Tokenizer.from_files(tmp_path / "v.json", tmp_path / "m.txt", unit="unicode")


def test_special_tokens_must_be_in_the_vocabulary(tokenizer):
    contents = tokenizer.contents
    with pytest.raises(ValueError, match="'<mask>' is not in the vocabulary"):
        Tokenizer(type(contents)(**{**contents.__dict__, "special_tokens": ("<mask>",)}))


def test_every_kind_of_source_trains_the_same_model(tmp_path):
    texts = random_texts(7, 300)
    folder = tmp_path / "corpus"
    folder.mkdir()
    for index in range(3):
        (folder / f"part{index}.txt").write_text("\n".join(texts[index::3]) + "\n", encoding="utf-8")
    files = sorted(folder.iterdir())
    lines = [line + "\n" for path in files for line in path.read_text(encoding="utf-8").splitlines()]
    trained = [
        Tokenizer.train(source, 350, progress=False)
        for source in (folder, str(folder), files, (path for path in files), lines, iter(lines))
    ]
    assert all(tok == trained[0] for tok in trained)
    assert trained[0].vocab_size == 350
    with pytest.raises(FileNotFoundError):
        Tokenizer.train(tmp_path / "missing", 300, progress=False)
    with pytest.raises(TypeError, match="texts"):
        Tokenizer.train([1, 2], 300, progress=False)


def test_progress_bars_train_the_same_model(capsys):
    pytest.importorskip("tqdm")
    texts = random_texts(8, 300)
    with_bars = Tokenizer.train(texts, 380, unit="unicode", progress=True)
    assert "merging" in capsys.readouterr().err
    assert with_bars == Tokenizer.train(texts, 380, unit="unicode", progress=False)
    # Running out of pairs ends the bar's loop as it ends train_until.
    assert Tokenizer.train(["ab ab"], 1000, progress=True) == Tokenizer.train(["ab ab"], 1000, progress=False)


def test_pickles_by_contents(tokenizer, char_tokenizer):
    for tok in (tokenizer, char_tokenizer):
        copy = pickle.loads(pickle.dumps(tok))
        assert copy == tok and copy.encode_batch(["日本語 the cat"]) == tok.encode_batch(["日本語 the cat"])


def _encode_in_worker(arguments):
    tok, text = arguments
    return tok, tok.encode(text, allowed_special="all")


@pytest.mark.parametrize("method", ["fork", "spawn"])
def test_travels_to_worker_processes(tokenizer, method):
    texts = random_texts(9, 4) + [f"a{EOT}"]
    with multiprocessing.get_context(method).Pool(2) as pool:
        results = pool.map(_encode_in_worker, [(tokenizer, text) for text in texts])
    assert [ids for _, ids in results] == [tokenizer.encode(text, allowed_special="all") for text in texts]
    assert all(tok == tokenizer for tok, _ in results)


def test_version_matches_the_installed_metadata():
    import importlib.metadata

    import vellumkit

    try:
        installed = importlib.metadata.version("vellumkit")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("the package is imported from a copy without its metadata")
    assert vellumkit.__version__ == installed
