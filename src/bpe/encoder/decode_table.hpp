// DecodeTable: the bytes of each token id, in memory that follows the number of entries, not the
// largest id.
//
// Ids below the dense bound are found by indexing; the bound is the largest id plus one, capped
// at twice the entry count plus 64 Ki, so an ordinary vocabulary is wholly dense and a sparse one
// (a few ids near 2^32, say) costs a hash-map entry for each id above the cap instead of a table
// entry for every id below it. Immutable after construction; safe to read from any thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "bpe/ids.hpp"

namespace vellum {

class DecodeTable {
 public:
  // `entries` are (id, token) in ascending id order; `bytes_of(token)` gives a token's bytes.
  template <class Entries, class BytesOf>
  DecodeTable(const Entries& entries, BytesOf&& bytes_of) {
    const std::size_t id_end = entries.empty() ? 0 : std::size_t{entries.back().first} + 1;
    const std::size_t dense_end = std::min(id_end, 2 * entries.size() + kDenseSlack);
    dense_offsets_.reserve(dense_end + 1);
    dense_known_.assign(dense_end, false);
    std::uint64_t dense_bytes_end = 0;  // ids ascend: the dense entries' bytes come first
    for (const auto& [id, token] : entries) {
      const std::uint64_t offset = bytes_.size();
      bytes_ += bytes_of(token);
      if (id < dense_end) {
        while (dense_offsets_.size() <= id) dense_offsets_.push_back(offset);
        dense_known_[id] = true;
        dense_bytes_end = bytes_.size();
      } else {
        sparse_.insert_or_assign(id, Span{offset, bytes_.size() - offset});
      }
    }
    while (dense_offsets_.size() <= dense_end) dense_offsets_.push_back(dense_bytes_end);
  }

  // The bytes of `id`, or nullopt when the vocabulary has no such id.
  std::optional<std::string_view> find(Idx id) const {
    if (id < dense_known_.size()) {
      if (!dense_known_[id]) return std::nullopt;
      return std::string_view(bytes_).substr(dense_offsets_[id], dense_offsets_[id + 1] - dense_offsets_[id]);
    }
    auto found = sparse_.find(id);
    if (found == sparse_.end()) return std::nullopt;
    return std::string_view(bytes_).substr(found->second.offset, found->second.length);
  }

  // Every id below this bound is found by indexing.
  std::size_t dense_bound() const { return dense_known_.size(); }

 private:
  static constexpr std::size_t kDenseSlack = std::size_t{1} << 16;

  struct Span {
    std::uint64_t offset;
    std::uint64_t length;
  };

  std::string bytes_;
  std::vector<std::uint64_t> dense_offsets_;  // id's bytes: [offsets[id], offsets[id + 1])
  std::vector<bool> dense_known_;
  boost::unordered_flat_map<Idx, Span> sparse_;
};

}  // namespace vellum
