#include "py/source_batches.hpp"

#include <exception>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "py/convert.hpp"
#include "py/method.hpp"
#include "py/references.hpp"
#include "util/hand_over.hpp"
#include "util/source_limits.hpp"

namespace vellum::py {

namespace {

using Batch = std::vector<std::string>;

// Counts the batches it receives until the channel closes or a batch fails. A C++ exception
// escaping the counting ends the worker abnormally.
class BatchWorker {
 public:
  explicit BatchWorker(const CountBatch& count_batch)
      : thread_([this, &count_batch] { run(count_batch); }) {}

  bool send(Batch batch) { return channel_.send(std::move(batch)); }

  // Closes the channel and waits for the worker (call without the interpreter lock).
  void finish() {
    channel_.close();
    thread_.join();
  }

  bool panicked() const { return static_cast<bool>(panic_); }
  const std::optional<Error>& failure() const { return failure_; }

 private:
  void run(const CountBatch& count_batch) {
    try {
      while (std::optional<Batch> batch = channel_.receive()) {
        if (auto status = count_batch(std::move(*batch)); !status) {
          failure_ = std::move(status.error());
          break;
        }
      }
    } catch (...) {
      panic_ = std::current_exception();
    }
    channel_.stop_receiving();
  }

  HandOver<Batch> channel_;
  std::optional<Error> failure_;
  std::exception_ptr panic_;
  std::thread thread_;
};

// Hands full batches over for counting; remembers why the batching side stopped early.
class BatchSink {
 public:
  BatchSink(const CountBatch& count_batch, bool prefetch)
      : count_batch_(count_batch), worker_(prefetch ? std::make_optional<BatchWorker>(count_batch) : std::nullopt) {}

  // Counts or hands over `batch`; false with a Python exception set on failure.
  bool flush(Batch&& batch) {
    if (worker_) {
      bool sent = false;
      Py_BEGIN_ALLOW_THREADS
      sent = worker_->send(std::move(batch));
      Py_END_ALLOW_THREADS
      if (!sent) PyErr_SetString(PyExc_RuntimeError, "source counter worker stopped");
      return sent;
    }
    auto counted = run_released([&] { return count_batch_(std::move(batch)); }, &kRuntimeErrors);
    if (!counted) return false;
    if (!*counted) {
      raise_error(kRuntimeErrors, counted->error());
      return false;
    }
    return true;
  }

  // Ends the worker and settles the outcome: a worker's panic or failure takes precedence over
  // the batching side's own exception (already set when `batching_ok` is false).
  bool finish(bool batching_ok) {
    if (!worker_) return batching_ok;
    Py_BEGIN_ALLOW_THREADS
    worker_->finish();
    Py_END_ALLOW_THREADS
    if (worker_->panicked()) {
      PyErr_Clear();
      PyErr_SetString(PyExc_RuntimeError, "source counter worker panicked");
      return false;
    }
    if (worker_->failure()) {
      PyErr_Clear();
      raise_error(kRuntimeErrors, *worker_->failure());
      return false;
    }
    return batching_ok;
  }

 private:
  const CountBatch& count_batch_;
  std::optional<BatchWorker> worker_;
};

bool raise_overflow() {
  PyErr_SetString(PyExc_OverflowError, "batch byte size overflow");
  return false;
}

bool item_as_text(PyObject* item, std::string_view& text) {
  if (!PyUnicode_Check(item)) return raise_cannot_convert(item, nullptr, "str");
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(item, &size);
  if (data == nullptr) return false;
  text = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

// Pulls every item and flushes batches as they fill; false with a Python exception set on the
// first failure of iteration, conversion or counting.
bool gather_batches(PyObject* iterator, const SourceLimits& limits, BatchSink& sink) {
  Batch batch;
  std::uint64_t batch_bytes = 0;
  while (true) {
    const Ref item = Ref::steal(PyIter_Next(iterator));
    if (!item) break;
    std::string_view text;
    if (!item_as_text(item.get(), text)) return false;
    std::uint64_t grown;
    const bool overflow = __builtin_add_overflow(batch_bytes, text.size(), &grown);
    if (!batch.empty() && (overflow || grown > limits.max_bytes || batch.size() >= limits.max_records)) {
      if (!sink.flush(std::exchange(batch, {}))) return false;
      batch_bytes = 0;
      grown = text.size();
    } else if (overflow) {
      return raise_overflow();
    }
    batch.emplace_back(text);
    batch_bytes = grown;
  }
  if (PyErr_Occurred()) return false;
  return batch.empty() || sink.flush(std::move(batch));
}

}  // namespace

PyObject* stream_source(const SourceArgs& args, const CountBatch& count_batch) {
  const auto limits = accept(parse_source_limits(args.max_records, args.max_bytes, args.prefetch));
  if (!limits) return nullptr;
  const Ref iterator = Ref::steal(PyObject_GetIter(args.source.object));
  if (!iterator) return nullptr;
  std::optional<BatchSink> sink;
  try {
    sink.emplace(count_batch, limits->prefetch);
  } catch (...) {
    raise_core_exception(std::current_exception(), &kRuntimeErrors);
    return nullptr;
  }
  const bool batching_ok = gather_batches(iterator.get(), *limits, *sink);
  if (!sink->finish(batching_ok)) return nullptr;
  Py_RETURN_NONE;
}

}  // namespace vellum::py
