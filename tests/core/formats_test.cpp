#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bpe/printable.hpp"
#include "bpe/token_text.hpp"
#include "formats/merges_file.hpp"
#include "formats/vocab_file.hpp"

namespace vellum {
namespace {

Character raw(std::uint8_t byte) { return Character::raw_byte(byte); }
Character sc(char32_t c) { return Character::scalar(c); }
Units<std::uint8_t> bytes_of(std::string_view text) { return Units<std::uint8_t>(text.begin(), text.end()); }

std::string temp_path(const std::string& name) { return ::testing::TempDir() + name; }

void write_text(const std::string& path, std::string_view content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

TEST(PrintableTest, WritesVisibleCharactersAndEscapes) {
  EXPECT_EQ(printable(bytes_of(" the")), "\xE2\x90\xA3the");
  EXPECT_EQ(printable(bytes_of("\n")), "{u000a}");
  EXPECT_EQ(printable(bytes_of("\xC3\xA9")), "\xC3\xA9");
  EXPECT_EQ(printable(bytes_of("\xC3")), "{xc3}");
  EXPECT_EQ(printable(bytes_of("\xE2\x82\xAC\xAC")), "{xe2}{x82}{xac}{xac}");
  EXPECT_EQ(printable(Units<Character>{raw(0xC3), raw(0xA9)}), "{xc3}{xa9}");
  EXPECT_EQ(printable(Units<Character>{sc('{'), sc(0x2423), sc(0x7F), sc('}')}), "{u007b}{u2423}{u007f}{u007d}");
  EXPECT_EQ(printable(Units<Character>{sc(0xA0)}), "\xC2\xA0");
  EXPECT_EQ(printable(Units<Character>{sc(0xA0), sc(0x3000)}, Whitespace::Escaped), "{u00a0}{u3000}");
}

TEST(PrintableTest, ParsesEscapesAndLiteralText) {
  const std::pair<std::string, Units<Character>> cases[] = {
      {"{u0020}", {sc(' ')}},
      {"\xE2\x90\xA3", {sc(' ')}},
      {"{X41}", {sc('{'), sc('X'), sc('4'), sc('1'), sc('}')}},
      {"{x4}", {sc('{'), sc('x'), sc('4'), sc('}')}},
      {"{U0041}", {sc('{'), sc('U'), sc('0'), sc('0'), sc('4'), sc('1'), sc('}')}},
      {"{u1F600}", {sc(0x1F600)}},
      {"{x00ff}a{u0041}", {raw(0xFF), sc('a'), sc('A')}},
      {"", {}},
  };
  for (const auto& [text, expected] : cases) {
    auto parsed = parse_printable(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(*parsed, expected) << text;
  }
}

TEST(PrintableTest, RefusesBadEscapes) {
  const std::pair<std::string, std::string> cases[] = {
      {"{x100}", "Character not in printable set: x100"},
      {"a{ud800}", "Character not in printable set: ud800"},
      {"{u110000}", "Character not in printable set: u110000"},
      {"{u100000000}", "Character not in printable set: ?"},
  };
  for (const auto& [text, message] : cases) {
    auto parsed = parse_printable(text);
    ASSERT_FALSE(parsed.has_value()) << text;
    EXPECT_EQ(parsed.error().message(), message);
  }
}

TEST(TokenTextTest, EveryTokenSurvivesBothFormats) {
  std::mt19937 rng(11);
  const char32_t interesting[] = {' ', '{', '}', 0x2423, 0x7F, 0x0A, 0xA0, 0x85, 0x3000, 0x2028, 0xE9, 0x1F600, 'x'};
  for (int round = 0; round < 3000; ++round) {
    Units<std::uint8_t> bytes(rng() % 8);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(rng());
    for (const FileFormat format : {FileFormat::Gpt2, FileFormat::Vellum}) {
      for (const Whitespace whitespace : {Whitespace::AsItself, Whitespace::Escaped}) {
        auto back = parse_token_text<std::uint8_t>(format, token_text<std::uint8_t>(format, bytes, whitespace));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, bytes);
      }
    }
    Units<Character> units(rng() % 6);
    for (auto& unit : units) {
      unit = rng() % 3 == 0 ? raw(static_cast<std::uint8_t>(rng())) : sc(interesting[rng() % std::size(interesting)]);
    }
    auto back = parse_token_text<Character>(FileFormat::Vellum, token_text<Character>(FileFormat::Vellum, units));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, units);
  }
}

TEST(TokenTextTest, Gpt2TableMapsBytesToPrintableCharacters) {
  EXPECT_EQ(gpt2_char_of_byte(0x00), U'\u0100');
  EXPECT_EQ(gpt2_char_of_byte(0x20), U'\u0120');
  EXPECT_EQ(gpt2_char_of_byte(0x7F), U'\u0121');
  EXPECT_EQ(gpt2_char_of_byte(0xA0), U'\u0142');
  EXPECT_EQ(gpt2_char_of_byte(0xAD), U'\u0143');
  EXPECT_EQ(gpt2_char_of_byte('a'), U'a');
  auto parsed = parse_token_text<std::uint8_t>(FileFormat::Gpt2, "a\xE2\x82\xAC");
  ASSERT_FALSE(parsed.has_value());
  EXPECT_EQ(parsed.error().message(), "Character not in printable set: \xE2\x82\xAC");
}

TEST(VocabFileTest, WritesTheExactLayout) {
  const std::string path = temp_path("vocab_layout.json");
  const IdTokens<std::uint8_t> empty;
  ASSERT_TRUE(write_vocab_file<std::uint8_t>(path, FileFormat::Gpt2, empty).has_value());
  EXPECT_EQ(read_text(path), "{}");
  const IdTokens<std::uint8_t> entries = {{5, make_token(bytes_of("a"))}, {6, make_token(bytes_of("\"\\ "))}};
  ASSERT_TRUE(write_vocab_file<std::uint8_t>(path, FileFormat::Gpt2, entries).has_value());
  EXPECT_EQ(read_text(path), "{\n  \"a\": 5,\n  \"\\\"\\\\\xC4\xA0\": 6\n}");
}

TEST(VocabFileTest, ReadsAnyObjectAndLetTheLastMemberOfAnIdWin) {
  const std::string path = temp_path("vocab_read.json");
  write_text(path, "{\"b\": 1, \"a\": 0, \"c\": 1, \"b\": 2}");
  auto entries = read_vocab_file<std::uint8_t>(path, FileFormat::Vellum);
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), 3u);
  EXPECT_EQ((*entries)[0].first, 0u);
  EXPECT_EQ(*(*entries)[1].second, bytes_of("c"));
  EXPECT_EQ(*(*entries)[2].second, bytes_of("b"));
}

