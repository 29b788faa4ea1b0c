// Argument binding for every method and constructor of _lib, driven by static parameter tables.
//
// One implementation produces the interpreter-style argument errors (missing, surplus,
// unexpected and repeated arguments) for all callables, and the text signatures of their
// docstrings are rendered from the same tables, defaults included, so binding and
// documentation cannot drift apart.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <concepts>
#include <cstdint>
#include <span>
#include <string>

namespace vellum::py {

enum class ParamKind : unsigned char { PositionalOrKeyword, KeywordOnly };

// A parameter's default: the value an omitted argument takes, and how the signature shows it.
struct Default {
  enum class Kind : unsigned char { Required, None, Integer, Text, Boolean, Floating };
  Kind kind = Kind::Required;
  std::int64_t integer = 0;
  const char* text = nullptr;
  bool boolean = false;
  double floating = 0.0;

  static constexpr Default none() { return {Kind::None}; }
  template <std::integral T>
    requires(!std::same_as<T, bool>)
  static constexpr Default of(T value) {
    return {Kind::Integer, static_cast<std::int64_t>(value)};
  }
  static constexpr Default of(const char* value) { return {Kind::Text, 0, value}; }
  static constexpr Default of(bool value) { return {Kind::Boolean, 0, nullptr, value}; }
  static constexpr Default of(double value) { return {Kind::Floating, 0, nullptr, false, value}; }

  // As the signature writes it: None, 1048576, "auto", True, 0.9.
  std::string render() const;
};

struct Param {
  const char* name;
  Default fallback = {};
  ParamKind kind = ParamKind::PositionalOrKeyword;

  constexpr bool required() const { return fallback.kind == Default::Kind::Required; }
};

struct Signature {
  const char* qualname;  // shown in argument errors, e.g. "PreTokenizer.get_words()"
  std::span<const Param> params;
};

// Binds vectorcall-style arguments into `out[i]` for each parameter i: a borrowed reference, or
// nullptr when the argument was omitted. Returns false with TypeError set on a binding error.
bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out);

// The same for tuple-and-dict arguments (tp_new). References in `out` stay valid as long as
// `args` and `kwargs` live.
bool bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** out);

// "name($self, a, b=None, *, c=1)": the text signature of a method (with `$self`) or of a class
// constructor (without).
std::string text_signature(const char* name, std::span<const Param> params, bool with_self);

}  // namespace vellum::py
