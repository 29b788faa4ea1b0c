#include "util/hash.hpp"

#include <random>

namespace vellum::detail {

std::uint64_t draw_process_hash_seed() {
  std::random_device device;
  return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

}  // namespace vellum::detail
