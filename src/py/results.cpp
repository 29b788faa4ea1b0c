#include "py/results.hpp"

#include "py/convert.hpp"
#include "py/references.hpp"

namespace vellum::py {

PyObject* word_counts_to_dict(std::span<const WordCount> words) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const WordCount& entry : words) {
    const Ref word = Ref::steal(text_to_python(entry.word));
    const Ref count = Ref::steal(PyLong_FromLongLong(entry.count));
    if (!word || !count || PyDict_SetItem(dict.get(), word.get(), count.get()) < 0) return nullptr;
  }
  return dict.release();
}

}  // namespace vellum::py
