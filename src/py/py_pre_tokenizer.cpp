// PreTokenizer: construction and word extraction from strings and files.
#include "pretokenizer/pre_tokenizer.hpp"

#include "pretokenizer/chunking.hpp"
#include "pretokenizer/segment_counting.hpp"
#include "pretokenizer/word_counter_file.hpp"
#include "py/bigram_objects.hpp"
#include "py/method.hpp"
#include "py/module_types.hpp"
#include "py/results.hpp"
#include "py/word_counter_object.hpp"

namespace vellum::py {
namespace {

using Call = py::Call<PreTokenizer>;

PyObject* create(PyTypeObject* type, const PreTokenizerOptions& options) {
  auto created = run_held([&] { return PreTokenizer::create(options); }, &kValueErrors);
  return emit_result(std::move(created), kValueErrors,
                     [type](PreTokenizer&& pre_tokenizer) { return new_object(type, std::move(pre_tokenizer)); });
}

constexpr auto kConstructor = constructor<PreTokenizer>(
    create, kValueErrors, params(arg(&PreTokenizerOptions::special_tokens, "special_tokens"),
                   arg(&PreTokenizerOptions::eot_token, "eot_token", Default::none()),
                   arg(&PreTokenizerOptions::pat_str, "pat_str", Default::none()),
                   arg(&PreTokenizerOptions::unicode_bigrams, "unicode_bigrams", Default::none()),
                   arg(&PreTokenizerOptions::unicode_bigram_mixed_boundary, "unicode_bigram_mixed_boundary",
                       Default::of("keep"))));

struct TextArgs {
  std::string_view text;
};

PyObject* get_words(Call& call, const TextArgs& args) {
  return call.released([&](const PreTokenizer& pre_tokenizer) { return pre_tokenizer.get_words(args.text); },
                       [](const std::vector<WordCount>& words) { return word_counts_to_dict(words); });
}

constexpr auto kGetWords = method("get_words", get_words, Uses::Shared, kRuntimeErrors,
                                  "Pretokenize text and return a word-frequency mapping.",
                                  params(arg(&TextArgs::text, "text")));

// The file-chunking arguments: path, then keyword-only chunk_size and boundary.
struct ChunkedFileArgs {
  Path path;
  std::uint64_t chunk_size;
  std::string_view boundary;
};

constexpr auto kChunkedFileParams =
    params(arg(&ChunkedFileArgs::path, "path"), kwarg(&ChunkedFileArgs::chunk_size, "chunk_size", Default::of(1048576)),
           kwarg(&ChunkedFileArgs::boundary, "boundary", Default::of("auto")));

PyObject* find_chunk_boundaries(Call& call, const ChunkedFileArgs& args) {
  const auto chunking = accept(parse_file_chunking(args.chunk_size, args.boundary));
  if (!chunking) return nullptr;
  return call.released(
      [&](const PreTokenizer& pre_tokenizer) {
        return find_boundaries(args.path.value, chunking->request, chunking->mode, pre_tokenizer.eot_token());
      },
      [](const std::vector<std::uint64_t>& boundaries) { return segments_to_list(segments(boundaries)); });
}

constexpr auto kFindChunkBoundaries =
    method("find_chunk_boundaries", find_chunk_boundaries, Uses::Shared, kOSErrors,
           "Python wrapper for [`PreTokenizer::find_chunk_boundaries`].", kChunkedFileParams);

struct SegmentArgs {
  Path path;
  std::uint64_t offset;
  std::uint64_t length;
};

// The returned words view the counts' keys, so the counts outlive them.
PyObject* get_words_from_segment(Call& call, const SegmentArgs& args) {
  std::string text;
  WordViewMap counts;
  std::vector<WordCount> words;
  return call.released(
      [&](const PreTokenizer& pre_tokenizer) -> Result<void> {
        auto counted = count_segment(pre_tokenizer, args.path.value, Segment{args.offset, args.length}, text, counts);
        if (counted) words = sorted_word_counts(counts);
        return counted;
      },
      [&] { return word_counts_to_dict(words); });
}

constexpr auto kGetWordsFromSegment =
    method("get_words_from_segment", get_words_from_segment, Uses::Shared, kRuntimeErrors,
           "Python wrapper for [`PreTokenizer::get_words_from_segment`].",
           params(arg(&SegmentArgs::path, "path"), arg(&SegmentArgs::offset, "offset"),
                  arg(&SegmentArgs::length, "length")));

PyObject* get_words_from_file(Call& call, const ChunkedFileArgs& args) {
  const auto chunking = accept(parse_file_chunking(args.chunk_size, args.boundary));
  if (!chunking) return nullptr;
  WordMap counts;
  std::vector<WordCount> words;
  return call.released(
      [&](const PreTokenizer& pre_tokenizer) -> Result<void> {
        auto counted = count_file_words(pre_tokenizer, args.path.value, chunking->request, chunking->mode);
        if (!counted) return std::unexpected(std::move(counted.error()));
        counts = *std::move(counted);
        words = sorted_word_counts(counts);
        return ok();
      },
      [&] { return word_counts_to_dict(words); });
}

constexpr auto kGetWordsFromFile =
    method("get_words_from_file", get_words_from_file, Uses::Shared, kOSErrors,
           "Python wrapper for [`PreTokenizer::get_words_from_file`].", kChunkedFileParams);

PyObject* bigram_counter(Call& call, const NoArgs&) { return new_bigram_counter(call.core); }

constexpr auto kBigramCounter = method("bigram_counter", bigram_counter, Uses::Shared, kRuntimeErrors,
                                       "Create an empty mergeable Unicode bigram counter.");

PyObject* word_counter(Call& call, const NoArgs&) { return new_word_counter(call.core, {}); }

constexpr auto kWordCounter = method("word_counter", word_counter, Uses::Shared, kRuntimeErrors,
                                     "Create an empty mergeable word counter.");

struct PathArgs {
  Path path;
};

PyObject* load_word_counter(Call& call, const PathArgs& args) {
  return call.released([&](const PreTokenizer&) { return load_word_counts(args.path.value); },
                       [&](WordMap&& counts) { return new_word_counter(call.core, std::move(counts)); });
}

constexpr auto kLoadWordCounter =
    method("load_word_counter", load_word_counter, Uses::Shared, kOSErrors, nullptr, params(arg(&PathArgs::path, "path")));

// The file-chunking arguments and the selection's top_k and min_freq, all but the path
// keyword-only.
struct BigramFileArgs : ChunkedFileArgs {
  std::uint64_t top_k;
  std::int64_t min_freq;
};

constexpr auto kBigramFileParams =
    params(arg_as<BigramFileArgs>(&ChunkedFileArgs::path, "path"),
           kwarg_as<BigramFileArgs>(&ChunkedFileArgs::chunk_size, "chunk_size", Default::of(1048576)),
           kwarg_as<BigramFileArgs>(&ChunkedFileArgs::boundary, "boundary", Default::of("auto")),
           kwarg(&BigramFileArgs::top_k, "top_k", Default::of(100000)),
           kwarg(&BigramFileArgs::min_freq, "min_freq", Default::of(16)));

// Counts the file's bigrams and selects them, then emits the selection.
template <class Emit>
PyObject* select_bigrams_from_file(Call& call, const BigramFileArgs& args, Emit&& emit) {
  const auto chunking = accept(parse_file_chunking(args.chunk_size, args.boundary));
  if (!chunking) return nullptr;
  return call.released(
      [&](const PreTokenizer& pre_tokenizer) -> Result<BigramSelection> {
        auto counts = count_file_bigrams(pre_tokenizer, args.path.value, chunking->request, chunking->mode);
        if (!counts) return std::unexpected(std::move(counts.error()));
        return select_bigrams(*counts, args.top_k, args.min_freq);
      },
      emit);
}

PyObject* build_unicode_bigrams_from_file(Call& call, const BigramFileArgs& args) {
  return select_bigrams_from_file(
      call, args, [](const BigramSelection& selection) { return bigrams_to_list(selection.bigrams); });
}

constexpr auto kBuildUnicodeBigramsFromFile = method("build_unicode_bigrams_from_file", build_unicode_bigrams_from_file,
                                                     Uses::Shared, kOSErrors, nullptr, kBigramFileParams);

PyObject* select_unicode_bigrams_from_file(Call& call, const BigramFileArgs& args) {
  return select_bigrams_from_file(
      call, args, [](BigramSelection&& selection) { return new_bigram_selection(std::move(selection)); });
}

constexpr auto kSelectUnicodeBigramsFromFile =
    method("select_unicode_bigrams_from_file", select_unicode_bigrams_from_file, Uses::Shared, kOSErrors, nullptr,
           kBigramFileParams);

constexpr Method kMethods[] = {
    bind_method<kGetWords>(),
    bind_method<kFindChunkBoundaries>(),
    bind_method<kGetWordsFromSegment>(),
    bind_method<kGetWordsFromFile>(),
    bind_method<kBigramCounter>(),
    bind_method<kWordCounter>(),
    bind_method<kLoadWordCounter>(),
    bind_method<kBuildUnicodeBigramsFromFile>(),
    bind_method<kSelectUnicodeBigramsFromFile>(),
};

}  // namespace

const ClassDecl kPreTokenizerClass = owning_class<PreTokenizer>(bind_constructor<kConstructor>(), kMethods);

}  // namespace vellum::py
