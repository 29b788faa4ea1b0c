// Encoder construction from fuzzed vocabulary and merges files, then an encode/decode round trip.
// Input: one byte choosing format and unit, then the vocabulary file, the merges file and a text,
// separated by NUL bytes. Construction may fail; an encoder that builds must encode the text
// (or report a missing unit) and decode its ids back to the text.
#include <string>
#include <variant>

#include "formats/encoder_sources.hpp"
#include "memory_file.hpp"
#include "util/utf8.hpp"

using namespace vellum;

namespace {

// The next NUL-terminated part of `rest` (all of it when there is no NUL), removed from `rest`.
std::string_view take_part(std::string_view& rest) {
  const std::size_t end = rest.find('\0');
  const std::string_view part = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::MemoryFile vocab_file;
  static fuzz::MemoryFile merges_file;
  if (size == 0) return 0;
  std::string_view rest = fuzz::as_text(data + 1, size - 1);
  EncoderSources sources;
  const int choice = data[0] % 3;
  sources.format = choice == 0 ? "gpt2" : "vellum";
  sources.unit = choice == 2 ? "unicode" : "byte";
  sources.vocab_file = vocab_file.holding(take_part(rest));
  sources.merges_file = merges_file.holding(take_part(rest));
  const std::string text = decode_utf8_lossy(std::string(rest));
  auto built = build_encoder(sources, EncoderOptions{});
  if (!built) return 0;
  std::visit(
      [&](const auto& encoder) {
        auto ids = encoder->encode(text);
        if (!ids) {
          fuzz::require(ids.error().kind() == ErrorKind::OovBytes);
          return;
        }
        auto decoded = encoder->decode(*ids);
        fuzz::require(decoded.has_value() && *decoded == text);
      },
      *built);
  return 0;
}