TEST(VocabFileTest, DamagedFilesFailWithTheirKind) {
  const std::string path = temp_path("vocab_damaged.json");
  const std::pair<std::string, std::string> cases[] = {
      {"{\"a\": -1}", "Json error: id -1 is outside the unsigned 32-bit range at line 1 column 7"},
      {"{\"a\": 4294967296}", "Json error: id 4294967296 is outside the unsigned 32-bit range at line 1 column 7"},
      {"{\"a\": 1.5}", "Json error: expected an integer, found a fraction or exponent at line 1 column 7"},
      {"{\"a\": 1", "Json error: EOF while parsing an object at line 1 column 8"},
      {"{\"a\": 1} x", "Json error: trailing characters at line 1 column 10"},
      {"{\"\xE2\x82\xAC\": 1}", "Character not in printable set: \xE2\x82\xAC"},
  };
  for (const auto& [content, message] : cases) {
    write_text(path, content);
    auto entries = read_vocab_file<std::uint8_t>(path, FileFormat::Gpt2);
    ASSERT_FALSE(entries.has_value()) << content;
    EXPECT_EQ(entries.error().message(), message);
  }
  write_text(path, "{\"{x100}\": 1}");
  auto bad_escape = read_vocab_file<Character>(path, FileFormat::Vellum);
  ASSERT_FALSE(bad_escape.has_value());
  EXPECT_EQ(bad_escape.error().kind(), ErrorKind::InvalidPrintableEscape);
  auto missing = read_vocab_file<Character>(temp_path("no/such.json"), FileFormat::Vellum);
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().kind(), ErrorKind::Io);
}

TEST(MergesFileTest, ReadsFrequenciesAndSkipsBlankLines) {
  const std::string path = temp_path("merges_read.txt");
  write_text(path,
             "a b\n"
             "a b => x\n"
             "\n"
             " \t\n"
             "a b =>   7 \r\n"
             "a  b => -3\n"
             "a b => +3\n"
             "#version: 0.2\n"
             "a b => +-3");
  auto merges = read_merges_file<std::uint8_t>(path, FileFormat::Vellum);
  ASSERT_TRUE(merges.has_value());
  std::vector<std::int64_t> frequencies;
  for (const auto& merge : *merges) frequencies.push_back(merge.frequency);
  EXPECT_EQ(frequencies, (std::vector<std::int64_t>{0, 0, 7, -3, 3, 0, 0}));
  EXPECT_EQ(*(*merges)[5].left, bytes_of("#version:"));
}

