#include "bpe/rewrite/merge_words.hpp"
