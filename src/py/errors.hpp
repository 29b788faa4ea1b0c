// The one place where core failures become Python exceptions.
//
// Each method names an exception policy: the Python exception an Error of each kind becomes
// when that method fails. raise_error is the only function that applies a policy, so no call
// site picks an exception type by hand. A C++ exception escaping the core becomes
// InvariantViolation (a BaseException subclass defined by the vellumkit package); std::bad_alloc
// becomes the exception the method's policy gives every kind ("out of memory"), so an allocation
// failure raises the type the method documents, or MemoryError where no policy is given.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "util/error.hpp"
#include "util/invalid_argument.hpp"

namespace vellum::py {

// The exception for every kind, except that errors of `special_kind` (when set) raise
// `special_exception`. The exceptions are held as the addresses of the interpreter's globals.
struct ExceptionPolicy {
  PyObject* const* exception;
  std::optional<ErrorKind> special_kind = std::nullopt;
  PyObject* const* special_exception = nullptr;
};

inline constexpr ExceptionPolicy kRuntimeErrors{&PyExc_RuntimeError};
inline constexpr ExceptionPolicy kValueErrors{&PyExc_ValueError};
inline constexpr ExceptionPolicy kOSErrors{&PyExc_OSError};
// Io errors as OSError, everything else as ValueError (saving a model, building its encoder).
inline constexpr ExceptionPolicy kOSErrorsForIo{&PyExc_ValueError, ErrorKind::Io, &PyExc_OSError};

// Loads the invariant exception type from the package; called once at module initialisation.
bool load_invariant_exception();

// Raises the exception that `policy` gives `error`'s kind, with the error's message; returns
// nullptr for use in return statements.
PyObject* raise_error(const ExceptionPolicy& policy, const Error& error);

// Raises ValueError with the argument problem's message.
PyObject* raise_invalid_argument(const InvalidArgument& problem);

// Raises the Python exception that stands for a C++ exception thrown by the core by a method
// whose exception policy is `policy` (none: a call that documents no failures).
void raise_core_exception(std::exception_ptr failure, const ExceptionPolicy* policy);

// Runs `work()` with the interpreter lock released and returns its value, or std::nullopt
// with a Python exception set if it threw. `work` must not touch Python objects.
template <class Work>
auto run_released(Work&& work, const ExceptionPolicy* policy = nullptr)
    -> std::optional<std::invoke_result_t<Work&>> {
  std::optional<std::invoke_result_t<Work&>> result;
  std::exception_ptr failure;
  Py_BEGIN_ALLOW_THREADS
  try {
    result.emplace(work());
  } catch (...) {
    failure = std::current_exception();
  }
  Py_END_ALLOW_THREADS
  if (failure) raise_core_exception(failure, policy);
  return result;
}

// The same with the interpreter lock held, for short core calls.
template <class Work>
auto run_held(Work&& work, const ExceptionPolicy* policy = nullptr) -> std::optional<std::invoke_result_t<Work&>> {
  try {
    return std::optional<std::invoke_result_t<Work&>>(work());
  } catch (...) {
    raise_core_exception(std::current_exception(), policy);
    return std::nullopt;
  }
}

}  // namespace vellum::py
