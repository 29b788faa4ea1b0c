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
#include <tbb/parallel_reduce.h>
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

template <class Partial, class Fold, class Combine>
class FoldBody {
 public:
  FoldBody(Fold& fold, Combine& combine, FirstFailure& failure)
      : fold_(fold), combine_(combine), failure_(failure) {}
  FoldBody(FoldBody& other, tbb::split)
      : fold_(other.fold_), combine_(other.combine_), failure_(other.failure_) {}

  void operator()(const tbb::blocked_range<std::size_t>& range) {
    for (std::size_t index = range.begin(); index != range.end(); ++index) {
      if (failure_.cancelled()) return;
      if (auto status = fold_(index, partial_); !status) {
        failure_.record(std::move(status.error()));
        return;
      }
    }
  }

  void join(FoldBody& other) {
    if (failure_.cancelled()) return;
    if (auto status = combine_(partial_, std::move(other.partial_)); !status) {
      failure_.record(std::move(status.error()));
    }
  }

  Partial& partial() { return partial_; }

 private:
  Partial partial_{};
  Fold& fold_;
  Combine& combine_;
  FirstFailure& failure_;
};

}  // namespace detail

// Map-reduce over the indices [0, count). `fold(index, Partial&) -> Result<void>` adds one item
// into a partial result; a worker reuses one partial over a contiguous run of items (the pool
// decides the runs adaptively). `combine(Partial& into, Partial&& from) -> Result<void>` merges
// two partials. The first failure cancels the remaining work as soon as possible and is returned
// (when several items fail, one of their failures).
template <class Partial, class Fold, class Combine>
Result<Partial> parallel_fold(std::size_t count, Fold fold, Combine combine) {
  tbb::task_group_context context;
  detail::FirstFailure failure(context);
  detail::FoldBody<Partial, Fold, Combine> body(fold, combine, failure);
  tbb::parallel_reduce(tbb::blocked_range<std::size_t>(0, count, 1), body, context);
  if (auto error = failure.take()) return std::unexpected(std::move(*error));
  return std::move(body.partial());
}

}  // namespace vellum
