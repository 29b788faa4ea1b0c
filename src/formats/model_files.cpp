#include "formats/model_files.hpp"

#include <vector>

#include "bpe/token_text.hpp"
#include "bpe/unit_kinds.hpp"
#include "formats/merges_file.hpp"
#include "formats/vocab_file.hpp"

namespace vellum {

template <class Kind>
Result<void> save_vocab(const BpeModel<Kind>& model, const std::string& path, std::string_view format) {
  auto file_format = format_for_unit(format, Kind::kName);
  if (!file_format) return std::unexpected(std::move(file_format.error()));
  return write_vocab_file<typename Kind::Unit>(path, *file_format, model.vocabulary());
}

template <class Kind>
Result<void> save_merges(const BpeModel<Kind>& model, const std::string& path, std::string_view format) {
  using Unit = typename Kind::Unit;
  auto file_format = format_for_unit(format, Kind::kName);
  if (!file_format) return std::unexpected(std::move(file_format.error()));
  std::vector<MergeLine<Unit>> lines;
  lines.reserve(model.merges().size());
  for (const ModelMerge<Kind>& merge : model.merges()) {
    lines.push_back(MergeLine<Unit>{merge.left_token, merge.right_token, merge.frequency});
  }
  return write_merges_file<Unit>(path, *file_format, lines);
}

template Result<void> save_vocab(const BpeModel<ByteUnit>&, const std::string&, std::string_view);
template Result<void> save_vocab(const BpeModel<CharUnit>&, const std::string&, std::string_view);
template Result<void> save_merges(const BpeModel<ByteUnit>&, const std::string&, std::string_view);
template Result<void> save_merges(const BpeModel<CharUnit>&, const std::string&, std::string_view);

}  // namespace vellum
