// TokenTable: a trainer's vocabulary, id to token, with ids handed out densely from 0.
//
// Entries are only ever added. Tokens are shared by reference with words, merge records and the
// pair store. Not thread-safe for writes; reads may run concurrently. The references that `at`
// and `tokens` return stay valid until the next `add` (which may grow the table); the Token they
// name may be copied to outlive that.
#pragma once

#include <cstdint>
#include <vector>

#include "bpe/ids.hpp"
#include "bpe/units.hpp"
#include "util/error.hpp"
#include "util/invariant.hpp"

namespace vellum {

template <class Kind>
class TokenTable {
 public:
  using Unit = typename Kind::Unit;
  using Symbol = typename Kind::Symbol;

  // Adds `token` under the next id and returns that id.
  Idx add(Token<Unit> token) {
    check_invariant(tokens_.size() <= Kind::kMaxId, "token ids exhausted");
    tokens_.push_back(std::move(token));
    return static_cast<Idx>(tokens_.size() - 1);
  }

  std::size_t size() const { return tokens_.size(); }
  bool contains(Idx id) const { return id < tokens_.size(); }
  const Token<Unit>& at(Idx id) const { return tokens_[id]; }
  const std::vector<Token<Unit>>& tokens() const { return tokens_; }

  // The content of a symbol: a Char's one-character content, or an id's token. An id without
  // a token is a broken invariant carrying the OovIdx message.
  Token<Unit> content_of(Symbol symbol) const {
    if constexpr (std::is_same_v<Symbol, CharIdx>) {
      if (symbol.is_char()) return make_token<Unit>({Character::scalar(symbol.char_value())});
    }
    const Idx id = to_id(symbol);
    if (!contains(id)) throw InvariantViolation(Error::oov_idx(id).message());
    return tokens_[id];
  }

 private:
  std::vector<Token<Unit>> tokens_;
};

}  // namespace vellum
