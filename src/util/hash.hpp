// Hashing for the core's hash tables: XXH3 keyed with a random per-process seed, so that hash
// order differs between processes and no output may depend on it.
#pragma once

#include <cstdint>
#include <cstring>
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

// Equality of text keys. Words are mostly a few bytes long, and a call into the library's
// memcmp for each hit of a lookup cost a quarter of word-counting time; fixed-size loads inline.
struct TextEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    const char* x = a.data();
    const char* y = b.data();
    std::size_t n = a.size();
    for (; n >= 8; n -= 8, x += 8, y += 8) {
      if (load<std::uint64_t>(x) != load<std::uint64_t>(y)) return false;
    }
    if (n >= 4) {
      return load<std::uint32_t>(x) == load<std::uint32_t>(y) &&
             load<std::uint32_t>(x + n - 4) == load<std::uint32_t>(y + n - 4);
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (x[i] != y[i]) return false;
    }
    return true;
  }

 private:
  template <class Word>
  static Word load(const char* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
  }
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
