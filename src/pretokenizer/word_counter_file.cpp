#include "pretokenizer/word_counter_file.hpp"

#include <charconv>

#include "util/file.hpp"
#include "util/json_text.hpp"

namespace vellum {

Result<void> save_word_counts(const std::string& path, const WordMap& counts) {
  auto writer = BufferedWriter::create(path);
  if (!writer) return std::unexpected(std::move(writer.error()));
  // Once the file is open, operating-system failures are reported as Json errors.
  auto as_json = [](Result<void> status) -> Result<void> {
    if (!status) return std::unexpected(Error::json(status.error().text()));
    return ok();
  };
  std::string member;
  char number[24];
  bool first = true;
  if (auto status = as_json(writer->write("{")); !status) return status;
  for (const auto& [word, count] : counts) {
    member.clear();
    if (!first) member += ',';
    first = false;
    append_json_string(member, word);
    member += ':';
    member.append(number, std::to_chars(number, number + sizeof number, count).ptr);
    if (auto status = as_json(writer->write(member)); !status) return status;
  }
  if (auto status = as_json(writer->write("}")); !status) return status;
  return as_json(writer->finish());
}

Result<WordMap> load_word_counts(const std::string& path) {
  std::string content;
  if (auto status = read_whole_file(path, content); !status) {
    return std::unexpected(std::move(status.error()));
  }
  WordMap counts;
  auto status = read_integer_object(content, [&counts](std::string_view word, std::int64_t count, std::size_t,
                                                       std::size_t) -> Result<void> {
    counts.insert_or_assign(std::string(word), count);
    return ok();
  });
  if (!status) return std::unexpected(std::move(status.error()));
  return counts;
}

}  // namespace vellum
