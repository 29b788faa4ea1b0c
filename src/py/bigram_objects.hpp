// Creation of BigramCounter and UnicodeBigramSelection objects, shared by their classes and by
// the PreTokenizer methods that return them, and the bigram lists they hand out.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <span>

#include "bigram/bigram_counts.hpp"
#include "pretokenizer/pre_tokenizer.hpp"

namespace vellum::py {

// A new BigramCounter with a copy of `pre_tokenizer` and no counts.
PyObject* new_bigram_counter(const PreTokenizer& pre_tokenizer);

// A new UnicodeBigramSelection owning `selection`.
PyObject* new_bigram_selection(BigramSelection&& selection);

// A list of the bigrams as two-character strings, in the order given.
PyObject* bigrams_to_list(std::span<const BigramKey> bigrams);

}  // namespace vellum::py
