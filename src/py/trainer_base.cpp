// BpeTrainerBase: the marker base of the two trainer classes. It owns no value, has no members
// and cannot be instantiated, but Python code may subclass it.
#include "py/module_types.hpp"

namespace vellum::py {

const ClassDecl kBpeTrainerBaseClass{"BpeTrainerBase", {}, nullptr, 0, true, {}, {}};

}  // namespace vellum::py
