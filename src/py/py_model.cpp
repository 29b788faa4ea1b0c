// BpeModelBase: a validated model that saves its vocabulary and merges.
#include "py/model_object.hpp"

#include "formats/model_files.hpp"
#include "py/convert.hpp"
#include "py/encoder_object.hpp"
#include "py/errors.hpp"
#include "py/module_types.hpp"
#include "py/references.hpp"
#include "py/vocabulary_object.hpp"

namespace vellum::py {
namespace {

using PyModel = Object<AnyModel>;

template <class Visitor>
auto visit_model(PyObject* self, Visitor&& visitor) {
  return std::visit(std::forward<Visitor>(visitor), *as_object<AnyModel>(self)->value);
}

PyObject* py_unit(PyObject* self, void*) {
  return visit_model(self, [](const auto& model) { return text_to_python(model.unit_name()); });
}

PyObject* py_last_merge_freq(PyObject* self, void*) {
  const auto frequency = visit_model(self, [](const auto& model) { return model.last_merge_freq(); });
  if (!frequency) Py_RETURN_NONE;
  return PyLong_FromLongLong(*frequency);
}

PyObject* py_special_tokens(PyObject* self, void*) {
  const auto& tokens = visit_model(self, [](const auto& model) -> const auto& { return model.special_tokens(); });
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(tokens.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    PyObject* text = text_to_python(tokens[i]);
    if (text == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), text);
  }
  return list.release();
}

constexpr Signature kGetVocab{"BpeModelBase.get_vocab()", {}};

PyObject* py_get_vocab(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  if (!bind_arguments(kGetVocab, args, nargs, kwnames, bound)) return nullptr;
  return visit_model(self, [](const auto& model) {
    using Unit = typename std::remove_cvref_t<decltype(model)>::Unit;
    std::vector<Token<Unit>> tokens;
    tokens.reserve(model.vocabulary().size());
    for (const auto& [id, token] : model.vocabulary()) tokens.push_back(token);
    return new_vocabulary(tokens);
  });
}

constexpr Param kSaveParams[] = {{"path"}, {"format"}};
constexpr Signature kSaveVocab{"BpeModelBase.save_vocab()", kSaveParams};
constexpr Signature kSaveMerges{"BpeModelBase.save_merges_txt()", kSaveParams};

// Binds (path, format), then saves with the interpreter lock released; IOError for an Io error,
// ValueError for every other kind.
template <class Save>
PyObject* save(const Signature& signature, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
               PyObject* kwnames, Save&& save_one) {
  PyObject* bound[2];
  std::string path;
  std::string_view format;
  if (!bind_arguments(signature, args, nargs, kwnames, bound) || !convert_path(bound[0], "path", path) ||
      !convert_text(bound[1], "format", format)) {
    return nullptr;
  }
  auto status = run_released([&] {
    return visit_model(self, [&](const auto& model) { return save_one(model, path, format); });
  });
  if (!status) return nullptr;
  if (!*status) return raise_error_by_kind(status->error());
  Py_RETURN_NONE;
}

PyObject* py_save_vocab(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return save(kSaveVocab, self, args, nargs, kwnames,
              [](const auto& model, const std::string& path, std::string_view format) {
                return save_vocab(model, path, format);
              });
}

PyObject* py_save_merges_txt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return save(kSaveMerges, self, args, nargs, kwnames,
              [](const auto& model, const std::string& path, std::string_view format) {
                return save_merges(model, path, format);
              });
}

constexpr Signature kEncoder{"BpeModelBase.encoder()", kEncoderOptionParams};

PyObject* py_encoder(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[std::size(kEncoderOptionParams)];
  EncoderOptions options;
  if (!bind_arguments(kEncoder, args, nargs, kwnames, bound) || !convert_encoder_options(bound, options)) {
    return nullptr;
  }
  auto encoder = run_released([&] {
    return visit_model(self, [&](const auto& model) { return build_encoder(model, options); });
  });
  if (!encoder) return nullptr;
  if (!*encoder) return raise_error_by_kind(encoder->error());
  return new_encoder(**std::move(encoder));
}

constexpr Method kMethods[] = {
    {py_encoder, "encoder", &kEncoder, "Build an encoder directly from the validated model."},
    {py_get_vocab, "get_vocab", &kGetVocab, "Return a view of the validated vocabulary."},
    {py_save_vocab, "save_vocab", &kSaveVocab, "Save the validated vocabulary JSON."},
    {py_save_merges_txt, "save_merges_txt", &kSaveMerges, "Save the validated merge list."},
};

constexpr Property kProperties[] = {
    {py_unit, "unit", "Primary segmentation unit used by this model."},
    {py_last_merge_freq, "last_merge_freq", "Frequency of the final pair merge, if the model contains one."},
    {py_special_tokens, "special_tokens", "Reserved special tokens in vocabulary order."},
};

}  // namespace

PyObject* new_model(AnyModel&& model) { return new_object(module_types().bpe_model_base, std::move(model)); }

const ClassDecl kBpeModelBaseClass{
    "BpeModelBase", nullptr, nullptr, dealloc_object<AnyModel>, sizeof(PyModel), false, kMethods, kProperties};

}  // namespace vellum::py
