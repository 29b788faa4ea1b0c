#include "pretokenizer/segment_counting.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "recording_receiver.hpp"

namespace vellum {
namespace {

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
