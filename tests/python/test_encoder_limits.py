"""Encoders under inputs that are legal but extreme: sparse ids and very long pieces."""

import json
import os
import random
import subprocess
import sys
import textwrap

import pytest

from reference_bpe import gpt2_text, reference_encode_word
from vellumkit import BpeEncoderBase

# How far building the encoder and running the calls raise the peak memory of a fresh
# interpreter: measured in a child so that the test process's own earlier peak cannot hide a
# blow-up.
SPARSE_ID_SCRIPT = textwrap.dedent(
    """
    import resource, sys
    from vellumkit import BpeEncoderBase
    unit, high = sys.argv[1], int(sys.argv[2])
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    encoder = BpeEncoderBase("vellum", unit, {"a": 0, "b": 1, "ab": high, "ba": 7}, [("a", "b")], None, None, None)
    assert encoder.encode("abab") == [high, high], encoder.encode("abab")
    assert encoder.encode_to_numpy("aba").tolist() == [high, 0]
    assert encoder.decode([high, 1, 7, high]) == "abbbaab"
    for unknown in (2, high - 1, 8):
        try:
            encoder.decode([0, unknown])
        except RuntimeError as error:
            assert str(error) == f"Out of vocabulary idx: {unknown}", error
        else:
            raise AssertionError(f"decoded unknown id {unknown}")
    print((resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) // 1024)
    """
)


@pytest.mark.parametrize("unit", ["byte", "unicode"])
@pytest.mark.parametrize("high_id", [2**27, 661_111_111, 2**31, 2**32 - 1])
def test_a_sparse_id_costs_what_one_entry_costs(unit, high_id):
    done = subprocess.run([sys.executable, "-P", "-c", SPARSE_ID_SCRIPT, unit, str(high_id)],
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    growth_mib = int(done.stdout.strip())
    assert growth_mib < 100, f"peak grew by {growth_mib} MiB for one entry at id {high_id}"


def test_dense_and_sparse_ids_decode_side_by_side():
    # 300 dense ids, then entries far beyond them: both lookups in one vocabulary.
    vocab = {chr(0x100 + i): i for i in range(300)} | {"ab": 4_000_000_000, "a": 300, "b": 3_000_000_000}
    encoder = BpeEncoderBase("vellum", "unicode", vocab, [("a", "b")], None, None, None)
    ids = encoder.encode("ab" + chr(0x100) + "b" + chr(0x100 + 299))
    assert ids == [4_000_000_000, 0, 3_000_000_000, 299]
    assert encoder.decode(ids) == "ab" + chr(0x100) + "b" + chr(0x100 + 299)


# A child whose address space is capped just above what it already uses, so that the core's
# next large allocation fails.
ALLOCATION_FAILURE_SCRIPT = textwrap.dedent(
    """
    import resource
    from vellumkit import BpeEncoderBase
    vocab = {"a": 0, "b": 1, "ab": 2}
    big_vocab = vocab | {"x" * 1000 + str(i): i + 3 for i in range(100_000)}
    encoder = BpeEncoderBase("vellum", "byte", vocab, [("a", "b")], None, None, None)
    word = "ab" * 25_000_000
    with open("/proc/self/statm") as statm:
        used = int(statm.read().split()[0]) * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (used + (50 << 20), resource.RLIM_INFINITY))
    calls = {
        "construction": lambda: BpeEncoderBase("vellum", "byte", big_vocab, [("a", "b")], None, None, None),
        "encode_word": lambda: encoder.encode_word(word),
        "encode": lambda: encoder.encode(word),
        "encode_to_numpy": lambda: encoder.encode_to_numpy(word),
    }
    for name, call in calls.items():
        try:
            call()
        except RuntimeError as error:
            print(name, error)
    """
)


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer reserves address space beyond any limit a test can set")
def test_an_allocation_failure_raises_the_documented_exception():
    done = subprocess.run([sys.executable, "-P", "-c", ALLOCATION_FAILURE_SCRIPT],
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == [f"{name} out of memory" for name in
                                        ("construction", "encode_word", "encode", "encode_to_numpy")]


def random_merges(rng, units, count, max_length):
    """A vocabulary and merge list whose tokens join two earlier tokens: every merge the encoder
    accepts, with long chains and overlapping pairs among the runs of `units`."""
    tokens = list(dict.fromkeys(units))
    merges = []
    for _ in range(count * 20):
        if len(merges) == count:
            break
        left, right = rng.choice(tokens), rng.choice(tokens)
        if len(left) + len(right) <= max_length and left + right not in tokens:
            tokens.append(left + right)
            merges.append((left, right))
    return tokens, merges


@pytest.mark.parametrize("unit", ["byte", "unicode"])
@pytest.mark.parametrize(
    ("head", "block", "rest"),
    [("", "a", ""), ("", " ", ""), ("", "é", ""), ("", "日", ""), ("", "😀", ""),
     (" ", "a", "b"), ("", "ab", "a"), ("x", "日本", "é"), ("", "aab", "aa"), ("", "abcabcabcabcabcab", "")],
)
def test_long_repeats_encode_as_the_naive_reference(unit, head, block, rest, tmp_path):
    rng = random.Random(f"{unit} {head} {block} {rest}")
    text_units = (lambda text: list(text.encode())) if unit == "byte" else list
    units = sorted(set(text_units(head + block + rest)))
    for trial in range(6):
        tokens, merges = random_merges(rng, [(u,) for u in units], rng.randint(1, 40), rng.choice([4, 9, 24]))
        ids = {token: index for index, token in enumerate(tokens)}
        ranked = {(ids[left], ids[right]): (rank, ids[left + right]) for rank, (left, right) in enumerate(merges)}
        unit_ids = {token[0]: index for token, index in ids.items() if len(token) == 1}
        if unit == "byte":  # through files: lone bytes of a multi-byte character are no text
            (tmp_path / "vocab.json").write_text(json.dumps({gpt2_text(t): i for t, i in ids.items()}))
            (tmp_path / "merges.txt").write_text("".join(f"{gpt2_text(l)} {gpt2_text(r)}\n" for l, r in merges))
            encoder = BpeEncoderBase("gpt2", "byte", None, None, tmp_path / "vocab.json", tmp_path / "merges.txt", None)
        else:
            encoder = BpeEncoderBase("vellum", "unicode", {"".join(t): i for t, i in ids.items()},
                                     [("".join(l), "".join(r)) for l, r in merges], None, None, None)
        for copies in [300 // len(block.encode()), 257, 511, 1024, 1031, 4099]:
            word = head + block * copies + rest
            expected = reference_encode_word(text_units(word), unit_ids, ranked)
            assert encoder.encode_word(word) == expected, (trial, copies, merges)
