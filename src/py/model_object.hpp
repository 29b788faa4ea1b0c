// BpeModelBase objects: a validated model of either unit, shared by the class and the trainers
// that create models.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <variant>

#include "bpe/model.hpp"
#include "bpe/unit_kinds.hpp"

namespace vellum::py {

using AnyModel = std::variant<BpeModel<ByteUnit>, BpeModel<CharUnit>>;

// A new BpeModelBase owning `model`.
PyObject* new_model(AnyModel&& model);

}  // namespace vellum::py
