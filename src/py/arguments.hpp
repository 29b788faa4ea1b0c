// Typed parameters: each parameter of a method names the field of the method's argument struct
// that receives it, its Python name, its default and its kind. Binding converts every given
// argument into its field with the converter for the field's type (a type error names the
// argument), and gives every omitted one its default, so a handler reads plain named values.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "py/binder.hpp"
#include "py/classes.hpp"
#include "py/convert.hpp"

namespace vellum::py {

// A path argument: `str` or a path-like object, in the file-system encoding.
struct Path {
  std::string value;
};

// Another object of this module, which the handler borrows as it needs.
template <class T>
struct Instance {
  PyObject* object;
  Object<T>* get() const { return as_object<T>(object); }
};

// An argument taken as it is (an iterable to pull from).
struct AnyObject {
  PyObject* object;
};

// The arguments of a method without parameters.
struct NoArgs {};

bool convert_arg(PyObject* value, const char* name, std::string_view& out);
bool convert_arg(PyObject* value, const char* name, std::string& out);
bool convert_arg(PyObject* value, const char* name, Path& out);
bool convert_arg(PyObject* value, const char* name, std::uint64_t& out);
bool convert_arg(PyObject* value, const char* name, std::int64_t& out);
bool convert_arg(PyObject* value, const char* name, bool& out);
bool convert_arg(PyObject* value, const char* name, double& out);
bool convert_arg(PyObject* value, const char* name, std::vector<std::string>& out);
bool convert_arg(PyObject* value, const char* name, AnyObject& out);

template <class T>
bool convert_arg(PyObject* value, const char* name, Instance<T>& out) {
  out.object = value;
  return check_instance(value, ClassOf<T>::type(), name);
}

// None stands for an absent value.
template <class T>
bool convert_arg(PyObject* value, const char* name, std::optional<T>& out) {
  if (value == Py_None) {
    out.reset();
    return true;
  }
  return convert_arg(value, name, out.emplace());
}

template <class T>
void apply_default(const Default& fallback, T& out) {
  if constexpr (std::is_same_v<T, bool>) {
    out = fallback.boolean;
  } else if constexpr (std::is_floating_point_v<T>) {
    out = fallback.floating;
  } else if constexpr (std::is_integral_v<T>) {
    out = static_cast<T>(fallback.integer);
  } else if constexpr (std::is_constructible_v<T, const char*>) {
    if (fallback.kind == Default::Kind::Text) out = T(fallback.text);
  } else {
    out = T{};  // a None default: an empty optional
  }
}

template <class Args, class T>
struct Field {
  using ArgsType = Args;
  const char* name;
  T Args::*member;
  Default fallback;
  ParamKind kind;

  constexpr Param param() const { return Param{name, fallback, kind}; }

  bool bind(PyObject* value, Args& args) const {
    if (value == nullptr) {
      apply_default(fallback, args.*member);
      return true;
    }
    return convert_arg(value, name, args.*member);
  }
};

// A positional-or-keyword parameter; without a default it is required.
template <class Args, class T>
constexpr Field<Args, T> arg(T Args::*member, const char* name, Default fallback = {}) {
  return {name, member, fallback, ParamKind::PositionalOrKeyword};
}

// A keyword-only parameter.
template <class Args, class T>
constexpr Field<Args, T> kwarg(T Args::*member, const char* name, Default fallback = {}) {
  return {name, member, fallback, ParamKind::KeywordOnly};
}

// A parameter whose field belongs to a base of the argument struct, so that option structs shared
// by several methods declare their parameters once.
template <class Args, class Base, class T>
constexpr Field<Args, T> arg_as(T Base::*member, const char* name, Default fallback = {}) {
  return {name, static_cast<T Args::*>(member), fallback, ParamKind::PositionalOrKeyword};
}

template <class Args, class Base, class T>
constexpr Field<Args, T> kwarg_as(T Base::*member, const char* name, Default fallback = {}) {
  return {name, static_cast<T Args::*>(member), fallback, ParamKind::KeywordOnly};
}

// A parameter list: the fields in signature order.
template <class... Fields>
struct Params {
  std::tuple<Fields...> fields;

  static constexpr std::size_t size = sizeof...(Fields);

  constexpr std::array<Param, size> params() const {
    return std::apply([](const auto&... field) { return std::array<Param, size>{field.param()...}; }, fields);
  }

  // Converts `bound` (one entry per parameter, nullptr when omitted) into `args`, in order.
  template <class Args>
  bool bind(PyObject* const* bound, Args& args) const {
    std::size_t index = 0;
    return std::apply([&](const auto&... field) { return (field.bind(bound[index++], args) && ...); }, fields);
  }
};

template <class... Fields>
constexpr Params<Fields...> params(Fields... fields) {
  return {{fields...}};
}

// The parameters of `first`, then those of `second`.
template <class... First, class... Second>
constexpr Params<First..., Second...> join(const Params<First...>& first, const Params<Second...>& second) {
  return {std::tuple_cat(first.fields, second.fields)};
}

}  // namespace vellum::py
