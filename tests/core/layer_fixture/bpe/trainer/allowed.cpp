#include <vector>
#include "bpe/trainer/other.hpp"
#include "bpe/pair/pair_store.hpp"
#include "bpe/rewrite/merge_words.hpp"
#include "util/error.hpp"
