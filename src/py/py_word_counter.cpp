// WordCounter: word frequencies over texts, batches, sources and other counters.
#include "pretokenizer/word_counter.hpp"

#include "pretokenizer/word_counter_file.hpp"
#include "py/convert.hpp"
#include "py/errors.hpp"
#include "py/module_types.hpp"
#include "py/results.hpp"
#include "py/source_batches.hpp"
#include "py/word_counter_object.hpp"

namespace vellum::py {
namespace {

using PyWordCounter = Object<WordCounter>;

constexpr Param kConstructorParams[] = {{"pre_tokenizer"}};
constexpr Signature kConstructor{"WordCounter.__new__()", kConstructorParams};

PyObject* py_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  PyObject* bound[1];
  if (!bind_arguments(kConstructor, args, kwargs, bound) ||
      !check_instance(bound[0], module_types().pre_tokenizer, "pre_tokenizer")) {
    return nullptr;
  }
  Object<PreTokenizer>* pre_tokenizer = as_object<PreTokenizer>(bound[0]);
  const Borrow borrow(pre_tokenizer->borrow, Access::Shared);
  if (!borrow) return nullptr;
  return new_word_counter(type, *pre_tokenizer->value, {});
}

// Runs `work(counter) -> Result<void>` without the interpreter lock, holding `access` to the
// counter; an Error becomes `exception_type`.
template <class Work>
PyObject* run_on_counter(PyObject* self, Access access, PyObject* exception_type, Work&& work) {
  PyWordCounter* object = as_object<WordCounter>(self);
  const Borrow borrow(object->borrow, access);
  if (!borrow) return nullptr;
  auto status = run_released([&] { return work(*object->value); });
  if (!status) return nullptr;
  if (!*status) return raise_error(exception_type, status->error());
  Py_RETURN_NONE;
}

constexpr Param kTextParams[] = {{"text"}};
constexpr Signature kAddText{"WordCounter.add_text()", kTextParams};

PyObject* py_add_text(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  std::string_view text;
  if (!bind_arguments(kAddText, args, nargs, kwnames, bound) || !convert_text(bound[0], "text", text)) {
    return nullptr;
  }
  return run_on_counter(self, Access::Exclusive, PyExc_RuntimeError,
                        [&](WordCounter& counter) { return counter.add_text(text); });
}

constexpr Param kTextsParams[] = {{"texts"}};
constexpr Signature kAddBatch{"WordCounter.add_batch()", kTextsParams};

PyObject* py_add_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  std::vector<std::string> texts;
  if (!bind_arguments(kAddBatch, args, nargs, kwnames, bound) ||
      !convert_text_sequence(bound[0], "texts", texts)) {
    return nullptr;
  }
  return run_on_counter(self, Access::Exclusive, PyExc_RuntimeError,
                        [&](WordCounter& counter) { return counter.add_batch(texts); });
}

constexpr Signature kAddSource{"WordCounter.add_source()", kAddSourceParams};

PyObject* py_add_source(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[std::size(kAddSourceParams)];
  SourceLimits limits;
  if (!bind_arguments(kAddSource, args, nargs, kwnames, bound) || !convert_source_limits(bound, limits)) {
    return nullptr;
  }
  PyWordCounter* object = as_object<WordCounter>(self);
  const Borrow borrow(object->borrow, Access::Exclusive);
  if (!borrow) return nullptr;
  WordCounter& counter = *object->value;
  const CountBatch count_batch = [&counter](std::vector<std::string>&& texts) -> Result<void> {
    auto words = counter.count_batch(texts);
    if (!words) return std::unexpected(std::move(words.error()));
    return counter.absorb(*words);
  };
  return stream_source(bound[0], limits, count_batch);
}

constexpr Param kOtherParams[] = {{"other"}};
constexpr Signature kMerge{"WordCounter.merge()", kOtherParams};

PyObject* py_merge(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  if (!bind_arguments(kMerge, args, nargs, kwnames, bound) ||
      !check_instance(bound[0], module_types().word_counter, "other")) {
    return nullptr;
  }
  PyWordCounter* object = as_object<WordCounter>(self);
  const Borrow borrow(object->borrow, Access::Exclusive);
  if (!borrow) return nullptr;
  PyWordCounter* other = as_object<WordCounter>(bound[0]);
  // Taken after this counter's exclusive access, so merging a counter into itself is refused.
  const Borrow other_borrow(other->borrow, Access::Shared);
  if (!other_borrow) return nullptr;
  auto status = run_released([&] { return object->value->merge(*other->value); });
  if (!status) return nullptr;
  if (!*status) return raise_error(PyExc_RuntimeError, status->error());
  Py_RETURN_NONE;
}

constexpr Signature kWords{"WordCounter.words()", {}};

PyObject* py_words(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  if (!bind_arguments(kWords, args, nargs, kwnames, bound)) return nullptr;
  PyWordCounter* object = as_object<WordCounter>(self);
  const Borrow borrow(object->borrow, Access::Shared);
  if (!borrow) return nullptr;
  auto words = run_held([&] { return object->value->words(); });
  if (!words) return nullptr;
  return word_counts_to_dict(*words);
}

constexpr Signature kClear{"WordCounter.clear()", {}};

PyObject* py_clear(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  if (!bind_arguments(kClear, args, nargs, kwnames, bound)) return nullptr;
  PyWordCounter* object = as_object<WordCounter>(self);
  const Borrow borrow(object->borrow, Access::Exclusive);
  if (!borrow) return nullptr;
  object->value->clear();
  Py_RETURN_NONE;
}

constexpr Param kPathParams[] = {{"path"}};
constexpr Signature kSave{"WordCounter.save()", kPathParams};

PyObject* py_save(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  std::string path;
  if (!bind_arguments(kSave, args, nargs, kwnames, bound) || !convert_path(bound[0], "path", path)) {
    return nullptr;
  }
  return run_on_counter(self, Access::Shared, PyExc_OSError, [&](WordCounter& counter) {
    return save_word_counts(path, counter.counts());
  });
}

PyObject* py_len(PyObject* self, void*) {
  PyWordCounter* object = as_object<WordCounter>(self);
  const Borrow borrow(object->borrow, Access::Shared);
  if (!borrow) return nullptr;
  return PyLong_FromSize_t(object->value->size());
}

constexpr Method kMethods[] = {
    {py_add_text, "add_text", &kAddText, nullptr},
    {py_add_batch, "add_batch", &kAddBatch, nullptr},
    {py_add_source, "add_source", &kAddSource, nullptr},
    {py_merge, "merge", &kMerge, nullptr},
    {py_words, "words", &kWords, nullptr},
    {py_clear, "clear", &kClear, nullptr},
    {py_save, "save", &kSave, nullptr},
};

constexpr Property kProperties[] = {{py_len, "len", nullptr}};

}  // namespace

PyObject* new_word_counter(PyTypeObject* type, const PreTokenizer& pre_tokenizer, WordMap counts) {
  auto counter = run_held([&] { return WordCounter(pre_tokenizer, std::move(counts)); });
  if (!counter) return nullptr;
  return new_object(type, *std::move(counter));
}

const ClassDecl kWordCounterClass{
    "WordCounter", &kConstructor, py_new, dealloc_object<WordCounter>,
    sizeof(PyWordCounter), false, kMethods, kProperties};

}  // namespace vellum::py
