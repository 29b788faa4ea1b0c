#include "py/classes.hpp"

#include <deque>
#include <string>
#include <vector>

namespace vellum::py {
namespace {

// Docstrings, names and member tables live as long as the process: heap types keep pointers
// into them, and the classes are created once per process.
std::deque<std::string>& lasting_strings() {
  static std::deque<std::string> strings;
  return strings;
}

const char* keep(std::string text) { return lasting_strings().emplace_back(std::move(text)).c_str(); }

const char* method_doc(const Method& method) {
  std::string doc = text_signature(method.name, method.params, true) + "\n--\n\n";
  if (method.description != nullptr) doc += method.description;
  return keep(std::move(doc));
}

PyMethodDef* method_table(std::span<const Method> methods) {
  static std::deque<std::vector<PyMethodDef>> tables;
  auto& table = tables.emplace_back();
  for (const Method& method : methods) {
    table.push_back(PyMethodDef{method.name, reinterpret_cast<PyCFunction>(
                                                 reinterpret_cast<void (*)()>(method.function)),
                                METH_FASTCALL | METH_KEYWORDS, method_doc(method)});
  }
  table.push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});
  return table.data();
}

PyGetSetDef* property_table(std::span<const Property> properties) {
  static std::deque<std::vector<PyGetSetDef>> tables;
  auto& table = tables.emplace_back();
  for (const Property& property : properties) {
    table.push_back(PyGetSetDef{property.name, property.get, nullptr, property.description, nullptr});
  }
  table.push_back(PyGetSetDef{nullptr, nullptr, nullptr, nullptr, nullptr});
  return table.data();
}

}  // namespace

PyTypeObject* add_class(PyObject* module, const ClassDecl& decl, PyObject* base) {
  std::vector<PyType_Slot> slots;
  const Constructor& constructor = decl.constructor;
  if (constructor.documented) {
    const std::string doc = text_signature(decl.name, constructor.params, false) + "\n--\n\n";
    slots.push_back({Py_tp_doc, const_cast<char*>(keep(doc))});
  }
  if (constructor.function != nullptr) slots.push_back({Py_tp_new, reinterpret_cast<void*>(constructor.function)});
  if (decl.dealloc != nullptr) slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(decl.dealloc)});
  if (!decl.methods.empty()) slots.push_back({Py_tp_methods, method_table(decl.methods)});
  if (!decl.properties.empty()) slots.push_back({Py_tp_getset, property_table(decl.properties)});
  slots.push_back({0, nullptr});

  unsigned int flags = Py_TPFLAGS_DEFAULT;
  if (decl.subclassable) flags |= Py_TPFLAGS_BASETYPE;
  if (constructor.function == nullptr) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;

  PyType_Spec spec{keep(std::string("_lib.") + decl.name), decl.basicsize, 0, flags, slots.data()};
  PyObject* type = PyType_FromModuleAndSpec(module, &spec, base);
  if (type == nullptr) return nullptr;
  if (PyModule_AddObjectRef(module, decl.name, type) < 0) {
    Py_DECREF(type);
    return nullptr;
  }
  return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace vellum::py
