// InvalidArgument: a value that a caller gave and an operation does not accept, found while the
// operation's options are parsed, before any work starts. It is an expected failure of user
// input, never an invariant; the Python layer raises it as ValueError with exactly `message`.
#pragma once

#include <expected>
#include <string>
#include <utility>

#include "util/error.hpp"

namespace vellum {

struct InvalidArgument {
  std::string message;

  // An Error found while checking arguments, shown with its kind's message.
  static InvalidArgument from(const Error& error) { return {error.message()}; }
};

template <class T>
using Checked = std::expected<T, InvalidArgument>;

}  // namespace vellum
