// The frame shared by every class of _lib: the object layout, class declarations built from
// binder tables (so docstrings carry the same text signatures that binding enforces), and the
// creation of heap types under the module name "_lib".
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>
#include <new>
#include <span>
#include <utility>

#include "py/binder.hpp"
#include "py/borrow.hpp"

namespace vellum::py {

// A Python object that owns one core value of type T.
template <class T>
struct Object {
  PyObject_HEAD
  BorrowFlag borrow;
  T* value;
};

template <class T>
Object<T>* as_object(PyObject* self) {
  return reinterpret_cast<Object<T>*>(self);
}

using FastMethod = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames);

// The Python class of a core value type: its name and its type object. One specialization per
// class, in module_types.hpp.
template <class Core>
struct ClassOf;

struct Method {
  FastMethod function;
  const char* name;
  std::span<const Param> params;
  const char* description;  // docstring body, nullptr for none
};

struct Constructor {
  newfunc function = nullptr;  // nullptr: the class cannot be instantiated from Python
  std::span<const Param> params = {};
  bool documented = false;  // the class docstring carries the constructor's text signature
};

struct Property {
  getter get;
  const char* name;
  const char* description;  // nullptr for none
};

struct ClassDecl {
  const char* name;          // "PreTokenizer"; the type is named "_lib.PreTokenizer"
  Constructor constructor;
  destructor dealloc;        // nullptr for classes that own no value
  int basicsize;             // 0 for classes that own no value
  bool subclassable;
  std::span<const Method> methods;
  std::span<const Property> properties;
};

// Creates the heap type of `decl` (with base `base`, or object when nullptr) and adds it to
// `module`. Returns a new reference, kept by the caller for the life of the process, or nullptr.
PyTypeObject* add_class(PyObject* module, const ClassDecl& decl, PyObject* base = nullptr);

// Frees the core value of an Object<T> and the object itself.
template <class T>
void dealloc_object(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete as_object<T>(self)->value;
  reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
  Py_DECREF(type);
}

template <class T>
void dealloc_object(PyObject* self);

// The declaration of the class that owns values of type Core.
template <class Core>
constexpr ClassDecl owning_class(Constructor constructor, std::span<const Method> methods,
                                 std::span<const Property> properties = {}) {
  return ClassDecl{ClassOf<Core>::name, constructor, dealloc_object<Core>, sizeof(Object<Core>), false,
                   methods, properties};
}

// A new object of `type` taking over `value`; nullptr with an exception set on failure (the
// value is then freed).
template <class T>
PyObject* adopt_object(PyTypeObject* type, std::unique_ptr<T> value) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (self == nullptr) return nullptr;
  auto* object = as_object<T>(self);
  new (&object->borrow) BorrowFlag(0);
  object->value = value.release();
  return self;
}

// A new object of `type` owning `value`, moved to the heap.
template <class T>
PyObject* new_object(PyTypeObject* type, T&& value) {
  using Value = std::remove_cvref_t<T>;
  Value* moved = new (std::nothrow) Value(std::forward<T>(value));
  if (moved == nullptr) return PyErr_NoMemory();
  return adopt_object(type, std::unique_ptr<Value>(moved));
}

}  // namespace vellum::py
