"""A BigramCounter holding given counts, built through its public counting and merging.

BigramCounter has no loader, so exact counts are rebuilt bit by bit, highest bit first:
double the counter (a fresh counter merging it twice), then count once every bigram whose
count has the current bit set. A two-character text of a bigram counts exactly that bigram once:
every counted bigram comes from a stretch of text free of special tokens, so none of the
pre-tokenizer's special tokens can match inside it. The cost is about (bits of the largest
count) x (number of bigrams), independent of the corpus size that the counts stand for.
"""

from vellumkit._lib import BigramCounter, PreTokenizer


def bigram_counter_from_counts(pre_tokenizer: PreTokenizer, counts: dict[str, int]) -> BigramCounter:
    """A counter of `pre_tokenizer` whose items() are exactly `counts` (every count at least 1)."""
    result = pre_tokenizer.bigram_counter()
    for bit in reversed(range(max(counts.values(), default=0).bit_length())):
        doubled = pre_tokenizer.bigram_counter()
        doubled.merge(result)
        doubled.merge(result)
        doubled.add_batch([bigram for bigram, count in counts.items() if count >> bit & 1])
        result = doubled
    return result
