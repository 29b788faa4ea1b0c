// The two trainer classes, BpeTrainer_u8_Idx and BpeTrainer_Character_CharIdx: one generic
// binding over the trainer's unit kind.
#include "bpe/trainer/trainer.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "bpe/trainer/trainer_options.hpp"
#include "bpe/unit_kinds.hpp"
#include "pretokenizer/word_counter.hpp"
#include "py/method.hpp"
#include "py/model_object.hpp"
#include "py/module_types.hpp"
#include "py/references.hpp"
#include "py/vocabulary_object.hpp"

namespace vellum::py {
namespace {

// The (word, frequency) pairs of add_words.
struct WordFrequencies {
  std::vector<std::pair<std::string, std::int64_t>> items;
};

// One (str, int) item; failures are reported against `words`.
bool convert_word_item(PyObject* item, std::string& word, std::int64_t& frequency) {
  if (!PyTuple_Check(item)) return raise_cannot_convert(item, "words", "tuple");
  if (PyTuple_Size(item) != 2) {
    PyErr_Format(PyExc_TypeError, "argument 'words': expected tuple of length 2, but got tuple of length %zd",
                 PyTuple_Size(item));
    return false;
  }
  std::string_view text;
  if (!convert_text(PyTuple_GetItem(item, 0), "words", text) ||
      !convert_i64(PyTuple_GetItem(item, 1), "words", frequency)) {
    return false;
  }
  word.assign(text);
  return true;
}

bool convert_arg(PyObject* value, const char* name, WordFrequencies& out) {
  if (PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "argument '%s': a str is not accepted where a sequence of (str, int) is expected",
                 name);
    return false;
  }
  if (!PySequence_Check(value)) return raise_cannot_convert(value, name, "Sequence");
  const Ref iterator = Ref::steal(PyObject_GetIter(value));
  if (!iterator) return false;
  while (const Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    auto& [word, frequency] = out.items.emplace_back();
    if (!convert_word_item(item.get(), word, frequency)) return false;
  }
  return !PyErr_Occurred();
}

struct WordsArgs {
  WordFrequencies words;
};

struct CounterArgs {
  Instance<WordCounter> counter;
};

struct VocabSizeArgs {
  std::uint64_t vocab_size;
};

struct FallbackArgs {
  std::uint64_t vocab_size;
  double primary_vocab_ratio;
};

PyObject* size_to_python(std::size_t size) { return PyLong_FromSize_t(size); }

// A dict of unsigned counts, keys in the order given.
PyObject* counts_to_dict(std::initializer_list<std::pair<const char*, std::uint64_t>> items) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [key, value] : items) {
    const Ref number = Ref::steal(PyLong_FromUnsignedLongLong(value));
    if (!number || PyDict_SetItemString(dict.get(), key, number.get()) < 0) return nullptr;
  }
  return dict.release();
}

PyObject* memory_to_python(const TrainerMemory& m) {
  return counts_to_dict({
      {"estimated_persistent_bytes", m.estimated_persistent_bytes},
      {"word_entries", m.word_entries},
      {"word_storage_bytes", m.word_storage_bytes},
      {"pair_entries", m.pair_entries},
      {"pair_table_bytes", m.pair_table_bytes},
      {"occurrence_set_header_bytes", m.occurrence_set_header_bytes},
      {"occurrence_capacity_entries", m.occurrence_capacity_entries},
      {"occurrence_capacity_bytes", m.occurrence_capacity_bytes},
      {"merge_heap_bytes", m.merge_heap_bytes},
      {"merge_storage_bytes", m.merge_storage_bytes},
      {"vocab_entries", m.vocab_entries},
      {"vocab_token_bytes", m.vocab_token_bytes},
  });
}

PyObject* window_stats_to_python(const std::optional<WindowStats>& stats) {
  if (!stats) Py_RETURN_NONE;
  return counts_to_dict({
      {"hydration_scans", stats->hydration_scans},
      {"hydrated_word_entries", stats->hydrated_word_entries},
      {"batch_prunes", stats->batch_prunes},
      {"prune_evictions", stats->prune_evictions},
      {"peak_resident_pairs", stats->peak_resident_pairs},
      {"resident_pairs", stats->resident_pairs},
      {"occurrence_capacity", stats->occurrence_capacity},
  });
}

