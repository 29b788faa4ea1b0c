// Initialisation of the extension module _lib: exactly ten classes, added in a fixed order;
// no module-level functions or constants. A failure while creating a class fails the import.
#include "py/errors.hpp"
#include "py/module_types.hpp"
#include "py/numpy_ids.hpp"
#include "py/references.hpp"

namespace vellum::py {

ModuleTypes& module_types() {
  static ModuleTypes types;
  return types;
}

namespace {

bool add_classes(PyObject* module) {
  ModuleTypes& types = module_types();
  auto add = [module](PyTypeObject*& slot, const ClassDecl& decl, PyTypeObject* base = nullptr) {
    slot = add_class(module, decl, reinterpret_cast<PyObject*>(base));
    return slot != nullptr;
  };
  return add(types.bpe_trainer_base, kBpeTrainerBaseClass) &&
         add(types.unicode_bigram_selection, kUnicodeBigramSelectionClass) &&
         add(types.bpe_model_base, kBpeModelBaseClass) &&
         add(types.bpe_trainer_u8_idx, kBpeTrainerU8IdxClass, types.bpe_trainer_base) &&
         add(types.bpe_trainer_character_char_idx, kBpeTrainerCharacterCharIdxClass,
             types.bpe_trainer_base) &&
         add(types.vocabulary, kVocabularyClass) &&
         add(types.pre_tokenizer, kPreTokenizerClass) &&
         add(types.bigram_counter, kBigramCounterClass) &&
         add(types.word_counter, kWordCounterClass) &&
         add(types.bpe_encoder_base, kBpeEncoderBaseClass);
}

PyModuleDef module_definition = {PyModuleDef_HEAD_INIT, "_lib", nullptr, -1, nullptr,
                                 nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vellum::py

PyMODINIT_FUNC PyInit__lib() {
  using namespace vellum::py;
  Ref module = Ref::steal(PyModule_Create(&module_definition));
  if (!module || !load_invariant_exception() || !add_classes(module.get()) ||
      !create_id_buffer_type(module.get())) {
    return nullptr;
  }
  return module.release();
}
