// IdTokens: a vocabulary as (id, token) entries in ascending id order; ids may have gaps.
#pragma once

#include <utility>
#include <vector>

#include "bpe/ids.hpp"
#include "bpe/units.hpp"

namespace vellum {

template <class Unit>
using IdTokens = std::vector<std::pair<Idx, Token<Unit>>>;

}  // namespace vellum
