// Token ids to and from NumPy, without the NumPy C API: results are handed to
// numpy.frombuffer over a small object that owns the id vector (no copy), and arrays are read
// through the buffer protocol.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vector>

#include "bpe/ids.hpp"

namespace vellum::py {

// Creates the buffer-owning type; called once at module initialisation (the type is not added
// to the module).
bool create_id_buffer_type(PyObject* module);

// A one-dimensional numpy.uint32 array that takes over `ids`.
PyObject* ids_to_numpy(std::vector<Idx>&& ids);

// The ids of a sequence of ints or of a one-dimensional uint32 array (any stride), as a method
// argument. Anything else is TypeError "idxs must be a sequence[int] or a numpy.ndarray[uint32]".
struct TokenIdsArgument {
  std::vector<Idx> ids;
};

bool convert_arg(PyObject* value, const char* name, TokenIdsArgument& out);

}  // namespace vellum::py
