// Method, constructor and property declarations: one declaration per callable gives its name,
// its parameters (typed fields with their defaults), the access it takes to the object, its
// exception policy, its handler and its docstring. The entry points that CPython calls are
// generated from the declaration: bind and convert the arguments, take the access, run the
// handler. The qualified name in argument errors comes from the class.
//
// Adding a method: an argument struct, a handler `PyObject* (Call<Core>&, const Args&)` that
// makes one core call through `call.released` or `call.held`, a `method(...)` declaration, its
// row `bind_method<kDecl>()` in the class's method table, and its line in `_lib.pyi`.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "py/arguments.hpp"
#include "py/borrow.hpp"
#include "py/classes.hpp"
#include "py/errors.hpp"

namespace vellum::py {

// How a declaration touches its object: shared or exclusive borrow, or none for immutable values.
enum class Uses { Nothing, Shared, Exclusive };

// Runs `work(value)` on the core value of `object` while holding `uses` access to it; a refused
// borrow raises RuntimeError at once and `work` is not run.
template <class T, class Work>
PyObject* with_borrow(Object<T>* object, Uses uses, Work&& work) {
  if (uses == Uses::Nothing) return work(*object->value);
  const Borrow borrow(object->borrow, uses == Uses::Shared ? Access::Shared : Access::Exclusive);
  if (!borrow) return nullptr;
  return work(*object->value);
}

// The usual result of a method that returns nothing.
struct ReturnNone {
  template <class... Values>
  PyObject* operator()(Values&&...) const {
    Py_RETURN_NONE;
  }
};

template <class T>
inline constexpr bool is_result_v = false;
template <class T>
inline constexpr bool is_result_v<Result<T>> = true;

// Turns what core work gave (nothing when it threw, a Result, or a plain value) into the
// method's return value: the exception the policy names, or `emit(value)`.
template <class Value, class Emit>
PyObject* emit_result(std::optional<Value>&& ran, const ExceptionPolicy& errors, Emit&& emit) {
  if (!ran) return nullptr;
  if constexpr (is_result_v<Value>) {
    if (!*ran) return raise_error(errors, ran->error());
    if constexpr (std::is_void_v<typename Value::value_type>) {
      return emit();
    } else {
      return emit(std::move(**ran));
    }
  } else {
    return emit(std::move(*ran));
  }
}

// What a handler works with: its object, the object's core value (access already taken) and the
// method's exception policy.
template <class Core>
struct Call {
  PyObject* self;
  Core& core;
  const ExceptionPolicy& errors;

  // Runs `work(core)` with the interpreter lock released, then emits its value.
  template <class Work, class Emit = ReturnNone>
  PyObject* released(Work&& work, Emit&& emit = {}) const {
    return emit_result(run_released([&] { return work(core); }, &errors), errors, emit);
  }

  // The same with the lock held, for short core calls.
  template <class Work, class Emit = ReturnNone>
  PyObject* held(Work&& work, Emit&& emit = {}) const {
    return emit_result(run_held([&] { return work(core); }, &errors), errors, emit);
  }

