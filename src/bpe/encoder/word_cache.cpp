#include "bpe/encoder/word_cache.hpp"

#include <algorithm>

namespace vellum {

WordCache::WordCache(std::size_t capacity)
    : shard_capacity_(std::max<std::size_t>(1, capacity / kShards)) {}

WordCache::Shard& WordCache::shard_of(std::string_view word) const {
  // The map hashes the full key again and relies on both ends of the hash: a group's position
  // comes from the top bits, the tag matched within a group from the low byte. The shard takes
  // bits 32-37, which neither uses below 2^26 groups per shard. The top 6 bits (which put every
  // key of a shard on 1/64 of its groups) lost: warm encoding of English 56.6 against 64.9 MB/s,
  // CJK 37.2 against 42.5 MB/s (bench/encode.py, one loaded run each).
  return shards_[(TextHash{}(word) >> 32) % kShards];
}

const SharedIds* WordCache::hit(Shard& shard, std::string_view word) const {
  auto found = shard.entries.find(word);
  if (found == shard.entries.end()) return nullptr;
  hits_.fetch_add(1, std::memory_order_relaxed);
  if (found->second.count < UINT32_MAX) ++found->second.count;
  return &found->second.ids;
}

SharedIds WordCache::find(std::string_view word) const {
  Shard& shard = shard_of(word);
  const std::lock_guard lock(shard.mutex);
  const SharedIds* ids = hit(shard, word);
  return ids == nullptr ? nullptr : *ids;
}

bool WordCache::find_into(std::string_view word, std::vector<Idx>& out) const {
  Shard& shard = shard_of(word);
  const std::lock_guard lock(shard.mutex);
  const SharedIds* ids = hit(shard, word);
  if (ids == nullptr) return false;
  out.insert(out.end(), (*ids)->begin(), (*ids)->end());
  return true;
}

void WordCache::insert(std::string_view word, SharedIds ids) const {
  Shard& shard = shard_of(word);
  const std::lock_guard lock(shard.mutex);
  if (shard.entries.size() >= shard_capacity_ && !shard.entries.contains(word)) sweep(shard);
  shard.entries.try_emplace(std::string(word), Entry{std::move(ids), 0});
}

void WordCache::sweep(Shard& shard) const {
  const std::size_t target = shard_capacity_ - shard_capacity_ / 4 - 1;
  // Words not hit since the last sweep go; the others age by half.
  boost::unordered::erase_if(shard.entries, [](auto& entry) {
    if (entry.second.count == 0) return true;
    entry.second.count /= 2;
    return false;
  });
  if (shard.entries.size() <= target) return;
  // Still too full: drop the least counted entries down to three quarters.
  std::vector<std::uint32_t> counts;
  counts.reserve(shard.entries.size());
  for (const auto& [word, entry] : shard.entries) counts.push_back(entry.count);
  const std::size_t drop = shard.entries.size() - target;
  std::nth_element(counts.begin(), counts.begin() + static_cast<std::ptrdiff_t>(drop - 1), counts.end());
  const std::uint32_t threshold = counts[drop - 1];
  std::size_t dropped = 0;
  boost::unordered::erase_if(shard.entries, [&](const auto& entry) {
    if (dropped < drop && entry.second.count <= threshold) {
      ++dropped;
      return true;
    }
    return false;
  });
}

std::size_t WordCache::size() const {
  std::size_t total = 0;
  for (Shard& shard : shards_) {
    const std::lock_guard lock(shard.mutex);
    total += shard.entries.size();
  }
  return total;
}

}  // namespace vellum
