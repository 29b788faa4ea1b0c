// The events and metrics facade: structured events (target, level, message, fields), spans,
// and named counters and histograms.
//
// Nothing is recorded unless a host process installs a Receiver; without one, every call costs
// a single load and branch. The module itself never installs one. A Receiver must be safe to
// call from many threads at once and must outlive its installation.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace vellum::events {

enum class Level { Trace, Debug };

struct Field {
  std::string_view name;
  std::uint64_t value;
};

class Receiver {
 public:
  virtual ~Receiver() = default;
  virtual void event(std::string_view target, Level level, std::string_view message,
                     std::initializer_list<Field> fields) = 0;
  virtual void enter_span(std::string_view target, Level level, std::string_view name,
                          std::initializer_list<Field> fields) = 0;
  virtual void exit_span(std::string_view target, std::string_view name) = 0;
  virtual void increment_counter(std::string_view name, std::uint64_t amount) = 0;
  virtual void record_histogram(std::string_view name, double value) = 0;
  virtual void set_counter(std::string_view name, std::uint64_t value) = 0;
  virtual void set_gauge(std::string_view name, double value) = 0;
};

namespace detail {
inline std::atomic<Receiver*> installed_receiver{nullptr};
}  // namespace detail

// Installs `receiver` (nullptr removes it); returns the one it replaces.
inline Receiver* install(Receiver* receiver) { return detail::installed_receiver.exchange(receiver); }

inline Receiver* receiver() { return detail::installed_receiver.load(std::memory_order_acquire); }

inline void event(std::string_view target, Level level, std::string_view message,
                  std::initializer_list<Field> fields) {
  if (Receiver* r = receiver()) r->event(target, level, message, fields);
}

inline void increment_counter(std::string_view name, std::uint64_t amount) {
  if (Receiver* r = receiver()) r->increment_counter(name, amount);
}

inline void record_histogram(std::string_view name, double value) {
  if (Receiver* r = receiver()) r->record_histogram(name, value);
}

inline void set_counter(std::string_view name, std::uint64_t value) {
  if (Receiver* r = receiver()) r->set_counter(name, value);
}

inline void set_gauge(std::string_view name, double value) {
  if (Receiver* r = receiver()) r->set_gauge(name, value);
}

// Enters a span on construction and leaves it on destruction (with the receiver that saw the
// entry, so installing another in between does not unbalance either). The span keeps the views
// `target` and `name` for the exit: their text must outlive the span (string literals do).
// A span belongs to the thread that made it.
class Span {
 public:
  Span(std::string_view target, Level level, std::string_view name,
       std::initializer_list<Field> fields)
      : receiver_(receiver()), target_(target), name_(name) {
    if (receiver_) receiver_->enter_span(target, level, name, fields);
  }
  ~Span() {
    if (receiver_) receiver_->exit_span(target_, name_);
  }
  Span(const Span&) = delete;
  Span& operator=(const Span&) = delete;

 private:
  Receiver* receiver_;
  std::string_view target_;
  std::string_view name_;
};

}  // namespace vellum::events
