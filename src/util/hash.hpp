// Hashing for the core's hash tables: XXH3 keyed with a random per-process seed, so that hash
// order differs between processes and no output may depend on it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <xxhash.h>

namespace vellum {

namespace detail {
std::uint64_t draw_process_hash_seed();
}  // namespace detail

// Drawn once per process from the operating system's random source.
inline const std::uint64_t kProcessHashSeed = detail::draw_process_hash_seed();

// Hash of text keys; transparent, so maps keyed by std::string accept string_view look-ups.
struct TextHash {
  using is_transparent = void;
  using is_avalanching = std::true_type;
  std::size_t operator()(std::string_view text) const {
    return XXH3_64bits_withSeed(text.data(), text.size(), kProcessHashSeed);
  }
};

struct TextEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return a == b; }
};

// Hash of small trivially copyable keys (ids, pairs of ids or characters).
template <class T>
struct ValueHash {
  static_assert(std::is_trivially_copyable_v<T>);
  using is_avalanching = std::true_type;
  std::size_t operator()(const T& value) const {
    return XXH3_64bits_withSeed(&value, sizeof(T), kProcessHashSeed);
  }
};

// Hash of vectors of small trivially copyable values (token contents).
template <class T>
struct VectorHash {
  static_assert(std::is_trivially_copyable_v<T>);
  using is_avalanching = std::true_type;
  std::size_t operator()(const std::vector<T>& values) const {
    return XXH3_64bits_withSeed(values.data(), values.size() * sizeof(T), kProcessHashSeed);
  }
};

// Makes room for `count` elements without ever shrinking the table: the flat tables' own
// reserve() rehashes to the capacity asked for, even a smaller one, which turned every absorb
// of a small map into a large one into a full rehash.
template <class Table>
void reserve_at_least(Table& table, std::size_t count) {
  if (count > table.max_load()) table.reserve(count);
}

}  // namespace vellum
