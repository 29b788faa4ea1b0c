#include "bpe/units.hpp"