TEST(MergesFileTest, MainPartMustHaveTwoPieces) {
  const std::string path = temp_path("merges_bad.txt");
  const std::pair<std::string, std::string> cases[] = {
      {"a b c\n", "Merge txt error: main parts is not 2 at line 0"},
      {"a b\n\na b c => 1\n", "Merge txt error: main parts is not 2 at line 2"},
      {"a b =>\n", "Merge txt error: main parts is not 2 at line 0"},
      {"a\n", "Merge txt error: main parts is not 2 at line 0"},
      {"a \xFF b\n", "IO error: stream did not contain valid UTF-8"},
      {"a {x100}\n", "Character not in printable set: x100"},
  };
  for (const auto& [content, message] : cases) {
    write_text(path, content);
    auto merges = read_merges_file<std::uint8_t>(path, FileFormat::Vellum);
    ASSERT_FALSE(merges.has_value()) << content;
    EXPECT_EQ(merges.error().message(), message);
  }
}

TEST(TokenTextPositionTest, BadTokenTextNamesItsLineAndColumn) {
  struct Case {
    const char* what;
    std::string content;
    std::string message;
  };
  const Case vocab_cases[] = {
      {"escape on a later line", "{\n  \"a\": 0,\n  \"b{x100}\": 1}", "Character not in printable set: x100 at line 3 column 3"},
      {"escape beyond a scalar", "{\"a\": 0, \"{ud800}\": 1}", "Character not in printable set: ud800 at line 1 column 10"},
      {"a key given twice is named where it first stands", "{\"{x1ff}\": 0,\n\"{x1ff}\": 1}",
       "Character not in printable set: x1ff at line 1 column 2"},
  };
  const std::string vocab_path = temp_path("vocab_position.json");
  for (const Case& c : vocab_cases) {
    write_text(vocab_path, c.content);
    auto entries = read_vocab_file<Character>(vocab_path, FileFormat::Vellum);
    ASSERT_FALSE(entries.has_value()) << c.what;
    EXPECT_EQ(entries.error().kind(), ErrorKind::InvalidPrintableEscape) << c.what;
    EXPECT_EQ(entries.error().message(), c.message) << c.what;
  }

  const std::pair<FileFormat, Case> merges_cases[] = {
      {FileFormat::Gpt2, {"right token outside the GPT-2 table", "a b\nab \xE2\x82\xAC => 3\n",
                          "Character not in printable set: \xE2\x82\xAC at line 2 column 4"}},
      {FileFormat::Gpt2, {"left token after a blank line and CRLF", "a b\r\n\r\n x\xC8\x80 b\n",
                          "Character not in printable set: \xC8\x80 at line 3 column 2"}},
      {FileFormat::Vellum, {"escape beyond 32 bits", "x  {u100000000} => 1", "Character not in printable set: ? at line 1 column 4"}},
  };
  const std::string merges_path = temp_path("merges_position.txt");
  for (const auto& [format, c] : merges_cases) {
    write_text(merges_path, c.content);
    auto merges = read_merges_file<std::uint8_t>(merges_path, format);
    ASSERT_FALSE(merges.has_value()) << c.what;
    EXPECT_EQ(merges.error().kind(), ErrorKind::InvalidPrintableChar) << c.what;
    EXPECT_EQ(merges.error().message(), c.message) << c.what;
  }
}

TEST(MergesFileTest, TokensWithWhitespaceReadBack) {
  const std::string path = temp_path("merges_whitespace.txt");
  const std::vector<MergeLine<Character>> merges = {
      {make_token(Units<Character>{sc(0xA0), sc('a')}), make_token(Units<Character>{sc(0x3000)}), 4},
      {make_token(Units<Character>{sc(' '), sc(0x2028)}), make_token(Units<Character>{raw(0xC3)}), -1},
  };
  ASSERT_TRUE(write_merges_file<Character>(path, FileFormat::Vellum, merges).has_value());
  EXPECT_EQ(read_text(path), "{u00a0}a {u3000} => 4\n\xE2\x90\xA3{u2028} {xc3} => -1\n");
  auto back = read_merges_file<Character>(path, FileFormat::Vellum);
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->size(), 2u);
  for (std::size_t i = 0; i < merges.size(); ++i) {
    EXPECT_EQ(*(*back)[i].left, *merges[i].left);
    EXPECT_EQ(*(*back)[i].right, *merges[i].right);
    EXPECT_EQ((*back)[i].frequency, merges[i].frequency);
  }
}

}  // namespace
}  // namespace vellum
