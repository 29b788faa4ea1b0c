"""The hot pair window: exact merges in bounded occurrence memory, and the trainer's diagnostics."""

import random

import pytest

from reference_bpe import ReferenceTrainer
from vellumkit import BpeTrainer_Character_CharIdx, BpeTrainer_u8_Idx

TRAINERS = {"byte": BpeTrainer_u8_Idx, "unicode": BpeTrainer_Character_CharIdx}
MEMORY_KEYS = [
    "estimated_persistent_bytes", "word_entries", "word_storage_bytes", "pair_entries", "pair_table_bytes",
    "occurrence_set_header_bytes", "occurrence_capacity_entries", "occurrence_capacity_bytes", "merge_heap_bytes",
    "merge_storage_bytes", "vocab_entries", "vocab_token_bytes",
]
WINDOW_KEYS = [
    "hydration_scans", "hydrated_word_entries", "batch_prunes", "prune_evictions", "peak_resident_pairs",
    "resident_pairs", "occurrence_capacity",
]
SUMMED_KEYS = [
    "word_storage_bytes", "pair_table_bytes", "occurrence_set_header_bytes", "occurrence_capacity_bytes",
    "merge_storage_bytes", "merge_heap_bytes", "vocab_token_bytes",
]


def model_merges(trainer, path):
    """The merge list with frequencies as the trainer would save it, or the validation error."""
    try:
        trainer.validate_model().save_merges_txt(path, "vellum")
    except ValueError as error:
        return str(error)
    return path.read_text(encoding="utf-8")


def random_words(rng, unit, count, length):
    alphabet = "aabbc" + ("éé日本" if unit == "unicode" else "d")
    return [
        ("".join(rng.choice(alphabet) for _ in range(rng.randint(0, length))), rng.choice([1, 1, 2, 3, 5, 0, -1, 8]))
        for _ in range(count)
    ]


def check_window_bound(trainer, window):
    stats = trainer.hot_pair_window_stats
    assert stats["resident_pairs"] <= 2 * window
    assert stats["hydrated_word_entries"] == stats["hydration_scans"] * trainer.memory_usage["word_entries"]


CASES = [
    (unit, tie_break, window, seed)
    for unit in ("byte", "unicode")
    for tie_break in ("smallest_pair_id", "largest_content")
    for window in (1, 2, 3, 7, 10_000)
    for seed in range(6)
]


@pytest.mark.parametrize("unit, tie_break, window, seed", CASES)
def test_window_mode_merges_exactly_as_exact_mode_and_the_reference(tmp_path, unit, tie_break, window, seed):
    rng = random.Random(seed)
    words = random_words(rng, unit, rng.randint(1, 40), 9)
    specials = ["<s>", rng.choice(["a", "ab", "é"])]
    options = dict(tie_break=tie_break, initial_alphabet=rng.choice(["raw", "byte_level"]),
                   parallel_merge_min_occurs_in=rng.choice([None, 0]), bigram_cutoff_freq=rng.choice([None, None, 2]))
    exact = TRAINERS[unit](specials, **options)
    windowed = TRAINERS[unit](specials, hot_pair_window_size=window, **options)
    reference = ReferenceTrainer(unit, specials, tie_break=tie_break, initial_alphabet=options["initial_alphabet"],
                                 bigram_cutoff_freq=options["bigram_cutoff_freq"])
    for trainer in (exact, windowed, reference):
        trainer.add_words(words)
        trainer.init_training()
    check_window_bound(windowed, window)
    for _ in range(rng.randint(0, 8)):
        try:
            expected = exact.step()
        except RuntimeError:
            with pytest.raises(RuntimeError, match="^No more step could be performed$"):
                windowed.step()
            break
        assert windowed.step() == expected
        check_window_bound(windowed, window)
    target = exact.vocab_size() + rng.randint(0, 15)
    assert windowed.train_until(target) == exact.train_until(target) == reference.train_until(target)
    check_window_bound(windowed, window)
    assert windowed.get_vocab().items() == exact.get_vocab().items() == reference.vocab_items()
    assert model_merges(windowed, tmp_path / "w.txt") == model_merges(exact, tmp_path / "e.txt")
    assert windowed.last_merge_freq == exact.last_merge_freq


