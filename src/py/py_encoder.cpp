// BpeEncoderBase: encoding text to token ids and decoding them back.
#include "py/encoder_object.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "py/convert.hpp"
#include "py/errors.hpp"
#include "py/module_types.hpp"
#include "py/numpy_ids.hpp"
#include "py/references.hpp"

namespace vellum::py {
namespace {

// The encoder and one int object per id (up to kCachedInts ids), made on the first conversion
// of ids to a list with the interpreter lock held: lists of ids then take references to shared
// ints instead of allocating one per element, which halved the cost of returning encode()'s
// list on English text.
struct EncoderHandle {
  AnyEncoder encoder;
  std::vector<Ref> ints;
};

using PyEncoder = Object<EncoderHandle>;

constexpr std::size_t kCachedInts = std::size_t{1} << 20;

const std::vector<Ref>& id_ints(EncoderHandle& handle) {
  if (handle.ints.empty()) {
    const std::size_t bound = std::min(
        kCachedInts, std::visit([](const auto& encoder) { return encoder->id_bound(); }, handle.encoder));
    handle.ints.reserve(bound);
    for (std::size_t id = 0; id < bound; ++id) handle.ints.push_back(Ref::steal(PyLong_FromSize_t(id)));
  }
  return handle.ints;
}

// A list of the ids, sharing the handle's int objects.
PyObject* to_list(PyObject* self, const TokenIds& ids) {
  const std::vector<Ref>& ints = id_ints(*as_object<EncoderHandle>(self)->value);
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(ids.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    PyObject* item = ids[i] < ints.size() && ints[ids[i]] ? Py_NewRef(ints[ids[i]].get()) : PyLong_FromUnsignedLong(ids[i]);
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

constexpr Param kConstructorParams[] = {
    {"format"}, {"unit"}, {"vocab"}, {"merges"}, {"vocab_file"}, {"merges_file"}, {"special_tokens"},
    kEncoderOptionParams[0], kEncoderOptionParams[1], kEncoderOptionParams[2], kEncoderOptionParams[3],
};
constexpr Signature kConstructor{"BpeEncoderBase.__new__()", kConstructorParams};

bool raise_argument_type(const char* name, PyObject* value, const char* target) {
  const Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(value)));
  if (type_name) {
    PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object cannot be converted to '%s'", name, type_name.get(),
                 target);
  }
  return false;
}

bool convert_vocab(PyObject* value, std::vector<std::pair<std::string, Idx>>& out) {
  if (!PyDict_Check(value)) return raise_argument_type("vocab", value, "dict");
  Py_ssize_t position = 0;
  PyObject* key;
  PyObject* id;
  while (PyDict_Next(value, &position, &key, &id)) {
    std::string_view text;
    std::uint64_t number = 0;
    if (!convert_text(key, "vocab", text) || !convert_u64(id, "vocab", number)) return false;
    if (number > 0xFFFFFFFF) {
      PyErr_Format(PyExc_OverflowError, "argument 'vocab': id %llu does not fit in 32 bits",
                   static_cast<unsigned long long>(number));
      return false;
    }
    out.emplace_back(text, static_cast<Idx>(number));
  }
  return true;
}

bool convert_merges(PyObject* value, std::vector<std::pair<std::string, std::string>>& out) {
  if (PyUnicode_Check(value) || !PySequence_Check(value)) return raise_argument_type("merges", value, "Sequence");
  const Ref iterator = Ref::steal(PyObject_GetIter(value));
  if (!iterator) return false;
  while (const Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    if (!PyTuple_Check(item.get())) return raise_argument_type("merges", item.get(), "tuple");
    if (PyTuple_Size(item.get()) != 2) {
      PyErr_Format(PyExc_TypeError, "argument 'merges': expected tuple of length 2, but got tuple of length %zd",
                   PyTuple_Size(item.get()));
      return false;
    }
    std::string_view left;
    std::string_view right;
    if (!convert_text(PyTuple_GetItem(item.get(), 0), "merges", left) ||
        !convert_text(PyTuple_GetItem(item.get(), 1), "merges", right)) {
      return false;
    }
    out.emplace_back(left, right);
  }
  return !PyErr_Occurred();
}

bool convert_optional_path(PyObject* value, const char* name, std::optional<std::string>& out) {
  if (is_absent(value)) return true;
  return convert_path(value, name, out.emplace());
}

PyObject* py_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  PyObject* bound[std::size(kConstructorParams)];
  EncoderSources sources;
  EncoderOptions options;
  std::string_view format;
  std::string_view unit;
  if (!bind_arguments(kConstructor, args, kwargs, bound) || !convert_text(bound[0], "format", format) ||
      !convert_text(bound[1], "unit", unit) ||
      (!is_absent(bound[2]) && !convert_vocab(bound[2], sources.vocab.emplace())) ||
      (!is_absent(bound[3]) && !convert_merges(bound[3], sources.merges.emplace())) ||
      !convert_optional_path(bound[4], "vocab_file", sources.vocab_file) ||
      !convert_optional_path(bound[5], "merges_file", sources.merges_file) ||
      (!is_absent(bound[6]) && !convert_text_sequence(bound[6], "special_tokens", sources.special_tokens)) ||
      !convert_encoder_options(bound + 7, options)) {
    return nullptr;
  }
  sources.format = format;
  sources.unit = unit;
  auto encoder = run_released([&] { return build_encoder(sources, options); });
  if (!encoder) return nullptr;
  if (!*encoder) return raise_error(PyExc_RuntimeError, encoder->error());
  return new_encoder(**std::move(encoder));
}

