#include "pretokenizer/segment_counting.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "util/events.hpp"

namespace vellum {
namespace {

class RecordingReceiver : public events::Receiver {
 public:
  void event(std::string_view target, events::Level, std::string_view message,
             std::initializer_list<events::Field> fields) override {
    std::string line = std::string(target) + " " + std::string(message);
    for (const auto& field : fields) line += " " + std::string(field.name) + "=" + std::to_string(field.value);
    record(line);
  }
  void enter_span(std::string_view, events::Level, std::string_view name,
                  std::initializer_list<events::Field> fields) override {
    std::string line = "enter " + std::string(name);
    for (const auto& field : fields) line += " " + std::string(field.name) + "=" + std::to_string(field.value);
    record(line);
  }
  void exit_span(std::string_view, std::string_view name) override { record("exit " + std::string(name)); }
  void increment_counter(std::string_view name, std::uint64_t amount) override {
    record("counter " + std::string(name) + " +" + std::to_string(amount));
  }
  void record_histogram(std::string_view name, double value) override {
    record("histogram " + std::string(name) + " " + std::to_string(static_cast<long>(value)));
  }
  void set_counter(std::string_view name, std::uint64_t value) override {
    record("counter " + std::string(name) + " = " + std::to_string(value));
  }
  void set_gauge(std::string_view name, double value) override {
    record("gauge " + std::string(name) + " = " + std::to_string(static_cast<long>(value)));
  }

  std::vector<std::string> lines() {
    const std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  void record(std::string line) {
    const std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
  }
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

class SegmentEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "segment_events.txt";
    std::ofstream(path_) << "aaa\nbbb\nccc\n";
    events::install(&receiver_);
  }
  void TearDown() override {
    events::install(nullptr);
    std::remove(path_.c_str());
  }

  std::string path_;
  RecordingReceiver receiver_;
};

TEST_F(SegmentEventsTest, BoundarySearchReportsLayoutAndResult) {
  auto boundaries = find_boundaries(path_, ChunkRequest::chunk_size(5), BoundaryMode::Line, "<eot>");
  ASSERT_TRUE(boundaries.has_value());
  EXPECT_EQ(receiver_.lines(),
            (std::vector<std::string>{
                "vellum::pretokenizer find_chunk_boundaries file_size=12 chunk_size=5 desired_num_chunks=3",
                "vellum::pretokenizer find_chunk_boundaries boundaries.len=3"}));
}

TEST_F(SegmentEventsTest, SegmentCountingReportsSpanMetricsAndResult) {
  auto pre_tokenizer = PreTokenizer::create({});
  ASSERT_TRUE(pre_tokenizer.has_value());
  std::string text;
  WordViewMap counts;
  ASSERT_TRUE(count_segment(*pre_tokenizer, path_, Segment{4, 8}, text, counts).has_value());
  EXPECT_EQ(receiver_.lines(), (std::vector<std::string>{
                                   "enter get_words_from_segment offset=4 len=8",
                                   "counter get_words_from_segment.calls +1",
                                   "counter get_words_from_segment.len +8",
                                   "histogram get_words_from_segment.words_count 3",
                                   "vellum::pretokenizer result words_len=3",
                                   "exit get_words_from_segment",
                               }));
}

TEST_F(SegmentEventsTest, FailedSegmentCountsTheCallOnly) {
  auto pre_tokenizer = PreTokenizer::create({});
  ASSERT_TRUE(pre_tokenizer.has_value());
  std::string text;
  WordViewMap counts;
  auto status = count_segment(*pre_tokenizer, path_, Segment{10, 8}, text, counts);
  ASSERT_FALSE(status.has_value());
  EXPECT_EQ(status.error().message(), "IO error: failed to fill whole buffer");
  EXPECT_EQ(receiver_.lines(), (std::vector<std::string>{
                                   "enter get_words_from_segment offset=10 len=8",
                                   "counter get_words_from_segment.calls +1",
                                   "exit get_words_from_segment",
                               }));
}

}  // namespace
}  // namespace vellum
