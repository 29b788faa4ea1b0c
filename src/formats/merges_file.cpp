#include "formats/merges_file.hpp"

#include <charconv>

#include "util/file.hpp"
#include "util/utf8.hpp"

namespace vellum {
namespace {

constexpr std::string_view kSeparator = " => ";

// `text` without leading and trailing Unicode whitespace.
std::string_view trim(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t next = begin;
    if (!is_unicode_whitespace(decode_utf8_at(text, next))) break;
    begin = next;
  }
  std::size_t end = text.size();
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && is_utf8_continuation(static_cast<unsigned char>(text[start]))) --start;
    std::size_t pos = start;
    if (!is_unicode_whitespace(decode_utf8_at(text, pos))) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

// The pieces of `text` between runs of Unicode whitespace.
std::vector<std::string_view> split_at_whitespace(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t piece_start = std::string_view::npos;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const bool space = is_unicode_whitespace(decode_utf8_at(text, pos));
    if (space && piece_start != std::string_view::npos) {
      pieces.push_back(text.substr(piece_start, start - piece_start));
      piece_start = std::string_view::npos;
    } else if (!space && piece_start == std::string_view::npos) {
      piece_start = start;
    }
  }
  if (piece_start != std::string_view::npos) pieces.push_back(text.substr(piece_start));
  return pieces;
}

// A signed decimal with an optional sign; 0 when it is anything else.
std::int64_t parse_frequency(std::string_view text) {
  const bool plus = !text.empty() && text[0] == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || (plus && text[0] == '-')) return 0;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

// A token's parse failure: a character that is not allowed names the token's position in the
// file; a bad escape keeps its bare message, which callers compare in full.
Error token_error(Error error, std::string_view file, std::string_view token) {
  if (error.kind() != ErrorKind::InvalidPrintableChar) return error;
  return error.located(line_and_column(file, static_cast<std::size_t>(token.data() - file.data())));
}

}  // namespace

template <class Unit>
Result<void> write_merges_file(const std::string& path, FileFormat format,
                               std::span<const MergeLine<Unit>> merges) {
  auto writer = BufferedWriter::create(path);
  if (!writer) return std::unexpected(std::move(writer.error()));
  std::string line;
  for (const MergeLine<Unit>& merge : merges) {
    line = token_text<Unit>(format, *merge.left, Whitespace::Escaped);
    line += ' ';
    line += token_text<Unit>(format, *merge.right, Whitespace::Escaped);
    line += kSeparator;
    line += std::to_string(merge.frequency);
    line += '\n';
    if (auto status = writer->write(line); !status) return status;
  }
  return writer->finish();
}

template <class Unit>
Result<std::vector<MergeLine<Unit>>> read_merges_file(const std::string& path, FileFormat format) {
  std::string content;
  if (auto status = read_whole_file(path, content); !status) return std::unexpected(std::move(status.error()));
  if (valid_utf8_prefix_length(content) != content.size()) {
    return std::unexpected(Error::io("stream did not contain valid UTF-8"));
  }
  std::vector<MergeLine<Unit>> merges;
  const std::string_view text = content;
  std::uint64_t line_number = 0;
  for (std::size_t start = 0; start < text.size(); ++line_number) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (end < text.size() && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = next;
    if (trim(line).empty()) continue;

    std::int64_t frequency = 0;
    std::string_view main_part = line;
    if (const std::size_t separator = line.rfind(kSeparator); separator != std::string_view::npos) {
      frequency = parse_frequency(trim(line.substr(separator + kSeparator.size())));
      main_part = line.substr(0, separator);
    }
    const std::vector<std::string_view> pieces = split_at_whitespace(trim(main_part));
    if (pieces.size() != 2) return std::unexpected(Error::merge_txt("main parts is not 2", line_number));
    auto left = parse_token_text<Unit>(format, pieces[0]);
    if (!left) return std::unexpected(token_error(std::move(left.error()), text, pieces[0]));
    auto right = parse_token_text<Unit>(format, pieces[1]);
    if (!right) return std::unexpected(token_error(std::move(right.error()), text, pieces[1]));
    merges.push_back(MergeLine<Unit>{make_token<Unit>(*std::move(left)), make_token<Unit>(*std::move(right)),
                                     frequency});
  }
  return merges;
}

template Result<void> write_merges_file(const std::string&, FileFormat, std::span<const MergeLine<std::uint8_t>>);
template Result<void> write_merges_file(const std::string&, FileFormat, std::span<const MergeLine<Character>>);
template Result<std::vector<MergeLine<std::uint8_t>>> read_merges_file(const std::string&, FileFormat);
template Result<std::vector<MergeLine<Character>>> read_merges_file(const std::string&, FileFormat);

}  // namespace vellum
