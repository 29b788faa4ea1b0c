#include "bpe/units.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bpe/ids.hpp"
#include "util/invariant.hpp"

namespace vellum {
namespace {

Character raw(std::uint8_t byte) { return Character::raw_byte(byte); }
Character sc(char32_t c) { return Character::scalar(c); }

TEST(CanonicalDecodingTest, LeadBytesAbsorbTheirContinuations) {
  const std::pair<std::string, Units<Character>> cases[] = {
      {"", {}},
      {"\xC3", {raw(0xC3)}},
      {"\xC3" "A", {raw(0xC3), sc('A')}},
      {"\x80", {raw(0x80)}},
      {"\xF0\x9F\x98\x80", {sc(0x1F600)}},
      {"\xED\xA0\x80", {raw(0xED), raw(0xA0), raw(0x80)}},
      {"\xE2\x82\xAC", {sc(0x20AC)}},
      {"\xE2\x82\xAC\xAC", {raw(0xE2), raw(0x82), raw(0xAC), raw(0xAC)}},
      {"\xC0\xAF", {raw(0xC0), raw(0xAF)}},
      {"a\xC3\xA9", {sc('a'), sc(0xE9)}},
  };
  for (const auto& [bytes, expected] : cases) {
    EXPECT_EQ(decode_canonical(bytes), expected) << bytes;
    EXPECT_EQ(token_bytes(decode_canonical(bytes)), bytes);
  }
}

TEST(CanonicalContentTest, AllScalarsOrSelfDecodingRawBytes) {
  EXPECT_TRUE(is_canonical_content(Units<Character>{}));
  EXPECT_TRUE(is_canonical_content(Units<Character>{sc('a'), sc(0xE9)}));
  EXPECT_TRUE(is_canonical_content(Units<Character>{raw(0xC3)}));
  EXPECT_TRUE(is_canonical_content(Units<Character>{raw(0xE2), raw(0x82)}));
  EXPECT_FALSE(is_canonical_content(Units<Character>{raw(0xC3), raw(0xA9)}));
  EXPECT_FALSE(is_canonical_content(Units<Character>{raw(0x41)}));
  EXPECT_FALSE(is_canonical_content(Units<Character>{sc('a'), raw(0x80)}));
}

TEST(CanonicalMergeCheckTest, OperandsMustBeHomogeneousAndConcatenate) {
  const Units<Character> e2{raw(0xE2)}, e282{raw(0xE2), raw(0x82)}, x82ac{raw(0x82), raw(0xAC)};
  const Units<Character> a{sc('a')}, b{sc('b')}, ab{sc('a'), sc('b')}, x80{raw(0x80)};
  EXPECT_TRUE(passes_canonical_merge_check(e2, x82ac, Units<Character>{sc(0x20AC)}));
  EXPECT_TRUE(passes_canonical_merge_check(e2, Units<Character>{raw(0x82)}, e282));
  EXPECT_TRUE(passes_canonical_merge_check(a, b, ab));
  EXPECT_FALSE(passes_canonical_merge_check(a, x80, Units<Character>{sc('a'), raw(0x80)}));
  EXPECT_FALSE(passes_canonical_merge_check(Units<Character>{}, ab, ab));
  EXPECT_FALSE(passes_canonical_merge_check(a, b, Units<Character>{sc('b'), sc('a')}));
}

TEST(UnitOrderTest, ScalarsSortBeforeRawBytesAndCharsBeforeIds) {
  EXPECT_LT(sc(0x10FFFF), raw(0x00));
  EXPECT_LT(raw(0x80), raw(0x81));
  EXPECT_LT(CharIdx::character(0x10FFFF), CharIdx::id(0));
  EXPECT_LT(CharIdx::id(5), CharIdx::id(6));
  EXPECT_LT(CharIdx::id(CharIdx::kMaxId), CharIdx::marker());
}

TEST(DiagnosticTextTest, RawBytesAreEscaped) {
  EXPECT_EQ(diagnostic_text(Units<Character>{sc(0xE9), raw(0xC3), sc('x')}), "\xC3\xA9\\xc3x");
}

TEST(CharIdxTest, CharHasNoIntegerId) {
  EXPECT_EQ(to_id(CharIdx::id(42)), 42u);
  try {
    (void)to_id(CharIdx::character(0xE9));
    FAIL() << "expected an invariant violation";
  } catch (const InvariantViolation& error) {
    EXPECT_EQ(std::string(error.what()),
              "a CharIdx::Char cannot be converted to an integer id: '\xC3\xA9' (U+00E9)");
  }
}

}  // namespace
}  // namespace vellum
