// InvariantViolation: thrown when the core finds one of its own invariants broken.
//
// It is never used for bad input (that is an Error). The Python layer turns it into an
// exception derived from BaseException so that ordinary `except Exception` does not hide it.
#pragma once

#include <stdexcept>
#include <string>

namespace vellum {

class InvariantViolation : public std::logic_error {
 public:
  explicit InvariantViolation(const std::string& what) : std::logic_error(what) {}
};

// Throws InvariantViolation with `message` when `condition` is false.
inline void check_invariant(bool condition, const char* message) {
  if (!condition) [[unlikely]] {
    throw InvariantViolation(message);
  }
}

}  // namespace vellum
