// Creation of Vocabulary objects, for the trainers and models that hand them out.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vector>

#include "bpe/units.hpp"
#include "bpe/vocabulary_view.hpp"
#include "py/module_types.hpp"

namespace vellum::py {

// A new Vocabulary viewing a copy of `tokens` (`tokens[id]` is the token of `id`).
template <class Unit>
PyObject* new_vocabulary(const std::vector<Token<Unit>>& tokens);

}  // namespace vellum::py
