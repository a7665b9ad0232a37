// A diagnostics sink that keeps every event as text, installed for its own lifetime.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "satvane/diagnostics.hpp"

namespace test_support {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct RecordedEvent {
  std::string target, message;
  Fields fields;
};

class RecordingSink : public satvane::diagnostics::Sink {
 public:
  RecordingSink() { satvane::diagnostics::set_sink(this); }
  ~RecordingSink() override { satvane::diagnostics::set_sink(nullptr); }

  void receive(const satvane::diagnostics::Event& event) override {
    RecordedEvent& recorded = events.emplace_back(RecordedEvent{std::string(event.target), std::string(event.message), {}});
    for (const auto& field : event.fields)
      recorded.fields.emplace_back(std::string(field.name), satvane::diagnostics::to_text(field.value));
  }

  std::vector<RecordedEvent> events;
};

inline void expect_event(const RecordedEvent& event, const std::string& target, const std::string& message,
                         const Fields& fields) {
  EXPECT_EQ(event.target, target);
  EXPECT_EQ(event.message, message);
  EXPECT_EQ(event.fields, fields);
}

template <class T>
std::string text(const T& value) {
  return satvane::diagnostics::to_text(value);
}

}  // namespace test_support
