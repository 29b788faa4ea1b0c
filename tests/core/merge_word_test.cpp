#include "bpe/rewrite/merge_words.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "bpe/rewrite/merge_words_impl.hpp"

namespace vellum {
namespace {

constexpr Idx a = 1, b = 2, x = 3, y = 4, N = 9;
using Deltas = std::vector<std::pair<Pair<Idx>, std::int64_t>>;

Deltas weighted(const WordRewrite<Idx>& rewrite) {
  Deltas deltas;
  for (const auto& entry : rewrite.deltas) deltas.emplace_back(entry.pair, entry.delta);
  return deltas;
}

TEST(MergeWordTest, RewritesNonOverlappingOccurrencesLeftToRight) {
  struct Case {
    std::vector<Idx> symbols;
    Pair<Idx> pair;
    std::vector<Idx> output;
    Deltas deltas;
  };
  const Case cases[] = {
      {{a, a, a, b}, {a, a}, {N, a, b}, {{{a, a}, -2}, {{N, a}, 1}}},
      {{a, a, a, a}, {a, a}, {N, N}, {{{a, a}, -3}, {{N, a}, 0}, {{N, N}, 1}}},
      {{a, b, a, b}, {a, b}, {N, N}, {{{a, b}, -2}, {{b, a}, -1}, {{N, a}, 0}, {{N, N}, 1}}},
      {{x, a, b, y}, {a, b}, {x, N, y}, {{{a, b}, -1}, {{x, a}, -1}, {{x, N}, 1}, {{b, y}, -1}, {{N, y}, 1}}},
  };
  for (const Case& test : cases) {
    auto rewrite = merge_word<Idx>(test.symbols, 1, test.pair, N);
    ASSERT_TRUE(rewrite.has_value());
    EXPECT_EQ(rewrite->symbols, test.output);
    EXPECT_EQ(weighted(*rewrite), test.deltas);
  }
}

TEST(MergeWordTest, WordsWithoutThePairAreLeftAlone) {
  EXPECT_FALSE(merge_word<Idx>(std::vector<Idx>{a, b}, 1, {b, a}, N).has_value());
  EXPECT_FALSE(merge_word<Idx>(std::vector<Idx>{a}, 1, {a, a}, N).has_value());
  EXPECT_FALSE(merge_word<Idx>(std::vector<Idx>{}, 1, {a, a}, N).has_value());
}

TEST(MergeWordTest, DeltasAreWeightedButOccurrenceChangesAreNot) {
  auto rewrite = merge_word<Idx>(std::vector<Idx>{x, a, b}, -3, {a, b}, N);
  ASSERT_TRUE(rewrite.has_value());
  for (const auto& entry : rewrite->deltas) {
    EXPECT_EQ(entry.delta, -3 * entry.occurrences);
  }
}

struct TestWord {
  std::vector<Idx> symbols;
  std::int64_t frequency;
};

TEST(ApplyMergeTest, SerialAndParallelFormsAgree) {
  std::mt19937 rng(7);
  std::vector<TestWord> words(5000);
  for (auto& word : words) {
    word.symbols.resize(rng() % 9);
    for (auto& symbol : word.symbols) symbol = 1 + rng() % 3;
    word.frequency = static_cast<std::int64_t>(rng() % 7) - 2;
  }
  std::vector<WordIndex> occurrences(words.size());
  for (WordIndex i = 0; i < occurrences.size(); ++i) occurrences[i] = i;

  auto serial_words = words;
  auto parallel_words = words;
  auto serial = apply_merge_to_words<TestWord, Idx>(serial_words, occurrences, {1, 2}, N, UINT64_MAX);
  auto parallel = apply_merge_to_words<TestWord, Idx>(parallel_words, occurrences, {1, 2}, N, 0);
  for (std::size_t i = 0; i < words.size(); ++i) EXPECT_EQ(serial_words[i].symbols, parallel_words[i].symbols);
  ASSERT_EQ(serial.size(), parallel.size());
  for (auto& [pair, change] : serial) {
    auto& other = parallel.at(pair);
    EXPECT_EQ(change.delta, other.delta);
    std::sort(change.gained_in.begin(), change.gained_in.end());
    std::sort(other.gained_in.begin(), other.gained_in.end());
    EXPECT_EQ(change.gained_in, other.gained_in);
  }
}

}  // namespace
}  // namespace vellum
