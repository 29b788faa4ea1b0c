// Building an encoder of either unit from what a caller has: a vocabulary and merges given as
// plain texts, or as files in the gpt2 or vellum format.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bpe/encoder/encoder.hpp"
#include "bpe/unit_kinds.hpp"
#include "util/error.hpp"

namespace vellum {

struct EncoderSources {
  std::string format;
  std::string unit;
  std::optional<std::vector<std::pair<std::string, Idx>>> vocab;  // plain token text to id
  std::optional<std::vector<std::pair<std::string, std::string>>> merges;  // plain token texts
  std::optional<std::string> vocab_file;
  std::optional<std::string> merges_file;
  std::vector<std::string> special_tokens;
};

// Checks the format against the unit (before anything is read), takes the vocabulary from the
// file if given, else from the texts (BpeBuilder error when neither), the same for the merges,
// and builds the encoder.
[[nodiscard]] Result<AnyEncoder> build_encoder(const EncoderSources& sources, const EncoderOptions& options);

}  // namespace vellum
