// Classes whose members are not built yet: each keeps its place in the module, its base, its
// constructor signature and its subclassing rule. Until a class's behaviour exists it cannot be
// instantiated; each declaration moves to its own file when its members arrive.
#include "py/module_types.hpp"

namespace vellum::py {
namespace {

constexpr Param kCounterConstructorParams[] = {{"pre_tokenizer"}};
constexpr Signature kBigramCounterConstructor{"BigramCounter.__new__()", kCounterConstructorParams};

constexpr Param kEncoderConstructorParams[] = {
    {"format"},
    {"unit"},
    {"vocab"},
    {"merges"},
    {"vocab_file"},
    {"merges_file"},
    {"special_tokens"},
    {"pat_str", "None"},
    {"unicode_bigrams", "None"},
    {"unicode_bigram_mixed_boundary", "\"keep\""},
    {"split_on_vocab_bigrams", "True"},
};
constexpr Signature kEncoderConstructor{"BpeEncoderBase.__new__()", kEncoderConstructorParams};

constexpr ClassDecl bare_class(const char* name, const Signature* constructor = nullptr,
                               bool subclassable = false) {
  return ClassDecl{name, constructor, nullptr, nullptr, 0, subclassable, {}, {}};
}

}  // namespace

const ClassDecl kBpeTrainerBaseClass = bare_class("BpeTrainerBase", nullptr, true);
const ClassDecl kUnicodeBigramSelectionClass = bare_class("UnicodeBigramSelection");
const ClassDecl kBigramCounterClass = bare_class("BigramCounter", &kBigramCounterConstructor);
const ClassDecl kBpeEncoderBaseClass = bare_class("BpeEncoderBase", &kEncoderConstructor);

}  // namespace vellum::py
