#include "formats/vocab_file.hpp"
#include "bpe/encoder/encoder.hpp"
#include "tools/unknown.hpp"
