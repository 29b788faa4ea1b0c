#include "py/borrow.hpp"

namespace vellum::py {

Borrow::Borrow(BorrowFlag& flag, Access access) : flag_(flag), access_(access), taken_(false) {
  if (access == Access::Exclusive) {
    std::int64_t expected = 0;
    taken_ = flag_.compare_exchange_strong(expected, -1, std::memory_order_acquire);
    if (!taken_) PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    return;
  }
  std::int64_t current = flag_.load(std::memory_order_relaxed);
  while (current >= 0) {
    if (flag_.compare_exchange_weak(current, current + 1, std::memory_order_acquire)) {
      taken_ = true;
      return;
    }
  }
  PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
}

Borrow::~Borrow() {
  if (!taken_) return;
  if (access_ == Access::Exclusive) {
    flag_.store(0, std::memory_order_release);
  } else {
    flag_.fetch_sub(1, std::memory_order_release);
  }
}

}  // namespace vellum::py
