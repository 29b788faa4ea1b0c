#include "bpe/model.hpp"

#include "bpe/unit_kinds.hpp"
#include "formats/merges_file.hpp"
#include "formats/vocab_file.hpp"

namespace vellum {

template <class Kind>
Result<void> BpeModel<Kind>::save_vocab(const std::string& path, std::string_view format) const {
  auto file_format = format_for_unit(format, Kind::kName);
  if (!file_format) return std::unexpected(std::move(file_format.error()));
  return write_vocab_file<Unit>(path, *file_format, vocabulary_);
}

template <class Kind>
Result<void> BpeModel<Kind>::save_merges(const std::string& path, std::string_view format) const {
  auto file_format = format_for_unit(format, Kind::kName);
  if (!file_format) return std::unexpected(std::move(file_format.error()));
  std::vector<MergeLine<Unit>> lines;
  lines.reserve(merges_.size());
  for (const ModelMerge<Kind>& merge : merges_) {
    lines.push_back(MergeLine<Unit>{merge.left_token, merge.right_token, merge.frequency});
  }
  return write_merges_file<Unit>(path, *file_format, lines);
}

template class BpeModel<ByteUnit>;
template class BpeModel<CharUnit>;

}  // namespace vellum
