// WordRecord: one entry of a trainer's word inventory, shared by the trainer, which owns the
// inventory, and the pair store, whose hot pair window scans it.
#pragma once

#include <cstdint>
#include <vector>

namespace vellum {

// The current segmentation of a word and its weight. (The word's own units are the concatenated
// contents of its symbols, so the record does not store them.)
template <class Kind>
struct WordRecord {
  std::vector<typename Kind::Symbol> symbols;
  std::int64_t frequency;
};

}  // namespace vellum
