#include "bigram/bigram_counts.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "pretokenizer/bigram_counter.hpp"
#include "util/utf8.hpp"

namespace vellum {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

BigramKey key_of(const std::string& text) {
  std::size_t pos = 0;
  const char32_t first = decode_utf8_at(text, pos);
  return bigram_key(first, decode_utf8_at(text, pos));
}

TEST(BigramCountingTest, AnIncrementPastTheLargestCountFailsAndKeepsEarlierIncrements) {
  BigramMap counts{{key_of("本語"), kMax}};
  const auto status = count_bigrams("日本語", counts);
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error(), Error::frequency_overflow());
  EXPECT_EQ(counts.at(key_of("日本")), 1);
  EXPECT_EQ(counts.at(key_of("本語")), kMax);
}

TEST(BigramCountingTest, AbsorbStopsAtTheOverflowingEntry) {
  BigramMap into{{key_of("日本"), kMax - 1}};
  const BigramMap from{{key_of("日本"), 2}};
  const auto status = absorb_bigrams(into, from);
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().kind(), ErrorKind::FrequencyOverflow);
  EXPECT_EQ(into.at(key_of("日本")), kMax - 1);
}

TEST(BigramCounterTest, MergeAndBatchReportOverflow) {
  auto pre_tokenizer = PreTokenizer::create({});
  ASSERT_TRUE(pre_tokenizer);
  BigramCounter full(*pre_tokenizer, BigramMap{{key_of("日本"), kMax}});
  BigramCounter one(*pre_tokenizer);
  ASSERT_TRUE(one.add_text("日本"));
  EXPECT_EQ(full.merge(one).error().kind(), ErrorKind::FrequencyOverflow);
  const std::string texts[] = {"日本"};
  EXPECT_EQ(full.add_batch(texts).error().kind(), ErrorKind::FrequencyOverflow);
  EXPECT_EQ(full.counts().at(key_of("日本")), kMax);
}

TEST(BigramTextTest, KeysOrderLikeTheUtf8OfTheirText) {
  const std::string texts[] = {"ไท", "日本", "本語", "한국", "𠀀𠀁"};
  for (const auto& a : texts) {
    EXPECT_EQ(bigram_text(key_of(a)), a);
    for (const auto& b : texts) EXPECT_EQ(key_of(a) < key_of(b), a < b) << a << " " << b;
  }
}

}  // namespace
}  // namespace vellum
