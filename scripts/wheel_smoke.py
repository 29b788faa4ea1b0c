"""The whole journey on a freshly installed wheel: count, select bigrams, train, validate, save,
build an encoder from the saved files, encode and decode. Exits non-zero on any difference."""

import pathlib
import sys
import tempfile

from vellumkit import BpeEncoderBase, BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx, PreTokenizer

EOT = "<|endoftext|>"
TEXT = ("The quick brown fox jumps over the lazy dog. " * 40 + f"\n{EOT}\n" + "我们学习中文，中文很有意思。" * 40 + "\n") * 5


def main():
    with tempfile.TemporaryDirectory() as folder:
        folder = pathlib.Path(folder)
        corpus = folder / "corpus.txt"
        corpus.write_text(TEXT, encoding="utf-8")
        pre_tokenizer = PreTokenizer([EOT], eot_token=EOT)
        words = pre_tokenizer.get_words_from_file(corpus, chunk_size=64)
        assert words == pre_tokenizer.get_words(TEXT), "file counting differs from text counting"
        bigrams = pre_tokenizer.build_unicode_bigrams_from_file(corpus, top_k=5, min_freq=2)
        for trainer_class, unit, options in [(BpeTrainer_u8_Idx, "byte", {}),
                                             (BpeTrainer_Character_CharIdx, "unicode", {"unicode_bigrams": bigrams})]:
            counter = PreTokenizer([EOT], **options).word_counter()
            counter.add_source(TEXT.splitlines(keepends=True))
            trainer = trainer_class([EOT], hot_pair_window_size=8)
            trainer.add_word_counter(counter)
            trainer.train_until(400)
            model = trainer.validate_model()
            model.save_vocab(folder / f"{unit}.json", "vellum")
            model.save_merges_txt(folder / f"{unit}.txt", "vellum")
            loaded = BpeEncoderBase("vellum", unit, None, None, folder / f"{unit}.json", folder / f"{unit}.txt", [EOT], **options)
            direct = model.encoder(**options)
            ids = direct.encode(TEXT)
            assert list(loaded.encode_to_numpy(TEXT)) == ids, f"{unit}: saved and direct encoders differ"
            assert loaded.decode(ids) == TEXT, f"{unit}: decoding does not give the text back"
    print("wheel smoke test passed")


if __name__ == "__main__":
    sys.exit(main())