template <class Kind>
struct TrainerBinding {
  using Core = Trainer<Kind>;
  using Call = py::Call<Core>;

  static PyObject* create(PyTypeObject* type, const TrainerArguments& arguments) {
    const auto options = accept(parse_trainer_options(arguments));
    if (!options) return nullptr;
    auto trainer = run_held([&] { return std::make_unique<Core>(arguments.special_tokens, *options); }, &kValueErrors);
    if (!trainer) return nullptr;
    return adopt_object(type, *std::move(trainer));
  }

  static constexpr auto kConstructor = constructor<Core>(
      create, kValueErrors, params(arg(&TrainerArguments::special_tokens, "special_tokens"),
                     arg(&TrainerArguments::initial_alphabet, "initial_alphabet", Default::none()),
                     arg(&TrainerArguments::tie_break, "tie_break", Default::none()),
                     arg(&TrainerArguments::parallel_merge_min_occurs_in, "parallel_merge_min_occurs_in",
                         Default::none()),
                     arg(&TrainerArguments::hot_pair_window_size, "hot_pair_window_size", Default::none()),
                     arg(&TrainerArguments::bigram_cutoff_freq, "bigram_cutoff_freq", Default::none())));

  static PyObject* add_words(Call& call, const WordsArgs& args) {
    return call.released([&](Core& trainer) {
      const std::vector<std::pair<std::string_view, std::int64_t>> views(args.words.items.begin(),
                                                                          args.words.items.end());
      return trainer.replace_inventory(views);
    });
  }

  static constexpr auto kAddWords =
      method("add_words", add_words, Uses::Exclusive, kRuntimeErrors,
             "Add `(word, frequency)` pairs to the trainer's inventory.", params(arg(&WordsArgs::words, "words")));

  static PyObject* add_word_counter(Call& call, const CounterArgs& args) {
    return with_borrow(args.counter.get(), Uses::Exclusive, [&](WordCounter& counter) {
      return call.released([&](Core& trainer) {
        const WordMap counts = counter.take_counts();
        const std::vector<std::pair<std::string_view, std::int64_t>> views(counts.begin(), counts.end());
        return trainer.replace_inventory(views);
      });
    });
  }

  static constexpr auto kAddWordCounter =
      method("add_word_counter", add_word_counter, Uses::Exclusive, kRuntimeErrors,
             "Replace the trainer inventory by consuming a word counter.", params(arg(&CounterArgs::counter, "counter")));

  static PyObject* vocab_size(Call& call, const NoArgs&) { return size_to_python(call.core.vocab_size()); }

  static constexpr auto kVocabSize =
      method("vocab_size", vocab_size, Uses::Exclusive, kRuntimeErrors, "Current vocabulary size.");

  static PyObject* get_vocab(Call& call, const NoArgs&) { return new_vocabulary(call.core.vocabulary().tokens()); }

  static constexpr auto kGetVocab =
      method("get_vocab", get_vocab, Uses::Exclusive, kRuntimeErrors, "Return a view of the current vocabulary.");

  static PyObject* last_merge_freq(Core& trainer) {
    const auto frequency = trainer.last_merge_freq();
    if (!frequency) Py_RETURN_NONE;
    return PyLong_FromLongLong(*frequency);
  }

  static constexpr auto kLastMergeFreq = property("last_merge_freq", last_merge_freq, Uses::Exclusive,
                                                  "Frequency of the most recently completed pair merge.");

  static PyObject* hot_pair_window_stats(Core& trainer) {
    auto stats = run_held([&] { return trainer.hot_pair_window_stats(); });
    return stats ? window_stats_to_python(*stats) : nullptr;
  }

  static constexpr auto kHotPairWindowStats =
      property("hot_pair_window_stats", hot_pair_window_stats, Uses::Exclusive,
               "Diagnostics for the bounded pair-posting window, if enabled.");

  static PyObject* memory_usage(Core& trainer) {
    auto memory = run_held([&] { return trainer.memory_usage(); });
    return memory ? memory_to_python(*memory) : nullptr;
  }

