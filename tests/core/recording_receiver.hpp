// A Receiver that records every event and metric as one line of text, for tests.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "util/events.hpp"

namespace vellum {

class RecordingReceiver : public events::Receiver {
 public:
  void event(std::string_view target, events::Level, std::string_view message,
             std::initializer_list<events::Field> fields) override {
    std::string line = std::string(target) + " " + std::string(message);
    for (const auto& field : fields) line += " " + std::string(field.name) + "=" + std::to_string(field.value);
    record(line);
  }
  void enter_span(std::string_view, events::Level, std::string_view name,
                  std::initializer_list<events::Field> fields) override {
    std::string line = "enter " + std::string(name);
    for (const auto& field : fields) line += " " + std::string(field.name) + "=" + std::to_string(field.value);
    record(line);
  }
  void exit_span(std::string_view, std::string_view name) override { record("exit " + std::string(name)); }
  void increment_counter(std::string_view name, std::uint64_t amount) override {
    record("counter " + std::string(name) + " +" + std::to_string(amount));
  }
  void record_histogram(std::string_view name, double value) override {
    record("histogram " + std::string(name) + " " + std::to_string(static_cast<long>(value)));
  }
  void set_counter(std::string_view name, std::uint64_t value) override {
    record("counter " + std::string(name) + " = " + std::to_string(value));
  }
  void set_gauge(std::string_view name, double value) override {
    record("gauge " + std::string(name) + " = " + std::to_string(static_cast<long>(value)));
  }

  std::vector<std::string> lines() {
    const std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  void record(std::string line) {
    const std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
  }
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace vellum
