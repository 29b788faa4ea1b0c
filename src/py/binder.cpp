#include "py/binder.hpp"

#include <charconv>
#include <iterator>
#include <string>
#include <vector>

namespace vellum::py {
namespace {

std::string quoted_name_list(const std::vector<const char*>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    out += '\'';
    out += names[i];
    out += '\'';
  }
  return out;
}

bool raise_type_error(const std::string& message) {
  PyErr_SetString(PyExc_TypeError, message.c_str());
  return false;
}

bool raise_missing(const Signature& signature, const std::vector<const char*>& names,
                   const char* kind) {
  return raise_type_error(std::string(signature.qualname) + " missing " +
                          std::to_string(names.size()) + " required " + kind + " " +
                          (names.size() == 1 ? "argument" : "arguments") + ": " +
                          quoted_name_list(names));
}

bool raise_too_many_positional(const Signature& signature, Py_ssize_t given) {
  std::size_t required = 0;
  std::size_t positional = 0;
  for (const Param& param : signature.params) {
    if (param.kind != ParamKind::PositionalOrKeyword) continue;
    ++positional;
    required += param.required();
  }
  const std::string count = std::to_string(given) + (given == 1 ? " was" : " were");
  if (required == positional) {
    return raise_type_error(std::string(signature.qualname) + " takes " +
                            std::to_string(positional) + " positional arguments but " + count +
                            " given");
  }
  return raise_type_error(std::string(signature.qualname) + " takes from " +
                          std::to_string(required) + " to " + std::to_string(positional) +
                          " positional arguments but " + count + " given");
}

// Index of the parameter called `keyword`, or -1.
Py_ssize_t find_param(const Signature& signature, PyObject* keyword) {
  for (std::size_t i = 0; i < signature.params.size(); ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, signature.params[i].name) == 0) {
      return static_cast<Py_ssize_t>(i);
    }
  }
  return -1;
}

// Binds positional values, then (keyword, value) pairs given by `keyword_at` / `value_at`.
template <class KeywordAt, class ValueAt>
bool bind(const Signature& signature, PyObject* const* positional, Py_ssize_t nargs,
          Py_ssize_t nkeywords, KeywordAt keyword_at, ValueAt value_at, PyObject** out) {
  const std::size_t count = signature.params.size();
  for (std::size_t i = 0; i < count; ++i) out[i] = nullptr;

  std::size_t positional_capacity = 0;
  while (positional_capacity < count &&
         signature.params[positional_capacity].kind == ParamKind::PositionalOrKeyword) {
    ++positional_capacity;
  }
  if (static_cast<std::size_t>(nargs) > positional_capacity) {
    return raise_too_many_positional(signature, nargs);
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = positional[i];

  for (Py_ssize_t k = 0; k < nkeywords; ++k) {
    PyObject* keyword = keyword_at(k);
    const Py_ssize_t index = find_param(signature, keyword);
    if (index < 0) {
      PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'",
                   signature.qualname, keyword);
      return false;
    }
    if (out[index] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%U'",
                   signature.qualname, keyword);
      return false;
    }
    out[index] = value_at(k);
  }

  for (const ParamKind kind : {ParamKind::PositionalOrKeyword, ParamKind::KeywordOnly}) {
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < count; ++i) {
      const Param& param = signature.params[i];
      if (param.kind == kind && param.required() && out[i] == nullptr) missing.push_back(param.name);
    }
    if (!missing.empty()) {
      return raise_missing(signature, missing,
                           kind == ParamKind::PositionalOrKeyword ? "positional" : "keyword-only");
    }
  }
  return true;
}

}  // namespace

std::string Default::render() const {
  switch (kind) {
    case Kind::Required: break;
    case Kind::None: return "None";
    case Kind::Integer: return std::to_string(integer);
    case Kind::Text: {
      std::string quoted(1, '"');
      quoted += text;
      quoted += '"';
      return quoted;
    }
    case Kind::Boolean: return boolean ? "True" : "False";
    case Kind::Floating: {
      // The shortest text that reads back as the same double, with a point as Python writes it.
      char digits[32];
      const auto end = std::to_chars(std::begin(digits), std::end(digits), floating).ptr;
      std::string rendered(digits, end);
      if (rendered.find_first_of(".ein") == std::string::npos) rendered += ".0";
      return rendered;
    }
  }
  return {};
}

bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out) {
  const Py_ssize_t nkeywords = kwnames == nullptr ? 0 : PyTuple_Size(kwnames);
  return bind(
      signature, args, nargs, nkeywords,
      [kwnames](Py_ssize_t k) { return PyTuple_GetItem(kwnames, k); },
      [args, nargs](Py_ssize_t k) { return args[nargs + k]; }, out);
}

bool bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** out) {
  const Py_ssize_t nargs = PyTuple_Size(args);
  std::vector<PyObject*> positional(static_cast<std::size_t>(nargs));
  for (Py_ssize_t i = 0; i < nargs; ++i) positional[i] = PyTuple_GetItem(args, i);

  std::vector<PyObject*> keywords;
  std::vector<PyObject*> values;
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key;
    PyObject* value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      keywords.push_back(key);
      values.push_back(value);
    }
  }
  return bind(
      signature, positional.data(), nargs, static_cast<Py_ssize_t>(keywords.size()),
      [&keywords](Py_ssize_t k) { return keywords[k]; },
      [&values](Py_ssize_t k) { return values[k]; }, out);
}

std::string text_signature(const char* name, std::span<const Param> params, bool with_self) {
  std::string out = std::string(name) + "(";
  bool first = true;
  auto separate = [&] {
    if (!first) out += ", ";
    first = false;
  };
  if (with_self) {
    separate();
    out += "$self";
  }
  bool star_written = false;
  for (const Param& param : params) {
    if (param.kind == ParamKind::KeywordOnly && !star_written) {
      separate();
      out += "*";
      star_written = true;
    }
    separate();
    out += param.name;
    if (!param.required()) {
      out += '=';
      out += param.fallback.render();
    }
  }
  return out + ")";
}

}  // namespace vellum::py
