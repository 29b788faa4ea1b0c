// BpeModelBase objects: a validated model of either unit, shared by the class and the trainers
// that create models.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "bpe/model.hpp"
#include "bpe/unit_kinds.hpp"
#include "py/module_types.hpp"

namespace vellum::py {

// A new BpeModelBase owning `model`.
PyObject* new_model(AnyModel&& model);

}  // namespace vellum::py
