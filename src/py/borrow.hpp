// Per-object access control: many shared users or one exclusive user, never waiting.
//
// The flag is taken while the interpreter lock is held, before it is released for core work,
// and given back after the lock is taken again. A call that cannot take it fails at once with
// RuntimeError instead of blocking, so no thread ever waits on another across Python calls.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstdint>

namespace vellum::py {

// 0: free; n > 0: n shared users; -1: one exclusive user.
using BorrowFlag = std::atomic<std::int64_t>;

enum class Access { Shared, Exclusive };

class Borrow {
 public:
  // Takes `flag` for `access`; on failure sets RuntimeError "Already borrowed" (exclusive access
  // refused) or "Already mutably borrowed" (shared access refused); test with the bool operator.
  Borrow(BorrowFlag& flag, Access access);
  ~Borrow();
  Borrow(const Borrow&) = delete;
  Borrow& operator=(const Borrow&) = delete;

  explicit operator bool() const { return taken_; }

 private:
  BorrowFlag& flag_;
  Access access_;
  bool taken_;
};

}  // namespace vellum::py
