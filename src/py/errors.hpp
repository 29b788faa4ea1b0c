// The one place where core failures become Python exceptions.
//
// An Error becomes the exception type chosen by the calling method (or by its kind, for the
// model's methods); a C++ exception escaping the core becomes InvariantViolation, a
// BaseException subclass defined by the vellumkit package, or MemoryError for std::bad_alloc.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "util/error.hpp"

namespace vellum::py {

// Loads the invariant exception type from the package; called once at module initialisation.
bool load_invariant_exception();

// Raises `exception_type` with the error's message; returns nullptr for use in return statements.
PyObject* raise_error(PyObject* exception_type, const Error& error);

// Raises IOError for an Io error and ValueError for every other kind.
PyObject* raise_error_by_kind(const Error& error);

// Raises the Python exception that stands for a C++ exception thrown by the core.
void raise_core_exception(std::exception_ptr failure);

// Runs `work()` with the interpreter lock released and returns its value, or std::nullopt
// with a Python exception set if it threw. `work` must not touch Python objects.
template <class Work>
auto run_released(Work&& work) -> std::optional<std::invoke_result_t<Work&>> {
  std::optional<std::invoke_result_t<Work&>> result;
  std::exception_ptr failure;
  Py_BEGIN_ALLOW_THREADS
  try {
    result.emplace(work());
  } catch (...) {
    failure = std::current_exception();
  }
  Py_END_ALLOW_THREADS
  if (failure) raise_core_exception(failure);
  return result;
}

// The same with the interpreter lock held, for short core calls.
template <class Work>
auto run_held(Work&& work) -> std::optional<std::invoke_result_t<Work&>> {
  try {
    return std::optional<std::invoke_result_t<Work&>>(work());
  } catch (...) {
    raise_core_exception(std::current_exception());
    return std::nullopt;
  }
}

}  // namespace vellum::py
