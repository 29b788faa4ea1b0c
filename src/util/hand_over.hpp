// HandOver<T>: a channel of capacity zero between one sending and one receiving thread.
//
// send() returns only once the receiver has taken the item (or has stopped receiving), so the
// sender never runs more than one item ahead of the receiver. Safe for exactly one sender and
// one receiver.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

namespace vellum {

template <class T>
class HandOver {
 public:
  // Blocks until the receiver takes `item` (true), or returns false, dropping the item, when the
  // receiver has stopped receiving.
  bool send(T item) {
    std::unique_lock lock(mutex_);
    if (receiver_stopped_) return false;
    slot_.emplace(std::move(item));
    changed_.notify_all();
    changed_.wait(lock, [&] { return !slot_ || receiver_stopped_; });
    if (slot_) {
      slot_.reset();
      return false;
    }
    return true;
  }

  // Blocks until an item arrives, or returns std::nullopt once the sender has closed the channel.
  std::optional<T> receive() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return slot_ || closed_; });
    if (!slot_) return std::nullopt;
    std::optional<T> item = std::move(slot_);
    slot_.reset();
    changed_.notify_all();
    return item;
  }

  // Sender side: no more items will come.
  void close() {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

  // Receiver side: no more items will be taken; waiting and later sends fail.
  void stop_receiving() {
    const std::lock_guard lock(mutex_);
    receiver_stopped_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<T> slot_;
  bool closed_ = false;
  bool receiver_stopped_ = false;
};

}  // namespace vellum
