// WordCounter: word frequencies over texts, batches, sources and other counters.
#include "pretokenizer/word_counter.hpp"

#include "pretokenizer/word_counter_file.hpp"
#include "py/method.hpp"
#include "py/module_types.hpp"
#include "py/results.hpp"
#include "py/source_batches.hpp"
#include "py/word_counter_object.hpp"

namespace vellum::py {
namespace {

using Call = py::Call<WordCounter>;

struct ConstructorArgs {
  Instance<PreTokenizer> pre_tokenizer;
};

PyObject* create(PyTypeObject*, const ConstructorArgs& args) {
  return with_borrow(args.pre_tokenizer.get(), Uses::Shared,
                     [](const PreTokenizer& pre_tokenizer) { return new_word_counter(pre_tokenizer, {}); });
}

constexpr auto kConstructor =
    constructor<WordCounter>(create, params(arg(&ConstructorArgs::pre_tokenizer, "pre_tokenizer")));

struct TextArgs {
  std::string_view text;
};

PyObject* add_text(Call& call, const TextArgs& args) {
  return call.released([&](WordCounter& counter) { return counter.add_text(args.text); });
}

constexpr auto kAddText =
    method("add_text", add_text, Uses::Exclusive, kRuntimeErrors, nullptr, params(arg(&TextArgs::text, "text")));

struct TextsArgs {
  std::vector<std::string> texts;
};

PyObject* add_batch(Call& call, const TextsArgs& args) {
  return call.released([&](WordCounter& counter) { return counter.add_batch(args.texts); });
}

constexpr auto kAddBatch =
    method("add_batch", add_batch, Uses::Exclusive, kRuntimeErrors, nullptr, params(arg(&TextsArgs::texts, "texts")));

PyObject* add_source(Call& call, const SourceArgs& args) {
  return stream_source(args, [&call](std::vector<std::string>&& texts) { return call.core.add_batch(texts); });
}

constexpr auto kAddSource =
    method("add_source", add_source, Uses::Exclusive, kRuntimeErrors, nullptr, kSourceParams);

struct OtherArgs {
  Instance<WordCounter> other;
};

// The other counter is borrowed after this one's exclusive access, so merging a counter into
// itself is refused.
PyObject* merge(Call& call, const OtherArgs& args) {
  return with_borrow(args.other.get(), Uses::Shared, [&](const WordCounter& other) {
    return call.released([&](WordCounter& counter) { return counter.merge(other); });
  });
}

constexpr auto kMerge =
    method("merge", merge, Uses::Exclusive, kRuntimeErrors, nullptr, params(arg(&OtherArgs::other, "other")));

PyObject* words(Call& call, const NoArgs&) {
  return call.held([](const WordCounter& counter) { return counter.words(); },
                   [](const std::vector<WordCount>& words) { return word_counts_to_dict(words); });
}

constexpr auto kWords = method("words", words, Uses::Shared, kRuntimeErrors, nullptr);

PyObject* clear(Call& call, const NoArgs&) {
  call.core.clear();
  Py_RETURN_NONE;
}

constexpr auto kClear = method("clear", clear, Uses::Exclusive, kRuntimeErrors, nullptr);

struct PathArgs {
  Path path;
};

PyObject* save(Call& call, const PathArgs& args) {
  return call.released([&](const WordCounter& counter) { return save_word_counts(args.path.value, counter.counts()); });
}

constexpr auto kSave = method("save", save, Uses::Shared, kOSErrors, nullptr, params(arg(&PathArgs::path, "path")));

PyObject* len(WordCounter& counter) { return PyLong_FromSize_t(counter.size()); }

constexpr auto kLen = property("len", len, Uses::Shared, nullptr);

constexpr Method kMethods[] = {
    bind_method<kAddText>(), bind_method<kAddBatch>(), bind_method<kAddSource>(), bind_method<kMerge>(),
    bind_method<kWords>(),   bind_method<kClear>(),    bind_method<kSave>(),
};

constexpr Property kProperties[] = {bind_property<kLen>()};

}  // namespace

PyObject* new_word_counter(const PreTokenizer& pre_tokenizer, WordMap counts) {
  auto counter = run_held([&] { return WordCounter(pre_tokenizer, std::move(counts)); });
  if (!counter) return nullptr;
  return new_object(module_types().word_counter, *std::move(counter));
}

const ClassDecl kWordCounterClass =
    owning_class<WordCounter>(bind_constructor<kConstructor>(), kMethods, kProperties);

}  // namespace vellum::py
