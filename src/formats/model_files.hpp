// Saving a validated model: its vocabulary and its merge list, each as a file of the "gpt2" or
// "vellum" format.
//
// Both check the format against the model's unit before any file is created (SpecError), then
// create or truncate `path` (Io error on failure). They only read the model, so any number of
// threads may save one model at once, to different paths.
#pragma once

#include <string>
#include <string_view>

#include "bpe/model.hpp"
#include "util/error.hpp"

namespace vellum {

template <class Kind>
[[nodiscard]] Result<void> save_vocab(const BpeModel<Kind>& model, const std::string& path, std::string_view format);

template <class Kind>
[[nodiscard]] Result<void> save_merges(const BpeModel<Kind>& model, const std::string& path, std::string_view format);

}  // namespace vellum
