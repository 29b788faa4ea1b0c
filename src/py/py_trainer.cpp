// The two trainer classes, BpeTrainer_u8_Idx and BpeTrainer_Character_CharIdx: one generic
// binding over the trainer's unit kind.
#include "bpe/trainer/trainer.hpp"

#include <string>
#include <utility>
#include <vector>

#include "bpe/unit_kinds.hpp"
#include "pretokenizer/word_counter.hpp"
#include "py/convert.hpp"
#include "py/errors.hpp"
#include "py/model_object.hpp"
#include "py/module_types.hpp"
#include "py/references.hpp"
#include "py/vocabulary_object.hpp"

namespace vellum::py {
namespace {

constexpr Param kConstructorParams[] = {
    {"special_tokens"},
    {"initial_alphabet", "None"},
    {"tie_break", "None"},
    {"parallel_merge_min_occurs_in", "None"},
    {"hot_pair_window_size", "None"},
    {"bigram_cutoff_freq", "None"},
};
constexpr Param kWordsParams[] = {{"words"}};
constexpr Param kCounterParams[] = {{"counter"}};
constexpr Param kVocabSizeParams[] = {{"vocab_size"}};

// The argument tables of one trainer class, under its name.
#define VELLUM_TRAINER_SIGNATURES(NAME)                                                  \
  static constexpr const char* kName = NAME;                                             \
  static constexpr Signature kConstructor{NAME ".__new__()", kConstructorParams};        \
  static constexpr Signature kAddWords{NAME ".add_words()", kWordsParams};               \
  static constexpr Signature kAddWordCounter{NAME ".add_word_counter()", kCounterParams}; \
  static constexpr Signature kVocabSize{NAME ".vocab_size()", {}};                       \
  static constexpr Signature kGetVocab{NAME ".get_vocab()", {}};                         \
  static constexpr Signature kInitTraining{NAME ".init_training()", {}};                 \
  static constexpr Signature kStep{NAME ".step()", {}};                                  \
  static constexpr Signature kTrainUntil{NAME ".train_until()", kVocabSizeParams};     \
  static constexpr Signature kValidateModel{NAME ".validate_model()", {}};

template <class Kind>
struct Names;
template <>
struct Names<ByteUnit> {
  VELLUM_TRAINER_SIGNATURES("BpeTrainer_u8_Idx")
};
template <>
struct Names<CharUnit> {
  VELLUM_TRAINER_SIGNATURES("BpeTrainer_Character_CharIdx")
};
#undef VELLUM_TRAINER_SIGNATURES

bool raise_value_error(const std::string& message) {
  PyErr_SetString(PyExc_ValueError, message.c_str());
  return false;
}

// Converts the constructor options in argument order, then checks their values in the fixed
// order: initial_alphabet, tie_break, hot_pair_window_size, bigram_cutoff_freq.
bool convert_options(PyObject* const* bound, TrainerOptions& options) {
  std::string_view alphabet = "raw";
  std::string_view tie_break = "smallest_pair_id";
  std::uint64_t value = 0;
  std::int64_t cutoff = 0;
  if ((!is_absent(bound[1]) && !convert_text(bound[1], "initial_alphabet", alphabet)) ||
      (!is_absent(bound[2]) && !convert_text(bound[2], "tie_break", tie_break))) {
    return false;
  }
  if (!is_absent(bound[3])) {
    if (!convert_u64(bound[3], "parallel_merge_min_occurs_in", value)) return false;
    options.parallel_merge_min_occurs_in = value;
  }
  if (!is_absent(bound[4])) {
    if (!convert_u64(bound[4], "hot_pair_window_size", value)) return false;
    options.hot_pair_window_size = value;
  }
  if (!is_absent(bound[5])) {
    if (!convert_i64(bound[5], "bigram_cutoff_freq", cutoff)) return false;
    options.bigram_cutoff_freq = cutoff;
  }
  if (alphabet == "byte_level") {
    options.initial_alphabet = InitialAlphabet::ByteLevel;
  } else if (alphabet != "raw") {
    return raise_value_error("Unknown initial_alphabet: " + std::string(alphabet));
  }
  if (tie_break == "largest_content") {
    options.tie_break = TieBreak::LargestContent;
  } else if (tie_break != "smallest_pair_id") {
    return raise_value_error("Unknown tie_break: " + std::string(tie_break));
  }
  if (options.hot_pair_window_size == 0u) return raise_value_error("hot_pair_window_size must be positive");
  if (options.bigram_cutoff_freq && *options.bigram_cutoff_freq <= 0) {
    return raise_value_error("bigram_cutoff_freq must be positive");
  }
  return true;
}

// One (str, int) item of add_words; failures are reported against `words`.
bool convert_word_item(PyObject* item, std::string& word, std::int64_t& frequency) {
  if (!PyTuple_Check(item)) {
    const Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(item)));
    if (type_name) {
      PyErr_Format(PyExc_TypeError, "argument 'words': '%U' object cannot be converted to 'tuple'",
                   type_name.get());
    }
    return false;
  }
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

bool convert_words(PyObject* value, std::vector<std::pair<std::string, std::int64_t>>& out) {
  if (PyUnicode_Check(value)) {
    PyErr_SetString(PyExc_TypeError,
                    "argument 'words': a str is not accepted where a sequence of (str, int) is expected");
    return false;
  }
  if (!PySequence_Check(value)) {
    const Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(value)));
    if (type_name) {
      PyErr_Format(PyExc_TypeError, "argument 'words': '%U' object cannot be converted to 'Sequence'",
                   type_name.get());
    }
    return false;
  }
  const Ref iterator = Ref::steal(PyObject_GetIter(value));
  if (!iterator) return false;
  while (const Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    auto& [word, frequency] = out.emplace_back();
    if (!convert_word_item(item.get(), word, frequency)) return false;
  }
  return !PyErr_Occurred();
}

