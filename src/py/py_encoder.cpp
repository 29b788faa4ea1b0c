// BpeEncoderBase: encoding text to token ids and decoding them back.
#include "py/encoder_object.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "py/method.hpp"
#include "py/module_types.hpp"
#include "py/numpy_ids.hpp"
#include "py/references.hpp"

namespace vellum::py {
namespace {

using Call = py::Call<EncoderHandle>;

// Lists of ids take references to one shared int object per id (for ids below this bound)
// instead of allocating one per element: that halved the cost of returning encode()'s list on
// English text.
constexpr std::size_t kCachedInts = std::size_t{1} << 20;

const std::vector<Ref>& id_ints(EncoderHandle& handle) {
  if (handle.ints.empty()) {
    const std::size_t bound = std::min(
        kCachedInts, std::visit([](const auto& encoder) { return encoder->dense_id_bound(); }, handle.encoder));
    handle.ints.reserve(bound);
    for (std::size_t id = 0; id < bound; ++id) handle.ints.push_back(Ref::steal(PyLong_FromSize_t(id)));
  }
  return handle.ints;
}

// A list of the ids, sharing the handle's int objects.
PyObject* to_list(EncoderHandle& handle, const TokenIds& ids) {
  const std::vector<Ref>& ints = id_ints(handle);
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(ids.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    PyObject* item = ids[i] < ints.size() && ints[ids[i]] ? Py_NewRef(ints[ids[i]].get()) : PyLong_FromUnsignedLong(ids[i]);
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

// The vocabulary of the constructor: plain token text to id.
struct VocabTexts {
  std::vector<std::pair<std::string, Idx>> items;
};

// The merges of the constructor: pairs of plain token texts.
struct MergeTexts {
  std::vector<std::pair<std::string, std::string>> items;
};

bool convert_arg(PyObject* value, const char* name, VocabTexts& out) {
  if (!PyDict_Check(value)) return raise_cannot_convert(value, name, "dict");
  Py_ssize_t position = 0;
  PyObject* key;
  PyObject* id;
  while (PyDict_Next(value, &position, &key, &id)) {
    std::string_view text;
    std::uint64_t number = 0;
    if (!convert_text(key, name, text) || !convert_u64(id, name, number)) return false;
    if (number > 0xFFFFFFFF) {
      PyErr_Format(PyExc_OverflowError, "argument '%s': id %llu does not fit in 32 bits", name,
                   static_cast<unsigned long long>(number));
      return false;
    }
    out.items.emplace_back(text, static_cast<Idx>(number));
  }
  return true;
}

bool convert_arg(PyObject* value, const char* name, MergeTexts& out) {
  if (PyUnicode_Check(value) || !PySequence_Check(value)) return raise_cannot_convert(value, name, "Sequence");
  const Ref iterator = Ref::steal(PyObject_GetIter(value));
  if (!iterator) return false;
  while (const Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    if (!PyTuple_Check(item.get())) return raise_cannot_convert(item.get(), name, "tuple");
    if (PyTuple_Size(item.get()) != 2) {
      PyErr_Format(PyExc_TypeError, "argument '%s': expected tuple of length 2, but got tuple of length %zd", name,
                   PyTuple_Size(item.get()));
      return false;
    }
    std::string_view left;
    std::string_view right;
    if (!convert_text(PyTuple_GetItem(item.get(), 0), name, left) ||
        !convert_text(PyTuple_GetItem(item.get(), 1), name, right)) {
      return false;
    }
    out.items.emplace_back(left, right);
  }
  return !PyErr_Occurred();
}

struct ConstructorArgs : EncoderOptions {
  std::string_view format;
  std::string_view unit;
  std::optional<VocabTexts> vocab;
  std::optional<MergeTexts> merges;
  std::optional<Path> vocab_file;
  std::optional<Path> merges_file;
  std::optional<std::vector<std::string>> special_tokens;
};

PyObject* create(PyTypeObject*, const ConstructorArgs& args) {
  EncoderSources sources;
  sources.format = args.format;
  sources.unit = args.unit;
  if (args.vocab) sources.vocab = args.vocab->items;
  if (args.merges) sources.merges = args.merges->items;
  if (args.vocab_file) sources.vocab_file = args.vocab_file->value;
  if (args.merges_file) sources.merges_file = args.merges_file->value;
  if (args.special_tokens) sources.special_tokens = *args.special_tokens;
  auto encoder = run_released([&] { return build_encoder(sources, args); }, &kRuntimeErrors);
  return emit_result(std::move(encoder), kRuntimeErrors, [](AnyEncoder&& built) { return new_encoder(std::move(built)); });
}

constexpr auto kConstructor = constructor<EncoderHandle>(
    create, kRuntimeErrors, join(params(arg(&ConstructorArgs::format, "format"), arg(&ConstructorArgs::unit, "unit"),
                        arg(&ConstructorArgs::vocab, "vocab"), arg(&ConstructorArgs::merges, "merges"),
                        arg(&ConstructorArgs::vocab_file, "vocab_file"),
                        arg(&ConstructorArgs::merges_file, "merges_file"),
                        arg(&ConstructorArgs::special_tokens, "special_tokens")),
                 encoder_option_params<ConstructorArgs>()));

// Calls with less input than this keep the interpreter lock: releasing it for a short call makes
// every other Python thread that waits for the lock take it and hand it back, two context
// switches per call. Two threads encoding 16 MB of English prose line by line on one warm
// encoder took 0.51 s against 0.30 s for one thread while the lock was always released, and take
// 0.30 s against 0.29 s with this threshold (bench/encode.py measures it per corpus kind). A call
// of this size takes some tens of microseconds; batches of short texts gain from more threads
// through Tokenizer.encode_batch, which joins them into long calls.
constexpr std::size_t kReleaseLockBytes = 4096;

// Runs `work(encoder)` on the encoder of either unit, with the interpreter lock released when
// the call reads at least kReleaseLockBytes of input, then emits its value.
template <class Work, class Emit>
PyObject* on_encoder(Call& call, std::size_t input_bytes, Work&& work, Emit&& emit) {
  return call.released_if(
      input_bytes >= kReleaseLockBytes,
      [&](const EncoderHandle& handle) {
        return std::visit([&](const auto& encoder) { return work(*encoder); }, handle.encoder);
      },
      emit);
}

PyObject* pre_tokenizer(Call& call, const NoArgs&) {
  const PreTokenizer& pre_tokenizer = std::visit(
      [](const auto& encoder) -> const PreTokenizer& { return encoder->pre_tokenizer(); }, call.core.encoder);
  return new_object(module_types().pre_tokenizer, PreTokenizer(pre_tokenizer));
}

constexpr auto kPreTokenizer = method("pre_tokenizer", pre_tokenizer, Uses::Nothing, kRuntimeErrors,
                                      "Return the underlying pre-tokenizer.");

struct WordArgs {
  std::string_view word;
};

PyObject* encode_word(Call& call, const WordArgs& args) {
  return on_encoder(
      call, args.word.size(), [&](const auto& encoder) { return encoder.encode_word(args.word); },
      [&](const auto& ids) { return to_list(call.core, *ids); });
}

constexpr auto kEncodeWord = method("encode_word", encode_word, Uses::Shared, kRuntimeErrors,
                                    "Encode one already-pretokenized word without PAT or special-token handling.",
                                    params(arg(&WordArgs::word, "word")));

struct WordsArgs {
  std::vector<std::string> words;
};

PyObject* encode_words(Call& call, const WordsArgs& args) {
  const std::vector<std::string_view> views(args.words.begin(), args.words.end());
  std::size_t bytes = 0;
  for (const std::string_view word : views) bytes += word.size();
  return on_encoder(
      call, bytes, [&](const auto& encoder) { return encoder.encode_words(views); },
      [&](const auto& encoded) -> PyObject* {
        Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(encoded.size())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < encoded.size(); ++i) {
          PyObject* ids = to_list(call.core, *encoded[i]);
          if (ids == nullptr) return nullptr;
          PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), ids);
        }
        return list.release();
      });
}

constexpr auto kEncodeWords = method("encode_words", encode_words, Uses::Shared, kRuntimeErrors,
                                     "Encode multiple already-pretokenized words.",
                                     params(arg(&WordsArgs::words, "words")));

struct TextArgs {
  std::string_view text;
};

constexpr auto kTextParams = params(arg(&TextArgs::text, "text"));

PyObject* encode_to_numpy(Call& call, const TextArgs& args) {
  return on_encoder(
      call, args.text.size(), [&](const auto& encoder) { return encoder.encode(args.text); },
      [](TokenIds&& ids) { return ids_to_numpy(std::move(ids)); });
}

constexpr auto kEncodeToNumpy = method("encode_to_numpy", encode_to_numpy, Uses::Shared, kRuntimeErrors,
                                       "Encode an arbitrary string into a NumPy `uint32` array of token ids.",
                                       kTextParams);

PyObject* encode(Call& call, const TextArgs& args) {
  return on_encoder(
      call, args.text.size(), [&](const auto& encoder) { return encoder.encode(args.text); },
      [&](const TokenIds& ids) { return to_list(call.core, ids); });
}

constexpr auto kEncode = method("encode", encode, Uses::Shared, kRuntimeErrors,
                                "Encode an arbitrary string into a Python list of token ids.", kTextParams);

struct FileArgs {
  Path path;
  std::uint64_t num_chunks;
};

PyObject* encode_file(Call& call, const FileArgs& args) {
  return on_encoder(
      call, kReleaseLockBytes, [&](const auto& encoder) { return encoder.encode_file(args.path.value, args.num_chunks); },
      [](TokenIds&& ids) { return ids_to_numpy(std::move(ids)); });
}

constexpr auto kEncodeFile = method("encode_file", encode_file, Uses::Shared, kRuntimeErrors,
                                    "Encode a file into a NumPy `uint32` array of token ids.",
                                    params(arg(&FileArgs::path, "path"), arg(&FileArgs::num_chunks, "num_chunks")));

struct DecodeArgs {
  TokenIdsArgument idxs;
};

PyObject* decode(Call& call, const DecodeArgs& args) {
  return on_encoder(
      call, args.idxs.ids.size() * sizeof(Idx), [&](const auto& encoder) { return encoder.decode(args.idxs.ids); },
      [](const std::string& text) { return text_to_python(text); });
}

constexpr auto kDecode =
    method("decode", decode, Uses::Shared, kRuntimeErrors,
           "Decode token ids back into a UTF-8 string.\n\nAccepts either a Python sequence of ints or a NumPy `uint32` array.",
           params(arg(&DecodeArgs::idxs, "idxs")));

constexpr Method kMethods[] = {
    bind_method<kPreTokenizer>(),  bind_method<kEncodeWord>(), bind_method<kEncodeWords>(),
    bind_method<kEncodeToNumpy>(), bind_method<kEncode>(),     bind_method<kEncodeFile>(),
    bind_method<kDecode>(),
};

}  // namespace

PyObject* new_encoder(AnyEncoder&& encoder) {
  return new_object(module_types().bpe_encoder_base, EncoderHandle{std::move(encoder), {}});
}

const ClassDecl kBpeEncoderBaseClass = owning_class<EncoderHandle>(bind_constructor<kConstructor>(), kMethods);

}  // namespace vellum::py