// Runs `work(encoder)` on the encoder of either unit with the interpreter lock released, under
// shared access; returns the work's Result, or std::nullopt with an exception set.
template <class Work>
auto run_on_encoder(PyObject* self, Work&& work) {
  PyEncoder* object = as_object<EncoderHandle>(self);
  const AnyEncoder& any = object->value->encoder;
  using Value = decltype(std::visit([&](const auto& encoder) { return work(*encoder); }, any));
  const Borrow borrow(object->borrow, Access::Shared);
  if (!borrow) return std::optional<Value>();
  return run_released([&] { return std::visit([&](const auto& encoder) { return work(*encoder); }, any); });
}

constexpr Signature kPreTokenizer{"BpeEncoderBase.pre_tokenizer()", {}};

PyObject* py_pre_tokenizer(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  if (!bind_arguments(kPreTokenizer, args, nargs, kwnames, bound)) return nullptr;
  const PreTokenizer& pre_tokenizer =
      std::visit([](const auto& encoder) -> const PreTokenizer& { return encoder->pre_tokenizer(); },
                 as_object<EncoderHandle>(self)->value->encoder);
  return new_object(module_types().pre_tokenizer, PreTokenizer(pre_tokenizer));
}

constexpr Param kWordParams[] = {{"word"}};
constexpr Signature kEncodeWord{"BpeEncoderBase.encode_word()", kWordParams};

PyObject* py_encode_word(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  std::string_view word;
  if (!bind_arguments(kEncodeWord, args, nargs, kwnames, bound) || !convert_text(bound[0], "word", word)) {
    return nullptr;
  }
  auto ids = run_on_encoder(self, [&](const auto& encoder) { return encoder.encode_word(word); });
  if (!ids) return nullptr;
  if (!*ids) return raise_error(PyExc_RuntimeError, ids->error());
  return to_list(self, ***ids);
}

constexpr Param kWordsParams[] = {{"words"}};
constexpr Signature kEncodeWords{"BpeEncoderBase.encode_words()", kWordsParams};

PyObject* py_encode_words(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  std::vector<std::string> words;
  if (!bind_arguments(kEncodeWords, args, nargs, kwnames, bound) || !convert_text_sequence(bound[0], "words", words)) {
    return nullptr;
  }
  const std::vector<std::string_view> views(words.begin(), words.end());
  auto encoded = run_on_encoder(self, [&](const auto& encoder) { return encoder.encode_words(views); });
  if (!encoded) return nullptr;
  if (!*encoded) return raise_error(PyExc_RuntimeError, encoded->error());
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>((*encoded)->size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < (*encoded)->size(); ++i) {
    PyObject* ids = to_list(self, *(**encoded)[i]);
    if (ids == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), ids);
  }
  return list.release();
}

constexpr Param kTextParams[] = {{"text"}};
constexpr Signature kEncodeToNumpy{"BpeEncoderBase.encode_to_numpy()", kTextParams};
constexpr Signature kEncode{"BpeEncoderBase.encode()", kTextParams};

