// Conversion of core results into Python objects. Use with the interpreter lock held.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <span>

#include "pretokenizer/chunking.hpp"
#include "pretokenizer/word_map.hpp"

namespace vellum::py {

// A dict from word to count, filled in the order given (callers pass words in byte order).
PyObject* word_counts_to_dict(std::span<const WordCount> words);

// A list of (offset, length) tuples.
PyObject* segments_to_list(std::span<const Segment> segments);

}  // namespace vellum::py
