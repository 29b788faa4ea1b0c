// BigramCounter and UnicodeBigramSelection: Unicode bigram frequencies and their selection.
#include "pretokenizer/bigram_counter.hpp"

#include "py/bigram_objects.hpp"
#include "py/counter_methods.hpp"
#include "py/method.hpp"
#include "py/module_types.hpp"
#include "py/references.hpp"

namespace vellum::py {
namespace {

using Call = py::Call<BigramCounter>;

using Counting = CounterMethods<BigramCounter, new_bigram_counter>;

PyObject* items(Call& call, const NoArgs&) {
  return call.held([](const BigramCounter& counter) { return counter.items(); },
                   [](const std::vector<std::pair<BigramKey, std::int64_t>>& entries) -> PyObject* {
                     Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(entries.size())));
                     if (!list) return nullptr;
                     for (std::size_t i = 0; i < entries.size(); ++i) {
                       const std::string text = bigram_text(entries[i].first);
                       PyObject* item = Py_BuildValue("(s#L)", text.data(), static_cast<Py_ssize_t>(text.size()),
                                                      static_cast<long long>(entries[i].second));
                       if (item == nullptr) return nullptr;
                       PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
                     }
                     return list.release();
                   });
}

constexpr auto kItems = method("items", items, Uses::Shared, kRuntimeErrors, nullptr);

struct SelectArgs {
  std::uint64_t top_k;
  std::int64_t min_freq;
};

constexpr auto kSelectParams = params(arg(&SelectArgs::top_k, "top_k"), arg(&SelectArgs::min_freq, "min_freq"));

PyObject* selected(Call& call, const SelectArgs& args) {
  return call.held([&](const BigramCounter& counter) { return counter.select(args.top_k, args.min_freq); },
                   [](const BigramSelection& selection) { return bigrams_to_list(selection.bigrams); });
}

constexpr auto kSelected = method("selected", selected, Uses::Shared, kRuntimeErrors, nullptr, kSelectParams);

PyObject* select(Call& call, const SelectArgs& args) {
  return call.held([&](const BigramCounter& counter) { return counter.select(args.top_k, args.min_freq); },
                   [](BigramSelection&& selection) { return new_bigram_selection(std::move(selection)); });
}

constexpr auto kSelect = method("select", select, Uses::Shared, kRuntimeErrors, nullptr, kSelectParams);

constexpr Method kMethods[] = {
    bind_method<Counting::kAddText>(), bind_method<Counting::kAddBatch>(), bind_method<Counting::kAddSource>(),
    bind_method<Counting::kMerge>(),
    bind_method<kItems>(),   bind_method<kSelected>(), bind_method<kSelect>(),
};

PyObject* optional_count(const std::optional<std::int64_t>& count) {
  if (!count) Py_RETURN_NONE;
  return PyLong_FromLongLong(*count);
}

PyObject* selection_bigrams(BigramSelection& selection) { return bigrams_to_list(selection.bigrams); }
PyObject* cutoff_freq(BigramSelection& selection) { return optional_count(selection.cutoff_freq); }
PyObject* max_excluded_freq(BigramSelection& selection) { return optional_count(selection.max_excluded_freq); }

constexpr auto kBigrams = property("bigrams", selection_bigrams, Uses::Nothing, nullptr);
constexpr auto kCutoffFreq = property("cutoff_freq", cutoff_freq, Uses::Nothing, nullptr);
constexpr auto kMaxExcludedFreq = property("max_excluded_freq", max_excluded_freq, Uses::Nothing, nullptr);

constexpr Property kSelectionProperties[] = {bind_property<kBigrams>(), bind_property<kCutoffFreq>(),
                                             bind_property<kMaxExcludedFreq>()};

}  // namespace

PyObject* new_bigram_counter(const PreTokenizer& pre_tokenizer) {
  auto counter = run_held([&] { return BigramCounter(pre_tokenizer); });
  if (!counter) return nullptr;
  return new_object(module_types().bigram_counter, *std::move(counter));
}

PyObject* new_bigram_selection(BigramSelection&& selection) {
  return new_object(module_types().unicode_bigram_selection, std::move(selection));
}

PyObject* bigrams_to_list(std::span<const BigramKey> bigrams) {
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(bigrams.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < bigrams.size(); ++i) {
    const std::string text = bigram_text(bigrams[i]);
    PyObject* item = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

const ClassDecl kBigramCounterClass = owning_class<BigramCounter>(bind_constructor<Counting::kConstructor>(), kMethods);
const ClassDecl kUnicodeBigramSelectionClass = owning_class<BigramSelection>(Constructor{}, {}, kSelectionProperties);

}  // namespace vellum::py