@pytest.mark.parametrize("unit", ["byte", "unicode"])
@pytest.mark.parametrize("window", [1, 16, 256])
def test_window_mode_on_a_larger_inventory_prunes_hydrates_and_stays_exact(tmp_path, unit, window):
    rng = random.Random(window)
    stems = ["".join(rng.choice("abcdefghij" + ("日本語" if unit == "unicode" else "")) for _ in range(rng.randint(2, 9)))
             for _ in range(400)]
    words = [(stem + rng.choice(["", "s", "ing", "ed"]), int(1000 / (rank + 1)) + 1) for rank, stem in enumerate(stems)]
    exact = TRAINERS[unit]([], parallel_merge_min_occurs_in=0)
    windowed = TRAINERS[unit]([], hot_pair_window_size=window, parallel_merge_min_occurs_in=0)
    for trainer in (exact, windowed):
        trainer.add_words(words)
        trainer.train_until(700)
    assert windowed.get_vocab().items() == exact.get_vocab().items()
    assert model_merges(windowed, tmp_path / "w.txt") == model_merges(exact, tmp_path / "e.txt")
    stats = windowed.hot_pair_window_stats
    assert stats["hydration_scans"] >= 2  # cold pairs won after the first hydration
    if window < 256:
        assert stats["batch_prunes"] >= 1 and stats["prune_evictions"] >= 1
    check_window_bound(windowed, window)
    assert windowed.memory_usage["occurrence_capacity_entries"] < exact.memory_usage["occurrence_capacity_entries"]


@pytest.mark.parametrize(
    "words, resident_after_merge",
    [
        # K = 1: (a, b) is hydrated with threshold 10; the merge creates (ab, c) with change 10.
        ([("abc", 10)], 1),
        # The threshold is 11, so the new pair (ab, c) with change 10 stays cold.
        ([("abc", 10), ("ab", 1)], 0),
    ],
)
def test_a_pair_created_by_a_merge_becomes_resident_from_the_threshold_up(words, resident_after_merge):
    trainer = BpeTrainer_u8_Idx([], hot_pair_window_size=1)
    trainer.add_words(words)
    trainer.init_training()
    assert trainer.hot_pair_window_stats["resident_pairs"] == 1
    trainer.step()
    assert trainer.hot_pair_window_stats["resident_pairs"] == resident_after_merge


def test_counters_start_again_at_every_initialisation():
    trainer = BpeTrainer_u8_Idx([], hot_pair_window_size=2)
    trainer.add_words([("abcabcabd", 3), ("bcd", 2), ("xyzzy", 1)])
    assert trainer.hot_pair_window_stats == dict.fromkeys(WINDOW_KEYS, 0)
    trainer.init_training()
    first = trainer.hot_pair_window_stats
    assert list(first) == WINDOW_KEYS
    assert first["hydration_scans"] == 1
    assert first["hydrated_word_entries"] == trainer.memory_usage["word_entries"] == 3
    while True:
        try:
            trainer.step()
        except RuntimeError:
            break
    assert trainer.hot_pair_window_stats["hydration_scans"] > 1
    trainer.init_training()
    again = trainer.hot_pair_window_stats
    assert (again["hydration_scans"], again["hydrated_word_entries"], again["batch_prunes"]) == (1, 3, 0)


def test_a_window_larger_than_the_pairs_makes_every_ordinary_pair_resident():
    trainer = BpeTrainer_Character_CharIdx([], hot_pair_window_size=1000)
    trainer.add_words([("abcé", 2), ("bca", 1), ("zz", -1)])
    trainer.init_training()
    # (a,b) (b,c) (c,é) (c,a); (z,z) has a negative frequency and no candidate.
    assert trainer.hot_pair_window_stats["resident_pairs"] == 4


@pytest.mark.parametrize("window", [None, 3])
def test_memory_usage_is_a_capacity_breakdown_with_a_saturating_total(window):
    trainer = BpeTrainer_u8_Idx(["<s>"], hot_pair_window_size=window)
    fresh = trainer.memory_usage
    assert list(fresh) == MEMORY_KEYS
    assert fresh["word_entries"] == fresh["pair_entries"] == fresh["occurrence_capacity_entries"] == 0
    assert fresh["vocab_entries"] == 257 and fresh["vocab_token_bytes"] == 3 + 256
    words = [("hello", 3), ("world", 2), ("help", 1), ("lolo", 4)]
    trainer.add_words(words)
    trainer.init_training()
    memory = trainer.memory_usage
    assert memory["estimated_persistent_bytes"] == sum(memory[key] for key in SUMMED_KEYS)
    assert memory["word_entries"] == 4
    assert memory["pair_entries"] == len({(w[i], w[i + 1]) for w, _ in words for i in range(len(w) - 1)})
    if window is None:
        assert trainer.hot_pair_window_stats is None
        distinct_occurrences = len({(w[i], w[i + 1], w) for w, _ in words for i in range(len(w) - 1)})
        assert memory["occurrence_capacity_entries"] >= distinct_occurrences
    assert memory["occurrence_capacity_bytes"] % max(memory["occurrence_capacity_entries"], 1) == 0
    trainer.train_until(262)
    assert trainer.memory_usage["merge_storage_bytes"] > 0
    assert trainer.memory_usage["vocab_entries"] == 262
