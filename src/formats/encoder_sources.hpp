// Building an encoder of either unit from what a caller has: a vocabulary and merges given as
// plain texts, or as files in the gpt2 or vellum format.
//
// build_encoder only reads its sources (files are read whole and closed before it returns) and
// may run on any thread. The encoder it returns is shared and immutable: any number of threads
// may encode with it at once, and it lives as long as its last owner.
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
