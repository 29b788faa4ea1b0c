#include "util/regex.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace vellum {
namespace {

std::vector<std::string> all_matches(const Regex& regex, std::string_view subject) {
  std::vector<std::string> matches;
  auto status = regex.for_each_match(subject, [&](MatchSpan span) -> Result<void> {
    matches.emplace_back(subject.substr(span.start, span.end - span.start));
    return ok();
  });
  EXPECT_TRUE(status.has_value());
  return matches;
}

struct MatchCase {
  const char* pattern;
  const char* subject;
  std::vector<std::string> expected;
};

void PrintTo(const MatchCase& test, std::ostream* out) {
  *out << '/' << test.pattern << "/ on \"" << test.subject << '"';
}

class RegexMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(RegexMatchTest, FindsSuccessiveNonOverlappingMatches) {
  const MatchCase& test = GetParam();
  auto regex = Regex::compile(test.pattern);
  ASSERT_TRUE(regex.has_value());
  EXPECT_EQ(all_matches(**regex, test.subject), test.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegexMatchTest,
    ::testing::Values(
        MatchCase{"a+", "baac a", {"aa", "a"}},
        // Empty matches never repeat at one position, so the scan always advances.
        MatchCase{"a*", "baa", {"", "aa", ""}},
        MatchCase{"a*", "aab", {"aa", "", ""}},
        MatchCase{"", "\xc3\xa9x", {"", "", ""}},
        MatchCase{"\\p{L}+", "\xe6\x97\xa5\xe6\x9c\xac 12", {"\xe6\x97\xa5\xe6\x9c\xac"}},
        MatchCase{"\\s+(?!\\S)|\\s+", "a  b", {" ", " "}},
        MatchCase{"$^", "abc", {}}));

TEST(RegexTest, InvalidPatternIsARegexErrorNamingTheOffset) {
  auto regex = Regex::compile("ab(");
  ASSERT_FALSE(regex.has_value());
  EXPECT_EQ(regex.error().kind(), ErrorKind::Regex);
  EXPECT_NE(regex.error().message().find("offset 3"), std::string::npos);
}

TEST(RegexTest, CatastrophicBacktrackingFailsInsteadOfHanging) {
  auto regex = Regex::compile("(a+)+$");
  ASSERT_TRUE(regex.has_value());
  const std::string subject = std::string(5000, 'a') + "b";
  auto status = (*regex)->for_each_match(subject, [](MatchSpan) -> Result<void> { return ok(); });
  ASSERT_FALSE(status.has_value());
  EXPECT_EQ(status.error().kind(), ErrorKind::Regex);
}

TEST(RegexTest, CallbackFailureStopsTheScan) {
  auto regex = Regex::compile("\\w");
  ASSERT_TRUE(regex.has_value());
  int calls = 0;
  auto status = (*regex)->for_each_match("abc", [&](MatchSpan) -> Result<void> {
    ++calls;
    return std::unexpected(Error::frequency_overflow());
  });
  EXPECT_EQ(calls, 1);
  ASSERT_FALSE(status.has_value());
  EXPECT_EQ(status.error().kind(), ErrorKind::FrequencyOverflow);
}

TEST(RegexTest, OneCompiledPatternMatchesOnManyThreadsAtOnce) {
  auto regex = Regex::compile("\\p{L}+");
  ASSERT_TRUE(regex.has_value());
  std::string subject;
  for (int i = 0; i < 20000; ++i) subject += "word ";
  std::vector<std::size_t> counts(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < counts.size(); ++t) {
    threads.emplace_back([&, t] { counts[t] = all_matches(**regex, subject).size(); });
  }
  for (auto& thread : threads) thread.join();
  for (const std::size_t count : counts) EXPECT_EQ(count, 20000u);
}

}  // namespace
}  // namespace vellum
