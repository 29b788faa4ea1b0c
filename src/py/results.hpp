// Conversion of core results into Python objects. Use with the interpreter lock held.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <span>

#include "pretokenizer/pre_tokenizer.hpp"

namespace vellum::py {

// A dict from word to count, filled in the order given (callers pass words in byte order).
PyObject* word_counts_to_dict(std::span<const WordCount> words);

}  // namespace vellum::py
