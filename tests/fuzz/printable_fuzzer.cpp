// The printable form: any text (valid UTF-8, as every reader hands it over: JSON strings and
// merges files are checked first) either fails to parse or parses into units whose printable
// form parses back to the same units.
#include "bpe/printable.hpp"
#include "memory_file.hpp"
#include "util/utf8.hpp"

using namespace vellum;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto units = parse_printable(decode_utf8_lossy(std::string(fuzz::as_text(data, size))));
  if (!units) return 0;
  for (const Whitespace whitespace : {Whitespace::AsItself, Whitespace::Escaped}) {
    auto again = parse_printable(printable(std::span<const Character>(*units), whitespace));
    fuzz::require(again.has_value() && *again == *units);
  }
  return 0;
}
