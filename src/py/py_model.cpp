// BpeModelBase: a validated model that saves its vocabulary and merges.
#include "py/model_object.hpp"

#include "formats/model_files.hpp"
#include "py/encoder_object.hpp"
#include "py/method.hpp"
#include "py/module_types.hpp"
#include "py/references.hpp"
#include "py/vocabulary_object.hpp"

namespace vellum::py {
namespace {

using Call = py::Call<AnyModel>;

PyObject* unit(AnyModel& any) {
  return std::visit([](const auto& model) { return text_to_python(model.unit_name()); }, any);
}

PyObject* last_merge_freq(AnyModel& any) {
  const auto frequency = std::visit([](const auto& model) { return model.last_merge_freq(); }, any);
  if (!frequency) Py_RETURN_NONE;
  return PyLong_FromLongLong(*frequency);
}

PyObject* special_tokens(AnyModel& any) {
  const auto& tokens = std::visit([](const auto& model) -> const auto& { return model.special_tokens(); }, any);
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(tokens.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    PyObject* text = text_to_python(tokens[i]);
    if (text == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), text);
  }
  return list.release();
}

constexpr auto kUnit = property("unit", unit, Uses::Nothing, "Primary segmentation unit used by this model.");
constexpr auto kLastMergeFreq = property("last_merge_freq", last_merge_freq, Uses::Nothing,
                                         "Frequency of the final pair merge, if the model contains one.");
constexpr auto kSpecialTokens =
    property("special_tokens", special_tokens, Uses::Nothing, "Reserved special tokens in vocabulary order.");

PyObject* get_vocab(Call& call, const NoArgs&) {
  return std::visit(
      [](const auto& model) {
        using Unit = typename std::remove_cvref_t<decltype(model)>::Unit;
        std::vector<Token<Unit>> tokens;
        tokens.reserve(model.vocabulary().size());
        for (const auto& [id, token] : model.vocabulary()) tokens.push_back(token);
        return new_vocabulary(tokens);
      },
      call.core);
}

constexpr auto kGetVocab =
    method("get_vocab", get_vocab, Uses::Nothing, kOSErrorsForIo, "Return a view of the validated vocabulary.");

struct SaveArgs {
  Path path;
  std::string_view format;
};

constexpr auto kSaveParams = params(arg(&SaveArgs::path, "path"), arg(&SaveArgs::format, "format"));

PyObject* save_vocab(Call& call, const SaveArgs& args) {
  return call.released([&](const AnyModel& any) {
    return std::visit([&](const auto& model) { return vellum::save_vocab(model, args.path.value, args.format); }, any);
  });
}

constexpr auto kSaveVocab =
    method("save_vocab", save_vocab, Uses::Nothing, kOSErrorsForIo, "Save the validated vocabulary JSON.", kSaveParams);

PyObject* save_merges_txt(Call& call, const SaveArgs& args) {
  return call.released([&](const AnyModel& any) {
    return std::visit([&](const auto& model) { return vellum::save_merges(model, args.path.value, args.format); }, any);
  });
}

constexpr auto kSaveMerges = method("save_merges_txt", save_merges_txt, Uses::Nothing, kOSErrorsForIo,
                                    "Save the validated merge list.", kSaveParams);

PyObject* encoder(Call& call, const EncoderOptions& options) {
  return call.released(
      [&](const AnyModel& any) {
        return std::visit([&](const auto& model) { return build_encoder(model, options); }, any);
      },
      [](AnyEncoder&& built) { return new_encoder(std::move(built)); });
}

constexpr auto kEncoder = method("encoder", encoder, Uses::Nothing, kOSErrorsForIo,
                                 "Build an encoder directly from the validated model.",
                                 encoder_option_params<EncoderOptions>());

constexpr Method kMethods[] = {
    bind_method<kEncoder>(),
    bind_method<kGetVocab>(),
    bind_method<kSaveVocab>(),
    bind_method<kSaveMerges>(),
};

constexpr Property kProperties[] = {bind_property<kUnit>(), bind_property<kLastMergeFreq>(),
                                    bind_property<kSpecialTokens>()};

}  // namespace

PyObject* new_model(AnyModel&& model) { return new_object(module_types().bpe_model_base, std::move(model)); }

const ClassDecl kBpeModelBaseClass = owning_class<AnyModel>(Constructor{}, kMethods, kProperties);

}  // namespace vellum::py
