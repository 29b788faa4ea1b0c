#include "formats/vocab_file.hpp"

#include <boost/unordered/unordered_flat_map.hpp>

#include "util/file.hpp"
#include "util/hash.hpp"
#include "util/json_text.hpp"

namespace vellum {

template <class Unit>
Result<void> write_vocab_file(const std::string& path, FileFormat format,
                              std::span<const std::pair<Idx, Token<Unit>>> entries) {
  std::vector<std::pair<std::string, Idx>> members;
  boost::unordered_flat_map<std::string, std::size_t, TextHash, TextEqual> positions;
  for (const auto& [id, token] : entries) {
    std::string text = token_text<Unit>(format, *token);
    const auto [position, inserted] = positions.try_emplace(text, members.size());
    if (inserted) {
      members.emplace_back(std::move(text), id);
    } else {
      members[position->second].second = id;
    }
  }
  std::string document;
  document.reserve(128);
  document += '{';
  for (std::size_t i = 0; i < members.size(); ++i) {
    document += i == 0 ? "\n  " : ",\n  ";
    append_json_string(document, members[i].first);
    document += ": ";
    document += std::to_string(members[i].second);
  }
  document += members.empty() ? "}" : "\n}";

  auto writer = BufferedWriter::create(path);
  if (!writer) return std::unexpected(std::move(writer.error()));
  if (auto status = writer->write(document); !status) return status;
  return writer->finish();
}

template <class Unit>
Result<IdTokens<Unit>> read_vocab_file(const std::string& path, FileFormat format) {
  std::string content;
  if (auto status = read_whole_file(path, content); !status) return std::unexpected(std::move(status.error()));

  // Each distinct key with its last id and the offset where it first stands.
  struct Member {
    std::string key;
    Idx id;
    std::size_t key_offset;
  };
  std::vector<Member> members;
  boost::unordered_flat_map<std::string, std::size_t, TextHash, TextEqual> positions;
  auto status = read_integer_object(content, [&](std::string_view key, std::int64_t id, std::size_t key_offset,
                                                 std::size_t value_offset) -> Result<void> {
    if (id < 0 || id > 0xFFFFFFFF) {
      return std::unexpected(json_error_at("id " + std::to_string(id) +
                                               " is outside the unsigned 32-bit range",
                                           content, value_offset));
    }
    const auto [position, inserted] = positions.try_emplace(std::string(key), members.size());
    if (inserted) {
      members.push_back(Member{std::string(key), static_cast<Idx>(id), key_offset});
    } else {
      members[position->second].id = static_cast<Idx>(id);
    }
    return ok();
  });
  if (!status) return std::unexpected(std::move(status.error()));

  IdTokens<Unit> entries;
  entries.reserve(members.size());
  for (const Member& member : members) {
    auto units = parse_token_text<Unit>(format, member.key);
    if (!units) {
      // A bad escape names the key's position; a character outside the GPT-2 table keeps its
      // bare message, which callers compare in full.
      if (units.error().kind() != ErrorKind::InvalidPrintableEscape) return std::unexpected(std::move(units.error()));
      return std::unexpected(units.error().located(line_and_column(content, member.key_offset)));
    }
    entries.emplace_back(member.id, make_token<Unit>(*std::move(units)));
  }
  return sorted_by_id(std::move(entries));
}

template Result<void> write_vocab_file(const std::string&, FileFormat,
                                       std::span<const std::pair<Idx, Token<std::uint8_t>>>);
template Result<void> write_vocab_file(const std::string&, FileFormat,
                                       std::span<const std::pair<Idx, Token<Character>>>);
template Result<IdTokens<std::uint8_t>> read_vocab_file(const std::string&, FileFormat);
template Result<IdTokens<Character>> read_vocab_file(const std::string&, FileFormat);

}  // namespace vellum
