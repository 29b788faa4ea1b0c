// The ten classes of _lib, created once per process by module initialisation, in this order,
// and the core value type that each class's objects own.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <type_traits>
#include <variant>

#include "py/classes.hpp"

namespace vellum {
class PreTokenizer;
class WordCounter;
class BigramCounter;
struct BigramSelection;
class Character;
struct ByteUnit;
struct CharUnit;
template <class Kind>
class Trainer;
template <class Kind>
class BpeModel;
template <class Unit>
class VocabularyView;
}  // namespace vellum

namespace vellum::py {

struct EncoderHandle;
using AnyModel = std::variant<BpeModel<ByteUnit>, BpeModel<CharUnit>>;
using AnyVocabulary = std::variant<VocabularyView<std::uint8_t>, VocabularyView<Character>>;

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

#define VELLUM_CLASS_OF(CORE, NAME, SLOT)                                  \
  template <>                                                              \
  struct ClassOf<CORE> {                                                   \
    static constexpr const char* name = NAME;                              \
    static PyTypeObject* type() { return module_types().SLOT; }            \
  };
VELLUM_CLASS_OF(PreTokenizer, "PreTokenizer", pre_tokenizer)
VELLUM_CLASS_OF(WordCounter, "WordCounter", word_counter)
VELLUM_CLASS_OF(BigramCounter, "BigramCounter", bigram_counter)
VELLUM_CLASS_OF(BigramSelection, "UnicodeBigramSelection", unicode_bigram_selection)
VELLUM_CLASS_OF(EncoderHandle, "BpeEncoderBase", bpe_encoder_base)
VELLUM_CLASS_OF(AnyModel, "BpeModelBase", bpe_model_base)
VELLUM_CLASS_OF(AnyVocabulary, "Vocabulary", vocabulary)
#undef VELLUM_CLASS_OF

template <class Kind>
struct ClassOf<Trainer<Kind>> {
  static constexpr bool bytes = std::is_same_v<Kind, ByteUnit>;
  static constexpr const char* name = bytes ? "BpeTrainer_u8_Idx" : "BpeTrainer_Character_CharIdx";
  static PyTypeObject* type() {
    return bytes ? module_types().bpe_trainer_u8_idx : module_types().bpe_trainer_character_char_idx;
  }
};

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
