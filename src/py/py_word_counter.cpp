// WordCounter: word frequencies over texts, batches, sources and other counters.
#include "pretokenizer/word_counter.hpp"

#include "pretokenizer/word_counter_file.hpp"
#include "py/counter_methods.hpp"
#include "py/method.hpp"
#include "py/module_types.hpp"
#include "py/results.hpp"
#include "py/word_counter_object.hpp"

namespace vellum::py {
namespace {

using Call = py::Call<WordCounter>;

PyObject* new_empty_word_counter(const PreTokenizer& pre_tokenizer) { return new_word_counter(pre_tokenizer, {}); }

using Counting = CounterMethods<WordCounter, new_empty_word_counter>;

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
    bind_method<Counting::kAddText>(), bind_method<Counting::kAddBatch>(), bind_method<Counting::kAddSource>(),
    bind_method<Counting::kMerge>(),
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
    owning_class<WordCounter>(bind_constructor<Counting::kConstructor>(), kMethods, kProperties);

}  // namespace vellum::py
