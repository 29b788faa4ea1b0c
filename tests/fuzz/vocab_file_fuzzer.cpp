// Vocabulary files of both formats and both units: any bytes either fail to read or read into a
// vocabulary that writes and reads back unchanged. The first byte picks format and unit.
#include "bpe/id_tokens.hpp"
#include "bpe/units.hpp"
#include "formats/vocab_file.hpp"
#include "memory_file.hpp"

using namespace vellum;

namespace {

template <class Unit>
bool same(const IdTokens<Unit>& a, const IdTokens<Unit>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].first != b[i].first || *a[i].second != *b[i].second) return false;
  }
  return true;
}

// Whatever reads must write, read back, and from then on stay as it is (two texts of one token,
// "a" and an escape of it, become one entry on the first write).
template <class Unit>
void round_trip(std::string_view text, FileFormat format) {
  static fuzz::MemoryFile input;
  static fuzz::MemoryFile written;
  auto vocabulary = read_vocab_file<Unit>(input.holding(text), format);
  if (!vocabulary) return;
  IdTokens<Unit> current = sorted_by_id(*std::move(vocabulary));
  for (int pass = 0; pass < 2; ++pass) {
    fuzz::require(write_vocab_file<Unit>(written.path(), format, current).has_value());
    auto again = read_vocab_file<Unit>(written.path(), format);
    fuzz::require(again.has_value());
    IdTokens<Unit> next = sorted_by_id(*std::move(again));
    if (pass == 1) fuzz::require(same(next, current));
    current = std::move(next);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text = fuzz::as_text(data + 1, size - 1);
  fuzz::with_file_kind(data[0], [&]<class Unit>(FileFormat format) { round_trip<Unit>(text, format); });
  return 0;
}
