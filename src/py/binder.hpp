// Argument binding for every method and constructor of _lib, driven by static parameter tables.
//
// One implementation produces the interpreter-style argument errors (missing, surplus,
// unexpected and repeated arguments) for all callables, and the text signatures of their
// docstrings come from the same tables, so binding and documentation cannot drift apart.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <span>
#include <string>

namespace vellum::py {

enum class ParamKind : unsigned char { PositionalOrKeyword, KeywordOnly };

struct Param {
  const char* name;
  // The default as written in the signature ("None", "1048576", "\"auto\""); nullptr if required.
  const char* default_text = nullptr;
  ParamKind kind = ParamKind::PositionalOrKeyword;

  constexpr bool required() const { return default_text == nullptr; }
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

// True when a parameter whose default is None was omitted or given as None.
inline bool is_absent(PyObject* value) { return value == nullptr || value == Py_None; }

// "name($self, a, b=None, *, c=1)": the text signature of a method (with `$self`) or of a class
// constructor (without).
std::string text_signature(const char* name, std::span<const Param> params, bool with_self);

}  // namespace vellum::py
