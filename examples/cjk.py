"""Tokenizing a script written without spaces: count the Unicode bigrams of a corpus, select the
frequent ones, cut runs of CJK characters at every other pair, then train a character-level BPE
tokenizer and encode with the same cut.

Usage: python examples/cjk.py [PATH]

PATH is a UTF-8 text file; by default a small sample of classical Chinese poems (public domain)
written to a temporary file.
"""

import pathlib
import sys
import tempfile
import time

from vellumkit import BpeTrainer_Character_CharIdx, PreTokenizer

EOT = "<|endoftext|>"
VOCAB_SIZE = 600
SAMPLE = """床前明月光，疑是地上霜。举头望明月，低头思故乡。
春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。
白日依山尽，黄河入海流。欲穷千里目，更上一层楼。
千山鸟飞绝，万径人踪灭。孤舟蓑笠翁，独钓寒江雪。
红豆生南国，春来发几枝。愿君多采撷，此物最相思。
空山不见人，但闻人语响。返景入深林，复照青苔上。
"""


def main(argument: str | None) -> None:
    with tempfile.TemporaryDirectory() as folder:
        if argument:
            path = pathlib.Path(argument)
        else:
            path = pathlib.Path(folder) / "poems.txt"
            # Each poem as often as its place in the list, so that bigram frequencies differ.
            poems = SAMPLE.splitlines()
            text = "".join((poem + "\n" + EOT + "\n") * (3 * place) for place, poem in enumerate(poems, 1))
            path.write_text(text, encoding="utf-8")
        started = time.perf_counter()

        # 1. Count bigrams straight from the file (in parallel segments) and select the frequent ones.
        selection = PreTokenizer([EOT]).select_unicode_bigrams_from_file(path, top_k=40, min_freq=2)
        print(f"selected {len(selection.bigrams)} bigrams (cutoff {selection.cutoff_freq}, "
              f"largest left out {selection.max_excluded_freq}): {' '.join(selection.bigrams[:12])} ...")

        # 2. Count words with the cut: runs of CJK characters split everywhere except inside them.
        plain = PreTokenizer([EOT]).get_words_from_file(path)
        pre_tokenizer = PreTokenizer([EOT], unicode_bigrams=selection.bigrams)
        words = pre_tokenizer.get_words_from_file(path)
        line = SAMPLE.splitlines()[0]
        print(f"distinct words: {len(plain):,} without the cut, {len(words):,} with it; "
              f"{line!r} is cut into {list(pre_tokenizer.get_words(line))}")

        # 3. Train on the cut words and encode with the same cut.
        trainer = BpeTrainer_Character_CharIdx([EOT])
        counter = pre_tokenizer.word_counter()
        counter.add_text(path.read_text(encoding="utf-8"))
        trainer.add_word_counter(counter)
        trainer.train_until(VOCAB_SIZE)
        encoder = trainer.validate_model().encoder(unicode_bigrams=selection.bigrams)
        sample = "举头望明月，春来发几枝。"
        ids = encoder.encode(sample)
        print(f"trained to {trainer.vocab_size()} tokens; {sample!r} -> {len(ids)} tokens {ids}")
        assert encoder.decode(ids) == sample
        print(f"decoded back exactly; {time.perf_counter() - started:.2f} s in all")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else None)
