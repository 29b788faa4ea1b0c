#include "bpe/trainer/trainer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bpe/unit_kinds.hpp"
#include "recording_receiver.hpp"

namespace vellum {
namespace {

TEST(TrainerMetricsTest, SizeMetricsAtStartEveryHundredAndEnd) {
  Trainer<ByteUnit> trainer({}, TrainerOptions{});
  std::vector<std::string> texts;
  std::vector<std::pair<std::string_view, std::int64_t>> words;
  for (int i = 0; i < 400; ++i) texts.push_back("w" + std::to_string(i * 7919));
  for (const auto& text : texts) words.emplace_back(text, 1);
  ASSERT_TRUE(trainer.replace_inventory(words).has_value());

  RecordingReceiver receiver;
  events::install(&receiver);
  auto size = trainer.train_until(410);
  events::install(nullptr);
  ASSERT_TRUE(size.has_value());
  ASSERT_EQ(*size, 410u);

  std::vector<std::string> sizes;
  int histograms = 0;
  for (const std::string& line : receiver.lines()) {
    if (line.starts_with("counter bpe_trainer.vocab_size = ")) sizes.push_back(line.substr(33));
    histograms += line.starts_with("histogram bpe_trainer.freq ");
  }
  EXPECT_EQ(sizes, (std::vector<std::string>{"256", "300", "400", "410"}));
  EXPECT_EQ(histograms, static_cast<int>(trainer.merges().size()));
}

}  // namespace
}  // namespace vellum