  static constexpr auto kMemoryUsage = property(
      "memory_usage", memory_usage, Uses::Exclusive,
      "Capacity-backed breakdown of persistent trainer storage.\n\n"
      "This attributes trainer-owned allocations and is not process RSS; use it\n"
      "to identify why bounded occurrence postings do or do not dominate.");

  static PyObject* init_training(Call& call, const NoArgs&) {
    return call.released([](Core& trainer) { return trainer.init_training(); });
  }

  static constexpr auto kInitTraining = method("init_training", init_training, Uses::Exclusive, kRuntimeErrors,
                                               "Initialize internal training state.");

  static PyObject* step(Call& call, const NoArgs&) {
    return call.released([](Core& trainer) { return trainer.step(); }, size_to_python);
  }

  static constexpr auto kStep = method("step", step, Uses::Exclusive, kRuntimeErrors,
                                       "Perform one training step.\n\nReturns the updated vocabulary size.");

  static PyObject* train_until(Call& call, const VocabSizeArgs& args) {
    return call.released([&](Core& trainer) { return trainer.train_until(args.vocab_size); }, size_to_python);
  }

  static constexpr auto kTrainUntil =
      method("train_until", train_until, Uses::Exclusive, kRuntimeErrors,
             "Train until the vocabulary reaches `vocab_size` or the pair cutoff.\n\nReturns the updated vocabulary size.",
             params(arg(&VocabSizeArgs::vocab_size, "vocab_size")));

  static PyObject* train_until_with_bbpe_fallback(Call& call, const FallbackArgs& args) {
    const auto ratio = accept(parse_primary_vocab_ratio(args.primary_vocab_ratio));
    if (!ratio) return nullptr;
    return call.released(
        [&](Core& trainer) { return trainer.train_until_with_bbpe_fallback(args.vocab_size, *ratio); },
        size_to_python);
  }

  static constexpr auto kTrainUntilWithBbpeFallback =
      method("train_until_with_bbpe_fallback", train_until_with_bbpe_fallback, Uses::Exclusive, kRuntimeErrors,
             "Train to `vocab_size` with a terminal byte-BPE fallback phase.\n\nReturns the updated vocabulary size.",
             params(arg(&FallbackArgs::vocab_size, "vocab_size"),
                    kwarg(&FallbackArgs::primary_vocab_ratio, "primary_vocab_ratio", Default::of(0.9))));

  static PyObject* validate_model(Call& call, const NoArgs&) {
    return call.released([](const Core& trainer) { return trainer.validate_model(); },
                         [](BpeModel<Kind>&& model) { return new_model(AnyModel(std::move(model))); });
  }

  static constexpr auto kValidateModel = method("validate_model", validate_model, Uses::Shared, kValueErrors,
                                                "Validate the current state and return an immutable model snapshot.");

  static constexpr std::array kSharedMethods = {
      bind_method<kAddWords>(),     bind_method<kAddWordCounter>(), bind_method<kVocabSize>(),
      bind_method<kGetVocab>(),     bind_method<kInitTraining>(),   bind_method<kStep>(),
      bind_method<kTrainUntil>(),   bind_method<kValidateModel>(),
  };

  // The byte-level fallback is offered by the character trainer only.
  static constexpr auto kMethods = [] {
    if constexpr (std::is_same_v<Kind, CharUnit>) {
      std::array<Method, kSharedMethods.size() + 1> methods{};
      std::ranges::copy(kSharedMethods, methods.begin());
      methods.back() = bind_method<kTrainUntilWithBbpeFallback>();
      return methods;
    } else {
      return kSharedMethods;
    }
  }();

  static constexpr Property kProperties[] = {bind_property<kLastMergeFreq>(), bind_property<kHotPairWindowStats>(),
                                             bind_property<kMemoryUsage>()};

  static constexpr ClassDecl kClass = owning_class<Core>(bind_constructor<kConstructor>(), kMethods, kProperties);
};

}  // namespace

const ClassDecl kBpeTrainerU8IdxClass = TrainerBinding<ByteUnit>::kClass;
const ClassDecl kBpeTrainerCharacterCharIdxClass = TrainerBinding<CharUnit>::kClass;

}  // namespace vellum::py
