// BpeEncoderBase objects: shared by the class and by BpeModelBase.encoder.
//
// An object owns one reference to its core encoder, which other objects may share. Every call takes
// the object's access counter as a shared user and encodes with the interpreter lock released, so
// any number of threads may use one object at once. These functions need the interpreter lock.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "formats/encoder_sources.hpp"
#include "py/binder.hpp"

namespace vellum::py {

// A new BpeEncoderBase sharing `encoder`.
PyObject* new_encoder(AnyEncoder&& encoder);

// Converts the pre-tokenizer options shared by the encoder constructor and BpeModelBase.encoder:
// pat_str, unicode_bigrams, unicode_bigram_mixed_boundary, split_on_vocab_bigrams, in that order.
bool convert_encoder_options(PyObject* const* bound, EncoderOptions& options);

// Their parameter table entries, in that order.
inline constexpr Param kEncoderOptionParams[] = {
    {"pat_str", "None"},
    {"unicode_bigrams", "None"},
    {"unicode_bigram_mixed_boundary", "\"keep\""},
    {"split_on_vocab_bigrams", "True"},
};

}  // namespace vellum::py
