#include "py/numpy_ids.hpp"

#include <cstring>
#include <string_view>

#include "py/references.hpp"

namespace vellum::py {
namespace {

constexpr const char* kIdxsMessage = "idxs must be a sequence[int] or a numpy.ndarray[uint32]";

struct IdBuffer {
  PyObject_HEAD
  std::vector<Idx>* ids;
};

PyTypeObject* id_buffer_type = nullptr;

int id_buffer_getbuffer(PyObject* self, Py_buffer* view, int flags) {
  auto* ids = reinterpret_cast<IdBuffer*>(self)->ids;
  return PyBuffer_FillInfo(view, self, ids->data(), static_cast<Py_ssize_t>(ids->size() * sizeof(Idx)), 0, flags);
}

void id_buffer_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<IdBuffer*>(self)->ids;
  reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
  Py_DECREF(type);
}

PyType_Slot id_buffer_slots[] = {
    {Py_bf_getbuffer, reinterpret_cast<void*>(id_buffer_getbuffer)},
    {Py_tp_dealloc, reinterpret_cast<void*>(id_buffer_dealloc)},
    {0, nullptr},
};

PyType_Spec id_buffer_spec = {"_lib._IdBuffer", sizeof(IdBuffer), 0,
                              Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, id_buffer_slots};

bool raise_idxs_type_error() {
  PyErr_SetString(PyExc_TypeError, kIdxsMessage);
  return false;
}

// A one-dimensional array of 4-byte unsigned native integers, read at any stride.
bool read_uint32_buffer(PyObject* value, std::vector<Idx>& out) {
  Py_buffer view;
  if (PyObject_GetBuffer(value, &view, PyBUF_RECORDS_RO) < 0) {
    PyErr_Clear();
    return false;
  }
  const std::string_view format = view.format == nullptr ? "B" : view.format;
  const bool usable = view.ndim == 1 && view.itemsize == 4 && (format == "I" || format == "=I" || format == "<I");
  if (usable) {
    out.resize(static_cast<std::size_t>(view.shape[0]));
    const char* item = static_cast<const char*>(view.buf);
    for (std::size_t i = 0; i < out.size(); ++i, item += view.strides[0]) std::memcpy(&out[i], item, sizeof(Idx));
  }
  PyBuffer_Release(&view);
  return usable;
}

}  // namespace

bool create_id_buffer_type(PyObject* module) {
  id_buffer_type = reinterpret_cast<PyTypeObject*>(PyType_FromModuleAndSpec(module, &id_buffer_spec, nullptr));
  return id_buffer_type != nullptr;
}

PyObject* ids_to_numpy(std::vector<Idx>&& ids) {
  static PyObject* frombuffer = nullptr;
  static PyObject* uint32 = nullptr;
  if (frombuffer == nullptr) {
    const Ref numpy = Ref::steal(PyImport_ImportModule("numpy"));
    if (!numpy) return nullptr;
    uint32 = PyObject_GetAttrString(numpy.get(), "uint32");
    if (uint32 == nullptr) return nullptr;
    frombuffer = PyObject_GetAttrString(numpy.get(), "frombuffer");
    if (frombuffer == nullptr) return nullptr;
  }
  auto* owned = new (std::nothrow) std::vector<Idx>(std::move(ids));
  if (owned == nullptr) return PyErr_NoMemory();
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(id_buffer_type, Py_tp_alloc));
  Ref owner = Ref::steal(alloc(id_buffer_type, 0));
  if (!owner) {
    delete owned;
    return nullptr;
  }
  reinterpret_cast<IdBuffer*>(owner.get())->ids = owned;
  return PyObject_CallFunctionObjArgs(frombuffer, owner.get(), uint32, nullptr);
}

bool convert_arg(PyObject* value, const char*, TokenIdsArgument& argument) {
  std::vector<Idx>& out = argument.ids;
  if (PyUnicode_Check(value)) return raise_idxs_type_error();
  if (PyObject_CheckBuffer(value) && read_uint32_buffer(value, out)) return true;
  if (!PySequence_Check(value)) return raise_idxs_type_error();
  const Ref iterator = Ref::steal(PyObject_GetIter(value));
  if (!iterator) return PyErr_Clear(), raise_idxs_type_error();
  out.clear();
  const Py_ssize_t hint = PySequence_Size(value);
  if (hint > 0) out.reserve(static_cast<std::size_t>(hint));
  while (const Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    const Ref index = Ref::steal(PyNumber_Index(item.get()));
    const unsigned long long id = index ? PyLong_AsUnsignedLongLong(index.get()) : 0;
    if (!index || PyErr_Occurred() || id > 0xFFFFFFFFull) {
      PyErr_Clear();
      return raise_idxs_type_error();
    }
    out.push_back(static_cast<Idx>(id));
  }
  if (PyErr_Occurred()) return PyErr_Clear(), raise_idxs_type_error();
  return true;
}

}  // namespace vellum::py
