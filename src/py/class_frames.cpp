// Classes whose members are not built yet: each keeps its place in the module, its base, its
// constructor signature and its subclassing rule. Until a class's behaviour exists it cannot be
// instantiated; each declaration moves to its own file when its members arrive.
#include "py/module_types.hpp"

namespace vellum::py {
namespace {

constexpr Param kCounterConstructorParams[] = {{"pre_tokenizer"}};

constexpr ClassDecl bare_class(const char* name, Constructor constructor = {}, bool subclassable = false) {
  return ClassDecl{name, constructor, nullptr, 0, subclassable, {}, {}};
}

}  // namespace

const ClassDecl kBpeTrainerBaseClass = bare_class("BpeTrainerBase", {}, true);
const ClassDecl kUnicodeBigramSelectionClass = bare_class("UnicodeBigramSelection");
const ClassDecl kBigramCounterClass =
    bare_class("BigramCounter", Constructor{nullptr, kCounterConstructorParams, true});

}  // namespace vellum::py
