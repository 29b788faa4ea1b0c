#include "bigram/bigram_split.hpp"

namespace vellum {

Result<BigramSet> parse_unicode_bigrams(const std::vector<std::string>& entries) {
  BigramSet set;
  set.reserve(entries.size());
  for (const std::string& entry : entries) {
    if (count_utf8_chars(entry) != 2) {
      return std::unexpected(
          Error::spec_error("Unicode bigram must contain exactly two chars: " + quote_for_message(entry)));
    }
    std::size_t pos = 0;
    const char32_t first = decode_utf8_at(entry, pos);
    const char32_t second = decode_utf8_at(entry, pos);
    set.insert(pack_bigram(first, second));
  }
  return set;
}

}  // namespace vellum
