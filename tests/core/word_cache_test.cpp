#include "bpe/encoder/word_cache.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace vellum {
namespace {

SharedIds ids_of(Idx id) { return std::make_shared<const TokenIds>(TokenIds{id}); }

TEST(WordCacheTest, StaysWithinItsBound) {
  const WordCache cache(64 * 8);
  for (int i = 0; i < 100'000; ++i) cache.insert("word" + std::to_string(i), ids_of(i));
  EXPECT_LE(cache.size(), 64u * 8);
  EXPECT_GT(cache.size(), 0u);
}

TEST(WordCacheTest, FrequentWordsSurviveAFloodOfOneOffWords) {
  const WordCache cache(64 * 16);
  std::vector<std::string> frequent;
  for (int i = 0; i < 64; ++i) frequent.push_back("frequent" + std::to_string(i));
  int kept = 0;
  for (int round = 0; round < 200; ++round) {
    for (const auto& word : frequent) {
      if (cache.find(word) == nullptr) cache.insert(word, ids_of(1));
    }
    for (int i = 0; i < 500; ++i) cache.insert("once" + std::to_string(round * 500 + i), ids_of(2));
  }
  for (const auto& word : frequent) kept += cache.find(word) != nullptr;
  EXPECT_GE(kept, 60);
}

TEST(WordCacheTest, ConcurrentUseIsSafe) {
  const WordCache cache(64 * 32);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&cache, t] {
      for (int i = 0; i < 20'000; ++i) {
        const std::string word = "w" + std::to_string((i * 7 + t) % 3000);
        if (SharedIds ids = cache.find(word)) {
          EXPECT_EQ(ids->at(0), static_cast<Idx>((i * 7 + t) % 3000));
        } else {
          cache.insert(word, ids_of((i * 7 + t) % 3000));
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_GT(cache.hits(), 0u);
}

}  // namespace
}  // namespace vellum