// Encodes the bound text; nullopt with an exception set on failure.
std::optional<TokenIds> encode_text(const Signature& signature, PyObject* self, PyObject* const* args,
                                    Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  std::string_view text;
  if (!bind_arguments(signature, args, nargs, kwnames, bound) || !convert_text(bound[0], "text", text)) {
    return std::nullopt;
  }
  auto ids = run_on_encoder(self, [&](const auto& encoder) { return encoder.encode(text); });
  if (!ids) return std::nullopt;
  if (!*ids) {
    raise_error(PyExc_RuntimeError, ids->error());
    return std::nullopt;
  }
  return **std::move(ids);
}

PyObject* py_encode_to_numpy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto ids = encode_text(kEncodeToNumpy, self, args, nargs, kwnames);
  return ids ? ids_to_numpy(*std::move(ids)) : nullptr;
}

PyObject* py_encode(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto ids = encode_text(kEncode, self, args, nargs, kwnames);
  return ids ? to_list(self, *ids) : nullptr;
}

constexpr Param kFileParams[] = {{"path"}, {"num_chunks"}};
constexpr Signature kEncodeFile{"BpeEncoderBase.encode_file()", kFileParams};

PyObject* py_encode_file(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[2];
  std::string path;
  std::uint64_t num_chunks = 0;
  if (!bind_arguments(kEncodeFile, args, nargs, kwnames, bound) || !convert_path(bound[0], "path", path) ||
      !convert_u64(bound[1], "num_chunks", num_chunks)) {
    return nullptr;
  }
  auto ids = run_on_encoder(self, [&](const auto& encoder) { return encoder.encode_file(path, num_chunks); });
  if (!ids) return nullptr;
  if (!*ids) return raise_error(PyExc_RuntimeError, ids->error());
  return ids_to_numpy(**std::move(ids));
}

constexpr Param kIdxsParams[] = {{"idxs"}};
constexpr Signature kDecode{"BpeEncoderBase.decode()", kIdxsParams};

PyObject* py_decode(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  std::vector<Idx> ids;
  if (!bind_arguments(kDecode, args, nargs, kwnames, bound) || !convert_idxs(bound[0], ids)) return nullptr;
  auto text = run_on_encoder(self, [&](const auto& encoder) { return encoder.decode(ids); });
  if (!text) return nullptr;
  if (!*text) return raise_error(PyExc_RuntimeError, text->error());
  return text_to_python(**text);
}

constexpr Method kMethods[] = {
    {py_pre_tokenizer, "pre_tokenizer", &kPreTokenizer, "Return the underlying pre-tokenizer."},
    {py_encode_word, "encode_word", &kEncodeWord,
     "Encode one already-pretokenized word without PAT or special-token handling."},
    {py_encode_words, "encode_words", &kEncodeWords, "Encode multiple already-pretokenized words."},
    {py_encode_to_numpy, "encode_to_numpy", &kEncodeToNumpy,
     "Encode an arbitrary string into a NumPy `uint32` array of token ids."},
    {py_encode, "encode", &kEncode, "Encode an arbitrary string into a Python list of token ids."},
    {py_encode_file, "encode_file", &kEncodeFile, "Encode a file into a NumPy `uint32` array of token ids."},
    {py_decode, "decode", &kDecode,
     "Decode token ids back into a UTF-8 string.\n\nAccepts either a Python sequence of ints or a NumPy `uint32` array."},
};

}  // namespace

bool convert_encoder_options(PyObject* const* bound, EncoderOptions& options) {
  if (!convert_optional_text(bound[0], "pat_str", options.pat_str)) return false;
  if (!is_absent(bound[1]) && !convert_text_sequence(bound[1], "unicode_bigrams", options.unicode_bigrams.emplace())) {
    return false;
  }
  if (bound[2] != nullptr) {
    std::string_view text;
    if (!convert_text(bound[2], "unicode_bigram_mixed_boundary", text)) return false;
    options.unicode_bigram_mixed_boundary = text;
  }
  if (bound[3] != nullptr) {
    if (!PyBool_Check(bound[3])) return raise_argument_type("split_on_vocab_bigrams", bound[3], "bool");
    options.split_on_vocab_bigrams = bound[3] == Py_True;
  }
  return true;
}

PyObject* new_encoder(AnyEncoder&& encoder) {
  return new_object(module_types().bpe_encoder_base, EncoderHandle{std::move(encoder), {}});
}

const ClassDecl kBpeEncoderBaseClass{
    "BpeEncoderBase", &kConstructor, py_new, dealloc_object<EncoderHandle>, sizeof(PyEncoder), false, kMethods, {}};

}  // namespace vellum::py
