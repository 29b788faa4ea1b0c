#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "bpe/trainer/trainer.hpp"
#include "bpe/unit_kinds.hpp"
#include "recording_receiver.hpp"

namespace vellum {
namespace {

TEST(BbpeFallbackTest, RefusesByteTrainersAndBadRatiosWithoutChangingState) {
  Trainer<ByteUnit> bytes({}, TrainerOptions{});
  auto refused = bytes.train_until_with_bbpe_fallback(300, 0.5);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().message(), "Specification error: bbpe_fallback requires a Unicode trainer");

  Trainer<CharUnit> characters({}, TrainerOptions{});
  const std::vector<std::pair<std::string_view, std::int64_t>> words{{"ab", 3}};
  ASSERT_TRUE(characters.replace_inventory(words).has_value());
  for (const double ratio : {-0.5, 1.01, std::numeric_limits<double>::quiet_NaN()}) {
    auto result = characters.train_until_with_bbpe_fallback(300, ratio);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message(), "Specification error: primary_vocab_ratio must be finite and between 0 and 1");
  }
  EXPECT_EQ(characters.train_until(257), 257u);  // neither finalized nor failed
}

TEST(BbpeFallbackTest, TheByteTrainerRecordsMergeHistogramsButNoSizeMetrics) {
  Trainer<CharUnit> trainer({"<s>"}, TrainerOptions{});
  const std::vector<std::pair<std::string_view, std::int64_t>> words{{"ab", 10}, {"\xC3\xA9", 6}, {"cd", 4}};
  ASSERT_TRUE(trainer.replace_inventory(words).has_value());

  RecordingReceiver receiver;
  events::install(&receiver);
  auto size = trainer.train_until_with_bbpe_fallback(261, 0.0);
  events::install(nullptr);
  ASSERT_TRUE(size.has_value());
  ASSERT_EQ(*size, 260u);  // ab, cd and the composed é: nothing else is left to merge

  std::vector<std::string> sizes;
  int histograms = 0;
  for (const std::string& line : receiver.lines()) {
    if (line.starts_with("counter bpe_trainer.vocab_size = ")) sizes.push_back(line.substr(33));
    histograms += line.starts_with("histogram bpe_trainer.freq ");
  }
  // Only the resumed character phase reports sizes; the byte merge of é adds one histogram.
  EXPECT_EQ(sizes, (std::vector<std::string>{"257", "259"}));
  EXPECT_EQ(histograms, 3);
  ASSERT_EQ(trainer.merges().size(), 3u);
  EXPECT_EQ(trainer.merges()[1].frequency, 6);
  EXPECT_EQ(*trainer.merges()[1].target, 259u);
}

}  // namespace
}  // namespace vellum
