// Data-parallel helpers over the one process-wide oneTBB pool.
//
// The pool sizes itself from the process's CPU affinity. Results never depend on the number of
// threads: callers fold partial results with commutative, associative operations only.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <utility>

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>
#include <tbb/task_group.h>

#include "util/error.hpp"

namespace vellum {

namespace detail {

// Keeps the first failure of a parallel run and cancels the rest of the run.
class FirstFailure {
 public:
  explicit FirstFailure(tbb::task_group_context& context) : context_(context) {}
  void record(Error error) {
    const std::lock_guard lock(mutex_);
    if (!failure_) failure_ = std::move(error);
    context_.cancel_group_execution();
  }
  bool cancelled() const { return context_.is_group_execution_cancelled(); }
  std::optional<Error> take() { return std::move(failure_); }

 private:
  tbb::task_group_context& context_;
  std::mutex mutex_;
  std::optional<Error> failure_;
};

}  // namespace detail

// Map-reduce over the indices [0, count). Each worker thread folds the items it is given into
// its own partial result with `fold(index, Partial&) -> Result<void>`; the partials (one per
// thread that took part) are then merged on the calling thread with
// `combine(Partial& into, Partial&& from) -> Result<void>`. The first failure cancels the
// remaining work as soon as possible and is returned (when several items fail, one of them).
//
// One partial per thread rather than one per stolen range: with large partials (word maps of
// hundreds of thousands of entries) each extra partial costs a full merge on a serial path.
template <class Partial, class Fold, class Combine>
[[nodiscard]] Result<Partial> parallel_fold(std::size_t count, Fold fold, Combine combine) {
  tbb::task_group_context context;
  detail::FirstFailure failure(context);
  tbb::enumerable_thread_specific<Partial> partials;
  tbb::parallel_for(
      tbb::blocked_range<std::size_t>(0, count, 1),
      [&](const tbb::blocked_range<std::size_t>& range) {
        Partial& partial = partials.local();
        for (std::size_t index = range.begin(); index != range.end(); ++index) {
          if (failure.cancelled()) return;
          if (auto status = fold(index, partial); !status) {
            failure.record(std::move(status.error()));
            return;
          }
        }
      },
      context);
  if (auto error = failure.take()) return std::unexpected(std::move(*error));

  Partial result{};
  for (Partial& partial : partials) {
    if (auto status = combine(result, std::move(partial)); !status) {
      return std::unexpected(std::move(status.error()));
    }
  }
  return result;
}

}  // namespace vellum
