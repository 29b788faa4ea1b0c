// The methods that WordCounter and BigramCounter share: construction from a pre-tokenizer and
// counting texts, batches, sources and other counters of the same class. `Counter` provides
// add_text, add_batch and merge returning Result<void>; `create` makes a new empty counter.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>
#include <string_view>
#include <vector>

#include "pretokenizer/pre_tokenizer.hpp"
#include "py/method.hpp"
#include "py/source_batches.hpp"

namespace vellum::py {

template <class Counter, PyObject* (*create_counter)(const PreTokenizer&)>
struct CounterMethods {
  using Call = py::Call<Counter>;

  struct ConstructorArgs {
    Instance<PreTokenizer> pre_tokenizer;
  };

  static PyObject* create(PyTypeObject*, const ConstructorArgs& args) {
    return with_borrow(args.pre_tokenizer.get(), Uses::Shared, create_counter);
  }

  static constexpr auto kConstructor =
      constructor<Counter>(create, kRuntimeErrors, params(arg(&ConstructorArgs::pre_tokenizer, "pre_tokenizer")));

  struct TextArgs {
    std::string_view text;
  };

  static PyObject* add_text(Call& call, const TextArgs& args) {
    return call.released([&](Counter& counter) { return counter.add_text(args.text); });
  }

  static constexpr auto kAddText =
      method("add_text", add_text, Uses::Exclusive, kRuntimeErrors, nullptr, params(arg(&TextArgs::text, "text")));

  struct TextsArgs {
    std::vector<std::string> texts;
  };

  static PyObject* add_batch(Call& call, const TextsArgs& args) {
    return call.released([&](Counter& counter) { return counter.add_batch(args.texts); });
  }

  static constexpr auto kAddBatch = method("add_batch", add_batch, Uses::Exclusive, kRuntimeErrors, nullptr,
                                           params(arg(&TextsArgs::texts, "texts")));

  static PyObject* add_source(Call& call, const SourceArgs& args) {
    return stream_source(args, [&call](std::vector<std::string>&& texts) { return call.core.add_batch(texts); });
  }

  static constexpr auto kAddSource =
      method("add_source", add_source, Uses::Exclusive, kRuntimeErrors, nullptr, kSourceParams);

  struct OtherArgs {
    Instance<Counter> other;
  };

  // The other counter is borrowed after this one's exclusive access, so merging a counter into
  // itself is refused.
  static PyObject* merge(Call& call, const OtherArgs& args) {
    return with_borrow(args.other.get(), Uses::Shared, [&](const Counter& other) {
      return call.released([&](Counter& counter) { return counter.merge(other); });
    });
  }

  static constexpr auto kMerge =
      method("merge", merge, Uses::Exclusive, kRuntimeErrors, nullptr, params(arg(&OtherArgs::other, "other")));
};

}  // namespace vellum::py
