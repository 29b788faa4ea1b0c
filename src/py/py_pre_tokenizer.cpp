// PreTokenizer: construction and word extraction from strings.
#include "pretokenizer/pre_tokenizer.hpp"

#include "py/convert.hpp"
#include "py/errors.hpp"
#include "py/module_types.hpp"
#include "py/results.hpp"

namespace vellum::py {
namespace {

using PyPreTokenizer = Object<PreTokenizer>;

constexpr Param kConstructorParams[] = {
    {"special_tokens"},
    {"eot_token", "None"},
    {"pat_str", "None"},
    {"unicode_bigrams", "None"},
    {"unicode_bigram_mixed_boundary", "\"keep\""},
};
constexpr Signature kConstructor{"PreTokenizer.__new__()", kConstructorParams};

// An optional text parameter whose default is None.
bool convert_optional_text(PyObject* value, const char* name, std::optional<std::string>& out) {
  if (is_absent(value)) return true;
  std::string_view text;
  if (!convert_text(value, name, text)) return false;
  out.emplace(text);
  return true;
}

PyObject* py_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  PyObject* bound[std::size(kConstructorParams)];
  if (!bind_arguments(kConstructor, args, kwargs, bound)) return nullptr;
  PreTokenizerOptions options;
  if (!convert_text_sequence(bound[0], "special_tokens", options.special_tokens) ||
      !convert_optional_text(bound[1], "eot_token", options.eot_token) ||
      !convert_optional_text(bound[2], "pat_str", options.pat_str)) {
    return nullptr;
  }
  if (!is_absent(bound[3]) &&
      !convert_text_sequence(bound[3], "unicode_bigrams", options.unicode_bigrams.emplace())) {
    return nullptr;
  }
  if (bound[4] != nullptr) {
    std::string_view mode;
    if (!convert_text(bound[4], "unicode_bigram_mixed_boundary", mode)) return nullptr;
    options.unicode_bigram_mixed_boundary = mode;
  }
  auto created = run_held([&] { return PreTokenizer::create(options); });
  if (!created) return nullptr;
  if (!*created) return raise_error(PyExc_ValueError, created->error());
  return new_object(type, std::move(**created));
}

constexpr Param kGetWordsParams[] = {{"text"}};
constexpr Signature kGetWords{"PreTokenizer.get_words()", kGetWordsParams};

PyObject* py_get_words(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  std::string_view text;
  if (!bind_arguments(kGetWords, args, nargs, kwnames, bound) ||
      !convert_text(bound[0], "text", text)) {
    return nullptr;
  }
  PyPreTokenizer* object = as_object<PreTokenizer>(self);
  const Borrow borrow(object->borrow, Access::Shared);
  if (!borrow) return nullptr;
  auto words = run_released([&] { return object->value->get_words(text); });
  if (!words) return nullptr;
  if (!*words) return raise_error(PyExc_RuntimeError, words->error());
  return word_counts_to_dict(**words);
}

constexpr Method kMethods[] = {
    {py_get_words, "get_words", &kGetWords, "Pretokenize text and return a word-frequency mapping."},
};

}  // namespace

const ClassDecl kPreTokenizerClass{
    "PreTokenizer", &kConstructor, py_new, dealloc_object<PreTokenizer>,
    sizeof(PyPreTokenizer), false, kMethods, {}};

}  // namespace vellum::py
