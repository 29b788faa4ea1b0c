// Characters of scripts written without spaces between words (CJK, kana, Hangul, Thai, Lao,
// Khmer, Myanmar): the characters between which bigram splitting may cut.
#pragma once

namespace vellum {

// True exactly for the code points of the 21 no-space script blocks; none lies below U+0E00.
bool is_bigram_char(char32_t c);

}  // namespace vellum
