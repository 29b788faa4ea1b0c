// BpeEncoderBase objects, shared by the class and by BpeModelBase.encoder.
//
// An object owns an EncoderHandle: one reference to its core encoder, which other objects may
// share, and the int objects of its ids. Every call takes the object's access counter as a shared
// user and encodes with the interpreter lock released, so any number of threads may use one
// object at once (the encoder's word cache is the only state written concurrently, under its own
// locks). The int objects are built and read only with the interpreter lock held, as are these
// functions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vector>

#include "formats/encoder_sources.hpp"
#include "py/arguments.hpp"
#include "py/module_types.hpp"
#include "py/references.hpp"

namespace vellum::py {

// The encoder and one int object per id (up to a bound), made on the first conversion of ids to
// a list: lists of ids then take references to shared ints instead of allocating one per element.
struct EncoderHandle {
  AnyEncoder encoder;
  std::vector<Ref> ints;
};

// A new BpeEncoderBase sharing `encoder`.
PyObject* new_encoder(AnyEncoder&& encoder);

// The pre-tokenizer options shared by the encoder constructor and BpeModelBase.encoder, for an
// argument struct that is or derives from EncoderOptions.
template <class Args>
constexpr auto encoder_option_params() {
  return params(arg_as<Args>(&EncoderOptions::pat_str, "pat_str", Default::none()),
                arg_as<Args>(&EncoderOptions::unicode_bigrams, "unicode_bigrams", Default::none()),
                arg_as<Args>(&EncoderOptions::unicode_bigram_mixed_boundary, "unicode_bigram_mixed_boundary",
                             Default::of("keep")),
                arg_as<Args>(&EncoderOptions::split_on_vocab_bigrams, "split_on_vocab_bigrams", Default::of(true)));
}

}  // namespace vellum::py
