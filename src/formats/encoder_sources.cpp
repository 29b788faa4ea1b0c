#include "formats/encoder_sources.hpp"

#include "bpe/token_text.hpp"
#include "formats/merges_file.hpp"
#include "formats/vocab_file.hpp"

namespace vellum {
namespace {

// Plain text as a token: its bytes, or its characters.
template <class Kind>
Token<typename Kind::Unit> plain_token(std::string_view text) {
  return make_token(Kind::units_of_text(text));
}

template <class Kind>
Result<IdTokens<typename Kind::Unit>> load_vocabulary(const EncoderSources& sources, FileFormat format) {
  using Unit = typename Kind::Unit;
  if (sources.vocab_file) return read_vocab_file<Unit>(*sources.vocab_file, format);
  if (!sources.vocab) return std::unexpected(Error::bpe_builder("Either vocab_file or vocab must be provided"));
  IdTokens<Unit> vocabulary;
  vocabulary.reserve(sources.vocab->size());
  for (const auto& [text, id] : *sources.vocab) vocabulary.emplace_back(id, plain_token<Kind>(text));
  return sorted_by_id(std::move(vocabulary));
}

template <class Kind>
Result<std::vector<std::pair<Token<typename Kind::Unit>, Token<typename Kind::Unit>>>> load_merges(
    const EncoderSources& sources, FileFormat format) {
  using Unit = typename Kind::Unit;
  std::vector<std::pair<Token<Unit>, Token<Unit>>> merges;
  if (sources.merges_file) {
    auto lines = read_merges_file<Unit>(*sources.merges_file, format);
    if (!lines) return std::unexpected(std::move(lines.error()));
    for (auto& line : *lines) merges.emplace_back(std::move(line.left), std::move(line.right));
    return merges;
  }
  if (!sources.merges) return std::unexpected(Error::bpe_builder("Either merges_file or merges must be provided"));
  for (const auto& [left, right] : *sources.merges) {
    merges.emplace_back(plain_token<Kind>(left), plain_token<Kind>(right));
  }
  return merges;
}

template <class Kind>
Result<AnyEncoder> build(const EncoderSources& sources, FileFormat format, const EncoderOptions& options) {
  auto vocabulary = load_vocabulary<Kind>(sources, format);
  if (!vocabulary) return std::unexpected(std::move(vocabulary.error()));
  auto merges = load_merges<Kind>(sources, format);
  if (!merges) return std::unexpected(std::move(merges.error()));
  auto encoder = Encoder<Kind>::from_tokens(*std::move(vocabulary), *merges, sources.special_tokens, options);
  if (!encoder) return std::unexpected(std::move(encoder.error()));
  return AnyEncoder(*std::move(encoder));
}

}  // namespace

Result<AnyEncoder> build_encoder(const EncoderSources& sources, const EncoderOptions& options) {
  const bool unit_known = sources.unit == ByteUnit::kName || sources.unit == CharUnit::kName;
  auto format = format_for_unit(sources.format, unit_known ? sources.unit : std::string_view("?"));
  if (!format || !unit_known) {
    return std::unexpected(Error::spec_error("format " + sources.format + " is not compatible with unit " + sources.unit));
  }
  if (sources.unit == ByteUnit::kName) return build<ByteUnit>(sources, *format, options);
  return build<CharUnit>(sources, *format, options);
}

}  // namespace vellum
