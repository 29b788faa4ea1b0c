#include "py/arguments.hpp"

namespace vellum::py {

bool convert_arg(PyObject* value, const char* name, std::string_view& out) {
  return convert_text(value, name, out);
}

bool convert_arg(PyObject* value, const char* name, std::string& out) {
  std::string_view text;
  if (!convert_text(value, name, text)) return false;
  out.assign(text);
  return true;
}

bool convert_arg(PyObject* value, const char* name, Path& out) { return convert_path(value, name, out.value); }

bool convert_arg(PyObject* value, const char* name, std::uint64_t& out) { return convert_u64(value, name, out); }

bool convert_arg(PyObject* value, const char* name, std::int64_t& out) { return convert_i64(value, name, out); }

bool convert_arg(PyObject* value, const char* name, bool& out) { return convert_bool(value, name, out); }

bool convert_arg(PyObject* value, const char* name, double& out) { return convert_f64(value, name, out); }

bool convert_arg(PyObject* value, const char* name, std::vector<std::string>& out) {
  return convert_text_sequence(value, name, out);
}

bool convert_arg(PyObject* value, const char*, AnyObject& out) {
  out.object = value;
  return true;
}

}  // namespace vellum::py
