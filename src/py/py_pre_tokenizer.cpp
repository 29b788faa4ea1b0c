// PreTokenizer: construction and word extraction from strings.
#include "pretokenizer/pre_tokenizer.hpp"

#include "pretokenizer/chunking.hpp"
#include "pretokenizer/segment_counting.hpp"
#include "pretokenizer/word_counter_file.hpp"
#include "py/convert.hpp"
#include "py/errors.hpp"
#include "py/module_types.hpp"
#include "py/results.hpp"
#include "py/word_counter_object.hpp"

namespace vellum::py {
namespace {

using PyPreTokenizer = Object<PreTokenizer>;

constexpr Param kConstructorParams[] = {
    {"special_tokens"},
    {"eot_token", "None"},
    {"pat_str", "None"},
    {"unicode_bigrams", "None"},
    {"unicode_bigram_mixed_boundary", "\"keep\""},
};
constexpr Signature kConstructor{"PreTokenizer.__new__()", kConstructorParams};

PyObject* py_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  PyObject* bound[std::size(kConstructorParams)];
  if (!bind_arguments(kConstructor, args, kwargs, bound)) return nullptr;
  PreTokenizerOptions options;
  if (!convert_text_sequence(bound[0], "special_tokens", options.special_tokens) ||
      !convert_optional_text(bound[1], "eot_token", options.eot_token) ||
      !convert_optional_text(bound[2], "pat_str", options.pat_str)) {
    return nullptr;
  }
  if (!is_absent(bound[3]) &&
      !convert_text_sequence(bound[3], "unicode_bigrams", options.unicode_bigrams.emplace())) {
    return nullptr;
  }
  if (bound[4] != nullptr) {
    std::string_view mode;
    if (!convert_text(bound[4], "unicode_bigram_mixed_boundary", mode)) return nullptr;
    options.unicode_bigram_mixed_boundary = mode;
  }
  auto created = run_held([&] { return PreTokenizer::create(options); });
  if (!created) return nullptr;
  if (!*created) return raise_error(PyExc_ValueError, created->error());
  return new_object(type, std::move(**created));
}

constexpr Param kGetWordsParams[] = {{"text"}};
constexpr Signature kGetWords{"PreTokenizer.get_words()", kGetWordsParams};

PyObject* py_get_words(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  std::string_view text;
  if (!bind_arguments(kGetWords, args, nargs, kwnames, bound) ||
      !convert_text(bound[0], "text", text)) {
    return nullptr;
  }
  PyPreTokenizer* object = as_object<PreTokenizer>(self);
  const Borrow borrow(object->borrow, Access::Shared);
  if (!borrow) return nullptr;
  auto words = run_released([&] { return object->value->get_words(text); });
  if (!words) return nullptr;
  if (!*words) return raise_error(PyExc_RuntimeError, words->error());
  return word_counts_to_dict(**words);
}

// Runs `work(pre_tokenizer)` without the interpreter lock under shared access; returns the
// work's Result, or std::nullopt with a Python exception set.
template <class Work>
auto run_shared(PyObject* self, Work&& work)
    -> std::optional<std::invoke_result_t<Work&, const PreTokenizer&>> {
  PyPreTokenizer* object = as_object<PreTokenizer>(self);
  const Borrow borrow(object->borrow, Access::Shared);
  if (!borrow) return std::nullopt;
  return run_released([&] { return work(*object->value); });
}

// The file-chunking arguments: path, then keyword-only chunk_size and boundary.
constexpr Param kChunkedFileParams[] = {
    {"path"},
    {"chunk_size", "1048576", ParamKind::KeywordOnly},
    {"boundary", "\"auto\"", ParamKind::KeywordOnly},
};

struct ChunkedFile {
  std::string path;
  ChunkRequest request = ChunkRequest::chunk_size(1048576);
  BoundaryMode mode = BoundaryMode::Auto;
};

// Converts the chunking arguments, then checks the boundary mode and the chunk size, in that
// order, before any file is touched.
bool convert_chunked_file(PyObject* const* bound, ChunkedFile& out) {
  std::uint64_t chunk_size = 1048576;
  std::string_view boundary = "auto";
  if (!convert_path(bound[0], "path", out.path) ||
      (bound[1] != nullptr && !convert_u64(bound[1], "chunk_size", chunk_size)) ||
      (bound[2] != nullptr && !convert_text(bound[2], "boundary", boundary))) {
    return false;
  }
  auto mode = parse_boundary_mode(boundary);
  if (!mode) {
    raise_error(PyExc_ValueError, mode.error());
    return false;
  }
  if (chunk_size == 0) {
    PyErr_SetString(PyExc_ValueError, "chunk_size must be at least 1");
    return false;
  }
  out.mode = *mode;
  out.request = ChunkRequest::chunk_size(chunk_size);
  return true;
}

constexpr Signature kFindChunkBoundaries{"PreTokenizer.find_chunk_boundaries()", kChunkedFileParams};

PyObject* py_find_chunk_boundaries(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  PyObject* bound[std::size(kChunkedFileParams)];
  ChunkedFile file;
  if (!bind_arguments(kFindChunkBoundaries, args, nargs, kwnames, bound) ||
      !convert_chunked_file(bound, file)) {
    return nullptr;
  }
  auto boundaries = run_shared(self, [&](const PreTokenizer& pre_tokenizer) {
    return find_boundaries(file.path, file.request, file.mode, pre_tokenizer.eot_token());
  });
  if (!boundaries) return nullptr;
  if (!*boundaries) return raise_error(PyExc_OSError, boundaries->error());
  return segments_to_list(segments(**boundaries));
}

constexpr Param kSegmentParams[] = {{"path"}, {"offset"}, {"length"}};
constexpr Signature kGetWordsFromSegment{"PreTokenizer.get_words_from_segment()", kSegmentParams};

PyObject* py_get_words_from_segment(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  PyObject* bound[std::size(kSegmentParams)];
  std::string path;
  Segment segment{};
  if (!bind_arguments(kGetWordsFromSegment, args, nargs, kwnames, bound) ||
      !convert_path(bound[0], "path", path) || !convert_u64(bound[1], "offset", segment.offset) ||
      !convert_u64(bound[2], "length", segment.length)) {
    return nullptr;
  }
  std::string text;
  WordViewMap counts;
  std::vector<WordCount> words;
  auto status = run_shared(self, [&](const PreTokenizer& pre_tokenizer) -> Result<void> {
    if (auto counted = count_segment(pre_tokenizer, path, segment, text, counts); !counted) {
      return counted;
    }
    words = sorted_word_counts(counts);
    return ok();
  });
  if (!status) return nullptr;
  if (!*status) return raise_error(PyExc_RuntimeError, status->error());
  return word_counts_to_dict(words);
}

constexpr Signature kGetWordsFromFile{"PreTokenizer.get_words_from_file()", kChunkedFileParams};

PyObject* py_get_words_from_file(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  PyObject* bound[std::size(kChunkedFileParams)];
  ChunkedFile file;
  if (!bind_arguments(kGetWordsFromFile, args, nargs, kwnames, bound) ||
      !convert_chunked_file(bound, file)) {
    return nullptr;
  }
  WordMap counts;
  std::vector<WordCount> words;
  auto status = run_shared(self, [&](const PreTokenizer& pre_tokenizer) -> Result<void> {
    auto counted = count_file_words(pre_tokenizer, file.path, file.request, file.mode);
    if (!counted) return std::unexpected(std::move(counted.error()));
    counts = *std::move(counted);
    words = sorted_word_counts(counts);
    return ok();
  });
  if (!status) return nullptr;
  if (!*status) return raise_error(PyExc_OSError, status->error());
  return word_counts_to_dict(words);
}

constexpr Signature kWordCounter{"PreTokenizer.word_counter()", {}};

PyObject* py_word_counter(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  if (!bind_arguments(kWordCounter, args, nargs, kwnames, bound)) return nullptr;
  PyPreTokenizer* object = as_object<PreTokenizer>(self);
  const Borrow borrow(object->borrow, Access::Shared);
  if (!borrow) return nullptr;
  return new_word_counter(module_types().word_counter, *object->value, {});
}

constexpr Param kPathParams[] = {{"path"}};
constexpr Signature kLoadWordCounter{"PreTokenizer.load_word_counter()", kPathParams};

PyObject* py_load_word_counter(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
  PyObject* bound[1];
  std::string path;
  if (!bind_arguments(kLoadWordCounter, args, nargs, kwnames, bound) ||
      !convert_path(bound[0], "path", path)) {
    return nullptr;
  }
  auto counts = run_shared(self, [&](const PreTokenizer&) { return load_word_counts(path); });
  if (!counts) return nullptr;
  if (!*counts) return raise_error(PyExc_OSError, counts->error());
  return new_word_counter(module_types().word_counter, *as_object<PreTokenizer>(self)->value,
                          **std::move(counts));
}

constexpr Method kMethods[] = {
    {py_get_words, "get_words", &kGetWords, "Pretokenize text and return a word-frequency mapping."},
    {py_find_chunk_boundaries, "find_chunk_boundaries", &kFindChunkBoundaries,
     "Python wrapper for [`PreTokenizer::find_chunk_boundaries`]."},
    {py_get_words_from_segment, "get_words_from_segment", &kGetWordsFromSegment,
     "Python wrapper for [`PreTokenizer::get_words_from_segment`]."},
    {py_get_words_from_file, "get_words_from_file", &kGetWordsFromFile,
     "Python wrapper for [`PreTokenizer::get_words_from_file`]."},
    {py_word_counter, "word_counter", &kWordCounter, "Create an empty mergeable word counter."},
    {py_load_word_counter, "load_word_counter", &kLoadWordCounter, nullptr},
};

}  // namespace

const ClassDecl kPreTokenizerClass{
    "PreTokenizer", &kConstructor, py_new, dealloc_object<PreTokenizer>,
    sizeof(PyPreTokenizer), false, kMethods, {}};

}  // namespace vellum::py
