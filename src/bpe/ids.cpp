#include "bpe/ids.hpp"

#include <cstdio>

#include "util/invariant.hpp"
#include "util/utf8.hpp"

namespace vellum {

Idx to_id(CharIdx symbol) {
  if (symbol.is_char()) {
    std::string character;
    append_utf8(character, symbol.char_value());
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(symbol.char_value()));
    throw InvariantViolation("a CharIdx::Char cannot be converted to an integer id: '" + character +
                             "' (" + code + ")");
  }
  return symbol.id_value();
}

}  // namespace vellum
