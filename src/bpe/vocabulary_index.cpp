#include "bpe/vocabulary_index.hpp"

namespace vellum {

Result<void> check_canonical_tokens(const IdTokens<std::uint8_t>&) { return ok(); }

Result<void> check_canonical_tokens(const IdTokens<Character>& vocabulary) {
  for (const auto& [id, token] : vocabulary) {
    if (!is_canonical_content(*token)) {
      return std::unexpected(Error::invalid_bpe_model(
          "Unicode vocabulary token " + diagnostic_text(*token) +
          " must be canonical Unicode content or a homogeneous invalid UTF-8 byte fragment"));
    }
  }
  return ok();
}

}  // namespace vellum
