#include "pretokenizer/pre_tokenizer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vellum {
namespace {

TEST(SpecialTokensPatternTest, EscapesExactlyTheMetacharactersAndKeepsOrder) {
  EXPECT_EQ(special_tokens_pattern({}), "$^");
  EXPECT_EQ(special_tokens_pattern({"[MASK]", "a.b", "<|x|>"}), "\\[MASK\\]|a\\.b|<\\|x\\|>");
  EXPECT_EQ(special_tokens_pattern({"\\.+*?()|[]{}^$#-/"}),
            "\\\\\\.\\+\\*\\?\\(\\)\\|\\[\\]\\{\\}\\^\\$\\#-/");
  EXPECT_EQ(special_tokens_pattern({"b", "a", "b"}), "b|a|b");
}

TEST(PreTokenizerTest, SinkFailureStopsTheTraversalAndIsReturned) {
  PreTokenizerOptions options;
  options.special_tokens = {"<s>"};
  auto pre_tokenizer = PreTokenizer::create(options);
  ASSERT_TRUE(pre_tokenizer.has_value());
  std::vector<std::string> seen;
  auto status = pre_tokenizer->for_each_word("one two<s>three", [&](std::string_view word) -> Result<void> {
    seen.emplace_back(word);
    if (seen.size() == 2) return std::unexpected(Error::frequency_overflow());
    return ok();
  });
  ASSERT_FALSE(status.has_value());
  EXPECT_EQ(status.error().kind(), ErrorKind::FrequencyOverflow);
  EXPECT_EQ(seen, (std::vector<std::string>{"one", " two"}));
}

TEST(PreTokenizerTest, CopiesShareTheCompiledPatterns) {
  PreTokenizerOptions options;
  options.special_tokens = {"<s>"};
  options.pat_str = "\\w+";
  auto original = PreTokenizer::create(options);
  ASSERT_TRUE(original.has_value());
  const PreTokenizer copy = *original;
  EXPECT_EQ(&copy.pattern(), &original->pattern());
  EXPECT_EQ(&copy.special_pattern(), &original->special_pattern());
}

TEST(PreTokenizerTest, DefaultPatternIsCompiledOncePerProcess) {
  auto first = PreTokenizer::create({});
  auto second = PreTokenizer::create({});
  ASSERT_TRUE(first.has_value() && second.has_value());
  EXPECT_EQ(&first->pattern(), &second->pattern());
}

}  // namespace
}  // namespace vellum
