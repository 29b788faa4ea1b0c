// Vocabulary: a read-only view of a vocabulary, handed out by trainers and models.
#include "py/vocabulary_object.hpp"

#include <variant>

#include "bpe/unit_kinds.hpp"
#include "py/convert.hpp"
#include "py/errors.hpp"
#include "py/module_types.hpp"
#include "py/references.hpp"

namespace vellum::py {
namespace {

using AnyVocabulary = std::variant<VocabularyView<std::uint8_t>, VocabularyView<Character>>;
using PyVocabulary = Object<AnyVocabulary>;

constexpr Param kWordParams[] = {{"word"}};
constexpr Signature kGet{"Vocabulary.get()", kWordParams};

PyObject* py_get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  std::string_view word;
  if (!bind_arguments(kGet, args, nargs, kwnames, bound) || !convert_text(bound[0], "word", word)) {
    return nullptr;
  }
  auto id = run_held([&] {
    return std::visit(
        [&](const auto& view) {
          using Unit = typename std::remove_cvref_t<decltype(view)>::value_type;
          if constexpr (std::is_same_v<Unit, Character>) return view.get(characters_of(word));
          else return view.get(Units<std::uint8_t>(word.begin(), word.end()));
        },
        *as_object<AnyVocabulary>(self)->value);
  });
  if (!id) return nullptr;
  if (!*id) Py_RETURN_NONE;
  return PyLong_FromUnsignedLong(**id);
}

constexpr Signature kItems{"Vocabulary.items()", {}};

PyObject* py_items(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  if (!bind_arguments(kItems, args, nargs, kwnames, bound)) return nullptr;
  return std::visit(
      [](const auto& view) -> PyObject* {
        const auto& entries = view.entries();
        Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(entries.size())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < entries.size(); ++i) {
          const std::string bytes = token_bytes(*entries[i].first);
          PyObject* item = Py_BuildValue("(y#k)", bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
                                         static_cast<unsigned long>(entries[i].second));
          if (item == nullptr) return nullptr;
          PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
        }
        return list.release();
      },
      *as_object<AnyVocabulary>(self)->value);
}

PyObject* py_len(PyObject* self, void*) {
  return PyLong_FromSize_t(std::visit([](const auto& view) { return view.size(); },
                                      *as_object<AnyVocabulary>(self)->value));
}

constexpr Method kMethods[] = {
    {py_get, "get", &kGet, "Look up a word/token and return its id if present."},
    {py_items, "items", &kItems, "Return all `(token_bytes, id)` entries."},
};

constexpr Property kProperties[] = {{py_len, "len", "Number of entries in the vocabulary."}};

}  // namespace

template <class Unit>
PyObject* new_vocabulary(const std::vector<Token<Unit>>& tokens) {
  auto view = run_held([&] { return AnyVocabulary(VocabularyView<Unit>(tokens)); });
  if (!view) return nullptr;
  return new_object(module_types().vocabulary, *std::move(view));
}

template PyObject* new_vocabulary(const std::vector<Token<std::uint8_t>>&);
template PyObject* new_vocabulary(const std::vector<Token<Character>>&);

const ClassDecl kVocabularyClass{
    "Vocabulary", nullptr, nullptr, dealloc_object<AnyVocabulary>, sizeof(PyVocabulary), false,
    kMethods, kProperties};

}  // namespace vellum::py
