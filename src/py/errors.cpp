#include "py/errors.hpp"

#include <new>

#include "py/references.hpp"
#include "util/invariant.hpp"

namespace vellum::py {
namespace {

PyObject* invariant_exception = nullptr;

}  // namespace

bool load_invariant_exception() {
  const Ref module = Ref::steal(PyImport_ImportModule("vellumkit._invariant"));
  if (!module) return false;
  invariant_exception = PyObject_GetAttrString(module.get(), "InvariantViolation");
  return invariant_exception != nullptr;
}

namespace {

PyObject* raise_message(PyObject* exception_type, const std::string& message) {
  const Ref text = Ref::steal(
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(exception_type, text.get());
  return nullptr;
}

}  // namespace

PyObject* raise_error(const ExceptionPolicy& policy, const Error& error) {
  const bool special = policy.special_kind == error.kind();
  return raise_message(special ? *policy.special_exception : *policy.exception, error.message());
}

PyObject* raise_invalid_argument(const InvalidArgument& problem) {
  return raise_message(PyExc_ValueError, problem.message);
}

void raise_core_exception(std::exception_ptr failure, const ExceptionPolicy* policy) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    if (policy == nullptr) {
      PyErr_NoMemory();
    } else {
      raise_message(*policy->exception, "out of memory");
    }
  } catch (const std::exception& exception) {
    PyErr_SetString(invariant_exception, exception.what());
  } catch (...) {
    PyErr_SetString(invariant_exception, "unknown C++ exception escaped the core");
  }
}

}  // namespace vellum::py
