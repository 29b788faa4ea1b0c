#include "util/error.hpp"

#include <gtest/gtest.h>

namespace vellum {
namespace {

TEST(ErrorTest, EveryKindRendersItsTemplate) {
  const std::pair<Error, const char*> cases[] = {
      {Error::io("No such file or directory (os error 2)"),
       "IO error: No such file or directory (os error 2)"},
      {Error::regex("missing )"), "Regex error: missing )"},
      {Error::json("expected value at line 1 column 2"),
       "Json error: expected value at line 1 column 2"},
      {Error::merge_txt("expected two tokens", 7), "Merge txt error: expected two tokens at line 7"},
      {Error::utf8("invalid byte"), "UTF-8 error: invalid byte"},
      {Error::invalid_printable_char(U'\u00e9'), "Character not in printable set: \u00e9"},
      {Error::invalid_printable_escape("{u zz}"), "Character not in printable set: {u zz}"},
      {Error::oov("<|x|>"), "Out of vocabulary: <|x|>"},
      {Error::oov_idx(18446744073709551615ULL), "Out of vocabulary idx: 18446744073709551615"},
      {Error::oov_bytes("[255]"), "Out of vocabulary bytes: [255]"},
      {Error::train_step(), "No more step could be performed"},
      {Error::target_vocab_too_small(100, 300),
       "Target vocabulary size 100 is smaller than the current vocabulary size 300"},
      {Error::spec_error("Unknown boundary mode: x"), "Specification error: Unknown boundary mode: x"},
      {Error::bpe_builder("Either vocab_file or vocab must be provided"),
       "Bpe builder: Either vocab_file or vocab must be provided"},
      {Error::invalid_bpe_model("bad"), "Invalid BPE model: bad"},
      {Error::frequency_overflow(), "Frequency overflow"},
      {Error::source_batch("max_records must be at least 1"),
       "Source batch error: max_records must be at least 1"},
  };
  for (const auto& [error, message] : cases) EXPECT_EQ(error.message(), message);
}

TEST(ErrorTest, KindsKeepTheirFixedOrder) {
  EXPECT_EQ(static_cast<int>(Error::io("").kind()), 0);
  EXPECT_EQ(static_cast<int>(Error::train_step().kind()), 10);
  EXPECT_EQ(static_cast<int>(Error::source_batch("").kind()), 16);
}

}  // namespace
}  // namespace vellum
