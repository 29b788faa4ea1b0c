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

PyObject* segments_to_list(std::span<const Segment> segments) {
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(segments.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    PyObject* pair = Py_BuildValue("(KK)", static_cast<unsigned long long>(segments[i].offset),
                                   static_cast<unsigned long long>(segments[i].length));
    if (pair == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), pair);
  }
  return list.release();
}

}  // namespace vellum::py
