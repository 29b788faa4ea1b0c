// Ref: an owned reference to a Python object, released when the Ref goes away.
// Use only with the interpreter lock held.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace vellum::py {

class Ref {
 public:
  Ref() = default;
  // Takes over a new reference (which may be nullptr after a failed call).
  static Ref steal(PyObject* object) { return Ref(object); }
  static Ref borrow(PyObject* object) {
    Py_XINCREF(object);
    return Ref(object);
  }
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(object_); }

  explicit operator bool() const { return object_ != nullptr; }
  PyObject* get() const { return object_; }
  // Hands the reference to the caller.
  PyObject* release() { return std::exchange(object_, nullptr); }

 private:
  explicit Ref(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace vellum::py
