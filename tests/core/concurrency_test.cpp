// The parts of the core that run on several threads at once, driven hard enough for the thread
// sanitizer build (make tsan) to see every shared access: parallel file counting, the parallel
// merge rewrite of training, and one encoder used by many threads (word cache, file encoding).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bpe/encoder/encoder.hpp"
#include "bpe/trainer/trainer.hpp"
#include "bpe/unit_kinds.hpp"
#include "pretokenizer/segment_counting.hpp"

namespace vellum {
namespace {

constexpr int kThreads = 4;

// Words over a small alphabet, so that pairs recur across many words and segments.
std::string random_text(std::uint32_t seed, std::size_t words) {
  std::mt19937 rng(seed);
  std::string text;
  for (std::size_t i = 0; i < words; ++i) {
    const std::size_t length = 1 + rng() % 9;
    for (std::size_t j = 0; j < length; ++j) text += std::string(1, "abcdefgh"[rng() % 8]);
    text += (i % 50 == 49) ? "\n" : " ";
    if (i % 97 == 0) text += "日本語 ";
  }
  return text;
}

class ConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("vellum_concurrency_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".txt"))
                .string();
    std::ofstream(path_, std::ios::binary) << random_text(7, 60000);
    auto pre_tokenizer = PreTokenizer::create(PreTokenizerOptions{{}, std::nullopt, std::nullopt, std::nullopt, "keep"});
    ASSERT_TRUE(pre_tokenizer.has_value());
    pre_tokenizer_.emplace(*std::move(pre_tokenizer));
  }
  void TearDown() override { std::filesystem::remove(path_); }

  std::string path_;
  std::optional<PreTokenizer> pre_tokenizer_;
};

TEST_F(ConcurrencyTest, ParallelCountingMatchesOneSegment) {
  auto many = count_file_words(*pre_tokenizer_, path_, ChunkRequest::chunk_size(4096), BoundaryMode::Line);
  auto one = count_file_words(*pre_tokenizer_, path_, ChunkRequest::num_chunks(1), BoundaryMode::Line);
  ASSERT_TRUE(many.has_value() && one.has_value());
  EXPECT_EQ(sorted_word_counts(*many).size(), sorted_word_counts(*one).size());
  for (const auto& [word, count] : *one) EXPECT_EQ(many->at(word), count) << word;
}

TEST_F(ConcurrencyTest, TrainingWithTheParallelRewriteAndEncodingFromManyThreads) {
  auto words = count_file_words(*pre_tokenizer_, path_, ChunkRequest::chunk_size(4096), BoundaryMode::Line);
  ASSERT_TRUE(words.has_value());
  std::vector<std::pair<std::string_view, std::int64_t>> inventory(words->begin(), words->end());
  // A rewrite threshold of 1 sends every merge through the parallel path.
  TrainerOptions options;
  options.parallel_merge_min_occurs_in = 1;
  Trainer<ByteUnit> trainer({}, options);
  ASSERT_TRUE(trainer.replace_inventory(inventory).has_value());
  ASSERT_TRUE(trainer.train_until(600).has_value());
  auto model = trainer.validate_model();
  ASSERT_TRUE(model.has_value());
  auto built = build_encoder(*model, EncoderOptions{});
  ASSERT_TRUE(built.has_value());
  const auto& encoder = std::get<std::shared_ptr<const Encoder<ByteUnit>>>(*built);

  std::ifstream file(path_, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  auto expected = encoder->encode(text);
  ASSERT_TRUE(expected.has_value());

  // Every thread encodes the text line by line (word cache shared and filling), then the whole
  // file in parallel segments, at the same time as the others.
  std::vector<std::optional<TokenIds>> by_lines(kThreads);
  std::vector<std::optional<TokenIds>> by_file(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      TokenIds ids;
      std::size_t start = 0;
      while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        auto line = encoder->encode(std::string_view(text).substr(start, end - start));
        if (!line) return;
        ids.insert(ids.end(), line->begin(), line->end());
        start = end;
      }
      by_lines[t] = std::move(ids);
      auto whole = encoder->encode_file(path_, 8);
      if (whole) by_file[t] = *std::move(whole);
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_TRUE(by_file[t].has_value());
    EXPECT_EQ(*by_file[t], *expected) << "thread " << t;
    ASSERT_TRUE(by_lines[t].has_value());
    auto decoded = encoder->decode(*by_lines[t]);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, text) << "thread " << t;
  }
}

}  // namespace
}  // namespace vellum
