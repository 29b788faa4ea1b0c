// Frequency arithmetic: counts are signed 64-bit and never wrap; diagnostic counters saturate.
#pragma once

#include <cstdint>

#include "util/error.hpp"

namespace vellum {

// Adds `amount` to `count`; on overflow leaves `count` unchanged and returns FrequencyOverflow.
[[nodiscard]] inline Result<void> add_count(std::int64_t& count, std::int64_t amount) {
  std::int64_t sum;
  if (__builtin_add_overflow(count, amount, &sum)) [[unlikely]] {
    return std::unexpected(Error::frequency_overflow());
  }
  count = sum;
  return ok();
}

// Diagnostic counters do not fail: they stop at the largest value.
inline std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
  std::uint64_t sum;
  return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}

}  // namespace vellum
