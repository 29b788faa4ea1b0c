// Vocabulary: a read-only view of a vocabulary, handed out by trainers and models.
#include "py/vocabulary_object.hpp"

#include <variant>

#include "bpe/unit_kinds.hpp"
#include "py/method.hpp"
#include "py/module_types.hpp"
#include "py/references.hpp"

namespace vellum::py {
namespace {

using Call = py::Call<AnyVocabulary>;

struct WordArgs {
  std::string_view word;
};

PyObject* get(Call& call, const WordArgs& args) {
  return call.held(
      [&](const AnyVocabulary& any) {
        return std::visit(
            [&](const auto& view) {
              using Unit = typename std::remove_cvref_t<decltype(view)>::value_type;
              if constexpr (std::is_same_v<Unit, Character>) return view.get(characters_of(args.word));
              else return view.get(Units<std::uint8_t>(args.word.begin(), args.word.end()));
            },
            any);
      },
      [](const auto& id) -> PyObject* {
        if (!id) Py_RETURN_NONE;
        return PyLong_FromUnsignedLong(*id);
      });
}

constexpr auto kGet = method("get", get, Uses::Nothing, kRuntimeErrors,
                             "Look up a word/token and return its id if present.", params(arg(&WordArgs::word, "word")));

PyObject* items(Call& call, const NoArgs&) {
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
      call.core);
}

constexpr auto kItems =
    method("items", items, Uses::Nothing, kRuntimeErrors, "Return all `(token_bytes, id)` entries.");

PyObject* len(AnyVocabulary& any) {
  return PyLong_FromSize_t(std::visit([](const auto& view) { return view.size(); }, any));
}

constexpr auto kLen = property("len", len, Uses::Nothing, "Number of entries in the vocabulary.");

constexpr Method kMethods[] = {bind_method<kGet>(), bind_method<kItems>()};

constexpr Property kProperties[] = {bind_property<kLen>()};

}  // namespace

template <class Unit>
PyObject* new_vocabulary(const std::vector<Token<Unit>>& tokens) {
  auto view = run_held([&] { return AnyVocabulary(VocabularyView<Unit>(tokens)); });
  if (!view) return nullptr;
  return new_object(module_types().vocabulary, *std::move(view));
}

template PyObject* new_vocabulary(const std::vector<Token<std::uint8_t>>&);
template PyObject* new_vocabulary(const std::vector<Token<Character>>&);

const ClassDecl kVocabularyClass = owning_class<AnyVocabulary>(Constructor{}, kMethods, kProperties);

}  // namespace vellum::py
