// Frequency arithmetic: counts are signed 64-bit and never wrap.
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

}  // namespace vellum
