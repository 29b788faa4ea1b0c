#include "py/convert.hpp"

#include "py/references.hpp"

namespace vellum::py {
namespace {

// Re-raises a pending TypeError as "argument '{name}': {message}"; other errors stay as they are.
bool prefix_type_error(const char* name) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
  PyObject* type;
  PyObject* value;
  PyObject* traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  const Ref text = Ref::steal(PyObject_Str(value));
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
  if (!text) return false;
  PyErr_Format(PyExc_TypeError, "argument '%s': %U", name, text.get());
  return false;
}

// Whether `value` counts as a sequence: the interpreter's sequence check, or an instance of
// collections.abc.Sequence (imported on first use).
int is_sequence(PyObject* value) {
  if (PySequence_Check(value)) return 1;
  static PyObject* sequence_abc = nullptr;
  if (sequence_abc == nullptr) {
    const Ref abc = Ref::steal(PyImport_ImportModule("collections.abc"));
    if (!abc) return -1;
    sequence_abc = PyObject_GetAttrString(abc.get(), "Sequence");
    if (sequence_abc == nullptr) return -1;
  }
  return PyObject_IsInstance(value, sequence_abc);
}

}  // namespace

bool raise_cannot_convert(PyObject* value, const char* name, const char* target) {
  const Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(value)));
  if (!type_name) return false;
  if (name == nullptr) {
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", type_name.get(), target);
  } else {
    PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object cannot be converted to '%s'", name,
                 type_name.get(), target);
  }
  return false;
}

bool convert_text(PyObject* value, const char* name, std::string_view& out) {
  if (!PyUnicode_Check(value)) return raise_cannot_convert(value, name, "str");
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) return prefix_type_error(name);
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool convert_text_sequence(PyObject* value, const char* name, std::vector<std::string>& out) {
  if (PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError,
                 "argument '%s': a str is not accepted where a sequence of str is expected", name);
    return false;
  }
  const int sequence = is_sequence(value);
  if (sequence < 0) return false;
  if (sequence == 0) return raise_cannot_convert(value, name, "Sequence");

  const Py_ssize_t hint = PySequence_Size(value);
  if (hint < 0) {
    PyErr_Clear();
  } else {
    out.reserve(static_cast<std::size_t>(hint));
  }
  const Ref iterator = Ref::steal(PyObject_GetIter(value));
  if (!iterator) return prefix_type_error(name);
  while (const Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    std::string_view text;
    if (!convert_text(item.get(), name, text)) return false;
    out.emplace_back(text);
  }
  return !PyErr_Occurred() || prefix_type_error(name);
}

bool convert_path(PyObject* value, const char* name, std::string& out) {
  const Ref path = Ref::steal(PyOS_FSPath(value));
  if (!path) return prefix_type_error(name);
  if (!PyUnicode_Check(path.get())) return raise_cannot_convert(path.get(), name, "str");
  const Ref encoded = Ref::steal(PyUnicode_EncodeFSDefault(path.get()));
  if (!encoded) return false;
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(encoded.get(), &data, &size) < 0) return false;
  out.assign(data, static_cast<std::size_t>(size));
  return true;
}

bool convert_u64(PyObject* value, const char* name, std::uint64_t& out) {
  const Ref index = Ref::steal(PyNumber_Index(value));
  if (!index) return prefix_type_error(name);
  const unsigned long long converted = PyLong_AsUnsignedLongLong(index.get());
  if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    return prefix_type_error(name);
  }
  out = converted;
  return true;
}

bool convert_i64(PyObject* value, const char* name, std::int64_t& out) {
  const Ref index = Ref::steal(PyNumber_Index(value));
  if (!index) return prefix_type_error(name);
  const long long converted = PyLong_AsLongLong(index.get());
  if (converted == -1 && PyErr_Occurred()) return prefix_type_error(name);
  out = converted;
  return true;
}

bool convert_f64(PyObject* value, const char* name, double& out) {
  const double converted = PyFloat_AsDouble(value);
  if (converted == -1.0 && PyErr_Occurred()) return prefix_type_error(name);
  out = converted;
  return true;
}

bool convert_bool(PyObject* value, const char* name, bool& out) {
  if (!PyBool_Check(value)) return raise_cannot_convert(value, name, "bool");
  out = value == Py_True;
  return true;
}

bool check_instance(PyObject* value, PyTypeObject* type, const char* name) {
  const int is_instance = PyObject_IsInstance(value, reinterpret_cast<PyObject*>(type));
  if (is_instance < 0) return false;
  if (is_instance == 1) return true;
  const Ref expected = Ref::steal(PyType_GetName(type));
  if (!expected) return false;
  const Ref given = Ref::steal(PyType_GetName(Py_TYPE(value)));
  if (!given) return false;
  PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object is not an instance of '%U'", name,
               given.get(), expected.get());
  return false;
}

PyObject* text_to_python(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

}  // namespace vellum::py