  // released() when `release`, held() otherwise: handing the lock over wakes a thread that waits
  // for it, which costs more than a short call's own work (see the caller's threshold).
  template <class Work, class Emit = ReturnNone>
  PyObject* released_if(bool release, Work&& work, Emit&& emit = {}) const {
    return release ? released(work, emit) : held(work, emit);
  }
};

// The parsed options, or nullopt with ValueError set.
template <class T>
std::optional<T> accept(Checked<T>&& checked) {
  if (checked) return *std::move(checked);
  raise_invalid_argument(checked.error());
  return std::nullopt;
}

template <class Core, class Args, class ParamList>
struct MethodDecl {
  using CoreType = Core;
  using ArgsType = Args;
  const char* name;
  PyObject* (*handler)(Call<Core>&, const Args&);
  Uses uses;
  const ExceptionPolicy* errors;
  const char* doc;  // nullptr for none
  ParamList parameters;
};

template <class Core, class Args, class ParamList = Params<>>
constexpr MethodDecl<Core, Args, ParamList> method(const char* name, PyObject* (*handler)(Call<Core>&, const Args&),
                                                   Uses uses, const ExceptionPolicy& errors, const char* doc,
                                                   ParamList parameters = {}) {
  return {name, handler, uses, &errors, doc, parameters};
}

template <class Core, class Args, class ParamList>
struct ConstructorDecl {
  using CoreType = Core;
  using ArgsType = Args;
  PyObject* (*handler)(PyTypeObject*, const Args&);
  const ExceptionPolicy* errors;
  ParamList parameters;
};

template <class Core, class Args, class ParamList>
constexpr ConstructorDecl<Core, Args, ParamList> constructor(PyObject* (*handler)(PyTypeObject*, const Args&),
                                                             const ExceptionPolicy& errors, ParamList parameters) {
  return {handler, &errors, parameters};
}

template <class Core>
struct PropertyDecl {
  using CoreType = Core;
  const char* name;
  PyObject* (*get)(Core&);
  Uses uses;
  const char* doc;
};

template <class Core>
constexpr PropertyDecl<Core> property(const char* name, PyObject* (*get)(Core&), Uses uses, const char* doc) {
  return {name, get, uses, doc};
}

// The parameter table of a declaration, with static storage for the class tables to point at.
template <const auto& Decl>
inline constexpr auto kParamsOf = Decl.parameters.params();

template <const auto& Decl>
PyObject* method_body(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  using D = std::remove_cvref_t<decltype(Decl)>;
  using Core = typename D::CoreType;
  static const std::string qualname = std::string(ClassOf<Core>::name) + "." + Decl.name + "()";
  std::array<PyObject*, kParamsOf<Decl>.size() + 1> bound{};
  typename D::ArgsType values{};
  if (!bind_arguments(Signature{qualname.c_str(), kParamsOf<Decl>}, args, nargs, kwnames, bound.data()) ||
      !Decl.parameters.bind(bound.data(), values)) {
    return nullptr;
  }
  return with_borrow(as_object<Core>(self), Decl.uses, [&](Core& core) {
    Call<Core> call{self, core, *Decl.errors};
    return Decl.handler(call, values);
  });
}

template <const auto& Decl>
PyObject* constructor_body(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  using D = std::remove_cvref_t<decltype(Decl)>;
  static const std::string qualname = std::string(ClassOf<typename D::CoreType>::name) + ".__new__()";
  std::array<PyObject*, kParamsOf<Decl>.size() + 1> bound{};
  typename D::ArgsType values{};
  if (!bind_arguments(Signature{qualname.c_str(), kParamsOf<Decl>}, args, kwargs, bound.data()) ||
      !Decl.parameters.bind(bound.data(), values)) {
    return nullptr;
  }
  return Decl.handler(type, values);
}

// Runs an entry point's `body`; a C++ exception escaping it (an allocation failure while
// converting arguments, say) becomes the exception of the entry's policy instead of ending the
// process.
template <class Body>
PyObject* guarded(const ExceptionPolicy& errors, Body&& body) {
  try {
    return body();
  } catch (...) {
    raise_core_exception(std::current_exception(), &errors);
    return nullptr;
  }
}

template <const auto& Decl>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded(*Decl.errors, [&] { return method_body<Decl>(self, args, nargs, kwnames); });
}

template <const auto& Decl>
PyObject* constructor_entry(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded(*Decl.errors, [&] { return constructor_body<Decl>(type, args, kwargs); });
}

template <const auto& Decl>
PyObject* property_entry(PyObject* self, void*) {
  using Core = typename std::remove_cvref_t<decltype(Decl)>::CoreType;
  return with_borrow(as_object<Core>(self), Decl.uses, Decl.get);
}

template <const auto& Decl>
constexpr Method bind_method() {
  return Method{&method_entry<Decl>, Decl.name, kParamsOf<Decl>, Decl.doc};
}

template <const auto& Decl>
constexpr Constructor bind_constructor() {
  return Constructor{&constructor_entry<Decl>, kParamsOf<Decl>, true};
}

template <const auto& Decl>
constexpr Property bind_property() {
  return Property{&property_entry<Decl>, Decl.name, Decl.doc};
}

}  // namespace vellum::py