template <class Kind>
struct TrainerBinding {
  using Core = Trainer<Kind>;
  using PyTrainer = Object<Core>;
  using N = Names<Kind>;

  static PyObject* py_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    PyObject* bound[std::size(kConstructorParams)];
    std::vector<std::string> special_tokens;
    TrainerOptions options;
    if (!bind_arguments(N::kConstructor, args, kwargs, bound) ||
        !convert_text_sequence(bound[0], "special_tokens", special_tokens) ||
        !convert_options(bound, options)) {
      return nullptr;
    }
    auto trainer = run_held([&] { return std::make_unique<Core>(std::move(special_tokens), options); });
    if (!trainer) return nullptr;
    return adopt_object(type, *std::move(trainer));
  }

  // Runs `work(trainer)` with exclusive access and the interpreter lock released; returns the
  // work's value, or std::nullopt with a Python exception set.
  template <class Work>
  static auto run_exclusive(PyObject* self, Work&& work) {
    PyTrainer* object = as_object<Core>(self);
    const Borrow borrow(object->borrow, Access::Exclusive);
    using Value = std::invoke_result_t<Work&, Core&>;
    if (!borrow) return std::optional<Value>();
    return run_released([&] { return work(*object->value); });
  }

  static PyObject* none_or_runtime_error(std::optional<Result<void>>&& status) {
    if (!status) return nullptr;
    if (!*status) return raise_error(PyExc_RuntimeError, status->error());
    Py_RETURN_NONE;
  }

  static PyObject* size_or_runtime_error(std::optional<Result<std::size_t>>&& size) {
    if (!size) return nullptr;
    if (!*size) return raise_error(PyExc_RuntimeError, size->error());
    return PyLong_FromSize_t(**size);
  }

  static Result<void> install(Core& trainer, const std::vector<std::pair<std::string_view, std::int64_t>>& words) {
    return trainer.replace_inventory(words);
  }

  static PyObject* py_add_words(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[1];
    std::vector<std::pair<std::string, std::int64_t>> words;
    if (!bind_arguments(N::kAddWords, args, nargs, kwnames, bound) || !convert_words(bound[0], words)) {
      return nullptr;
    }
    return none_or_runtime_error(run_exclusive(self, [&](Core& trainer) {
      std::vector<std::pair<std::string_view, std::int64_t>> views(words.begin(), words.end());
      return install(trainer, views);
    }));
  }

  static PyObject* py_add_word_counter(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
    PyObject* bound[1];
    if (!bind_arguments(N::kAddWordCounter, args, nargs, kwnames, bound) ||
        !check_instance(bound[0], module_types().word_counter, "counter")) {
      return nullptr;
    }
    Object<WordCounter>* counter = as_object<WordCounter>(bound[0]);
    const Borrow counter_borrow(counter->borrow, Access::Exclusive);
    if (!counter_borrow) return nullptr;
    return none_or_runtime_error(run_exclusive(self, [&](Core& trainer) {
      const WordMap counts = counter->value->take_counts();
      std::vector<std::pair<std::string_view, std::int64_t>> views(counts.begin(), counts.end());
      return install(trainer, views);
    }));
  }

  static PyObject* py_vocab_size(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[1];
    if (!bind_arguments(N::kVocabSize, args, nargs, kwnames, bound)) return nullptr;
    PyTrainer* object = as_object<Core>(self);
    const Borrow borrow(object->borrow, Access::Exclusive);
    if (!borrow) return nullptr;
    return PyLong_FromSize_t(object->value->vocab_size());
  }

  static PyObject* py_get_vocab(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[1];
    if (!bind_arguments(N::kGetVocab, args, nargs, kwnames, bound)) return nullptr;
    PyTrainer* object = as_object<Core>(self);
    const Borrow borrow(object->borrow, Access::Exclusive);
    if (!borrow) return nullptr;
    return new_vocabulary(object->value->vocabulary().tokens());
  }

  static PyObject* py_last_merge_freq(PyObject* self, void*) {
    PyTrainer* object = as_object<Core>(self);
    const Borrow borrow(object->borrow, Access::Exclusive);
    if (!borrow) return nullptr;
    const auto frequency = object->value->last_merge_freq();
    if (!frequency) Py_RETURN_NONE;
    return PyLong_FromLongLong(*frequency);
  }

  static PyObject* py_init_training(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[1];
    if (!bind_arguments(N::kInitTraining, args, nargs, kwnames, bound)) return nullptr;
    return none_or_runtime_error(run_exclusive(self, [](Core& trainer) { return trainer.init_training(); }));
  }

  static PyObject* py_step(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[1];
    if (!bind_arguments(N::kStep, args, nargs, kwnames, bound)) return nullptr;
    return size_or_runtime_error(run_exclusive(self, [](Core& trainer) { return trainer.step(); }));
  }

  static PyObject* py_train_until(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[1];
    std::uint64_t target = 0;
    if (!bind_arguments(N::kTrainUntil, args, nargs, kwnames, bound) ||
        !convert_u64(bound[0], "vocab_size", target)) {
      return nullptr;
    }
    return size_or_runtime_error(run_exclusive(self, [&](Core& trainer) { return trainer.train_until(target); }));
  }

  static PyObject* py_validate_model(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
    PyObject* bound[1];
    if (!bind_arguments(N::kValidateModel, args, nargs, kwnames, bound)) return nullptr;
    PyTrainer* object = as_object<Core>(self);
    const Borrow borrow(object->borrow, Access::Shared);
    if (!borrow) return nullptr;
    auto model = run_released([&] { return object->value->validate_model(); });
    if (!model) return nullptr;
    if (!*model) return raise_error(PyExc_ValueError, model->error());
    return new_model(AnyModel(**std::move(model)));
  }

  static constexpr Method kMethods[] = {
      {py_add_words, "add_words", &N::kAddWords, "Add `(word, frequency)` pairs to the trainer's inventory."},
      {py_add_word_counter, "add_word_counter", &N::kAddWordCounter,
       "Replace the trainer inventory by consuming a word counter."},
      {py_vocab_size, "vocab_size", &N::kVocabSize, "Current vocabulary size."},
      {py_get_vocab, "get_vocab", &N::kGetVocab, "Return a view of the current vocabulary."},
      {py_init_training, "init_training", &N::kInitTraining, "Initialize internal training state."},
      {py_step, "step", &N::kStep, "Perform one training step.\n\nReturns the updated vocabulary size."},
      {py_train_until, "train_until", &N::kTrainUntil,
       "Train until the vocabulary reaches `vocab_size` or the pair cutoff.\n\nReturns the updated vocabulary size."},
      {py_validate_model, "validate_model", &N::kValidateModel,
       "Validate the current state and return an immutable model snapshot."},
  };

  static constexpr Property kProperties[] = {
      {py_last_merge_freq, "last_merge_freq", "Frequency of the most recently completed pair merge."},
  };

  static constexpr ClassDecl kClass{N::kName, &N::kConstructor, py_new, dealloc_object<Core>,
                                    sizeof(PyTrainer), false, kMethods, kProperties};
};

}  // namespace

const ClassDecl kBpeTrainerU8IdxClass = TrainerBinding<ByteUnit>::kClass;
const ClassDecl kBpeTrainerCharacterCharIdxClass = TrainerBinding<CharUnit>::kClass;

}  // namespace vellum::py
