// Streaming a Python iterable of texts into a counter in bounded batches (add_source of both
// counters).
//
// Items are pulled with the interpreter lock held and gathered into batches of at most
// `max_records` texts and, unless one text alone is larger, at most `max_bytes` bytes. Each full
// batch is counted without the lock: on the calling thread (no prefetch), or on one worker
// thread per call that counts a batch while the next is being filled (prefetch), fed through a
// zero-capacity hand-over. Batches flushed before a failure stay counted.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "py/binder.hpp"
#include "util/error.hpp"

namespace vellum::py {

struct SourceLimits {
  std::uint64_t max_records;
  std::uint64_t max_bytes;
  bool prefetch;
};

// Counts one batch into the counter. Runs without the interpreter lock, possibly on the worker.
using CountBatch = std::function<Result<void>(std::vector<std::string>&&)>;

// The keyword parameters shared by every add_source: source; kw max_records, max_bytes, prefetch.
extern const Param kAddSourceParams[4];

// Converts and validates the bound limits (`bound` holds the four parameters in order): a zero
// max_records or max_bytes is ValueError with the SourceBatch message, a prefetch other than 0 or
// 1 ValueError "prefetch must be 0 or 1", in that order.
bool convert_source_limits(PyObject* const* bound, SourceLimits& limits);

// Streams `source` into `count_batch`; returns None, or nullptr with the exception set.
PyObject* stream_source(PyObject* source, const SourceLimits& limits, const CountBatch& count_batch);

}  // namespace vellum::py
