// Merges files of both formats and both units: any bytes either fail to read or read into lines
// that write and read back unchanged. The first byte picks format and unit.
#include "bpe/units.hpp"
#include "formats/merges_file.hpp"
#include "memory_file.hpp"

using namespace vellum;

namespace {

template <class Unit>
void round_trip(std::string_view text, FileFormat format) {
  static fuzz::MemoryFile input;
  static fuzz::MemoryFile written;
  auto lines = read_merges_file<Unit>(input.holding(text), format);
  if (!lines) return;
  fuzz::require(write_merges_file<Unit>(written.path(), format, *lines).has_value());
  auto again = read_merges_file<Unit>(written.path(), format);
  fuzz::require(again.has_value() && again->size() == lines->size());
  for (std::size_t i = 0; i < lines->size(); ++i) {
    const MergeLine<Unit>& a = (*lines)[i];
    const MergeLine<Unit>& b = (*again)[i];
    fuzz::require(*a.left == *b.left && *a.right == *b.right && a.frequency == b.frequency);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text = fuzz::as_text(data + 1, size - 1);
  fuzz::with_file_kind(data[0], [&]<class Unit>(FileFormat format) { round_trip<Unit>(text, format); });
  return 0;
}
