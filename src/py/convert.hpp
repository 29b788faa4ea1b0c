// Conversion of Python arguments into plain C++ values.
//
// Every function returns false with a Python exception set when the value cannot be converted.
// Type errors carry the prefix "argument '{name}': "; other failures (OverflowError for a
// negative unsigned value, UnicodeEncodeError for a lone surrogate) pass through unchanged.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellum::py {

// A `str` as UTF-8. The view borrows the str's own buffer: valid while `value` lives.
bool convert_text(PyObject* value, const char* name, std::string_view& out);

// A sequence of `str` (never a plain `str`), each copied as UTF-8.
bool convert_text_sequence(PyObject* value, const char* name, std::vector<std::string>& out);

// A path: `str` or a path-like object yielding `str`, encoded with the file-system encoding.
bool convert_path(PyObject* value, const char* name, std::string& out);

// Any object the interpreter accepts as an integer index.
bool convert_u64(PyObject* value, const char* name, std::uint64_t& out);
bool convert_i64(PyObject* value, const char* name, std::int64_t& out);

// Any object the interpreter accepts as a float (a float, an int, or an object with __float__
// or __index__).
bool convert_f64(PyObject* value, const char* name, double& out);

// True for Python's True and False only.
bool convert_bool(PyObject* value, const char* name, bool& out);

// Raises TypeError "argument '{name}': '{type}' object cannot be converted to '{target}'"
// (without the "argument" prefix when `name` is nullptr).
bool raise_cannot_convert(PyObject* value, const char* name, const char* target);

// Checks that `value` is an instance of `type` (a class of this module).
bool check_instance(PyObject* value, PyTypeObject* type, const char* name);

// Builds a `str` from UTF-8 text that is known to be valid.
PyObject* text_to_python(std::string_view text);

}  // namespace vellum::py
