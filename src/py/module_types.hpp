// The ten classes of _lib, created once per process by module initialisation, in this order.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "py/classes.hpp"

namespace vellum::py {

struct ModuleTypes {
  PyTypeObject* bpe_trainer_base = nullptr;
  PyTypeObject* unicode_bigram_selection = nullptr;
  PyTypeObject* bpe_model_base = nullptr;
  PyTypeObject* bpe_trainer_u8_idx = nullptr;
  PyTypeObject* bpe_trainer_character_char_idx = nullptr;
  PyTypeObject* vocabulary = nullptr;
  PyTypeObject* pre_tokenizer = nullptr;
  PyTypeObject* bigram_counter = nullptr;
  PyTypeObject* word_counter = nullptr;
  PyTypeObject* bpe_encoder_base = nullptr;
};

// Filled by module initialisation; the references live as long as the process.
ModuleTypes& module_types();

// Class declarations, one per class, defined beside each class's methods.
extern const ClassDecl kBpeTrainerBaseClass;
extern const ClassDecl kUnicodeBigramSelectionClass;
extern const ClassDecl kBpeModelBaseClass;
extern const ClassDecl kBpeTrainerU8IdxClass;
extern const ClassDecl kBpeTrainerCharacterCharIdxClass;
extern const ClassDecl kVocabularyClass;
extern const ClassDecl kPreTokenizerClass;
extern const ClassDecl kBigramCounterClass;
extern const ClassDecl kWordCounterClass;
extern const ClassDecl kBpeEncoderBaseClass;

}  // namespace vellum::py
