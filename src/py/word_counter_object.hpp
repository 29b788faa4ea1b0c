// Creation of WordCounter objects, shared by the class and by the PreTokenizer methods that
// return new counters.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "pretokenizer/pre_tokenizer.hpp"
#include "pretokenizer/word_map.hpp"

namespace vellum::py {

// A new WordCounter with a copy of `pre_tokenizer` and the given counts.
PyObject* new_word_counter(const PreTokenizer& pre_tokenizer, WordMap counts);

}  // namespace vellum::py
