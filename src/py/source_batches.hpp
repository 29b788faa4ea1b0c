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

#include "py/arguments.hpp"
#include "util/error.hpp"

namespace vellum::py {

// Counts one batch into the counter. Runs without the interpreter lock, possibly on the worker.
using CountBatch = std::function<Result<void>(std::vector<std::string>&&)>;

// The arguments shared by every add_source: source; keyword-only max_records, max_bytes, prefetch.
struct SourceArgs {
  AnyObject source;
  std::uint64_t max_records;
  std::uint64_t max_bytes;
  std::int64_t prefetch;
};

inline constexpr auto kSourceParams = params(
    arg(&SourceArgs::source, "source"), kwarg(&SourceArgs::max_records, "max_records", Default::of(4096)),
    kwarg(&SourceArgs::max_bytes, "max_bytes", Default::of(67108864)),
    kwarg(&SourceArgs::prefetch, "prefetch", Default::of(1)));

// Checks the limits (ValueError before anything is pulled), then streams the source into
// `count_batch`; returns None, or nullptr with the exception set.
PyObject* stream_source(const SourceArgs& args, const CountBatch& count_batch);

}  // namespace vellum::py
