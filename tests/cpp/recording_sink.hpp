// A diagnostics sink that keeps every event as text, installed for the lifetime of a fixture.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "satvane/diagnostics.hpp"

namespace test_support {

struct RecordedEvent {
  std::string target, message;
  std::vector<std::pair<std::string, std::string>> fields;
};

class RecordingSink : public satvane::diagnostics::Sink {
 public:
  void receive(const satvane::diagnostics::Event& event) override {
    RecordedEvent& recorded = events.emplace_back(RecordedEvent{std::string(event.target), std::string(event.message), {}});
    for (const auto& field : event.fields)
      recorded.fields.emplace_back(std::string(field.name), satvane::diagnostics::to_text(field.value));
  }
  std::vector<RecordedEvent> events;
};

class WithRecordingSink : public testing::Test {
 protected:
  void SetUp() override { satvane::diagnostics::set_sink(&sink); }
  void TearDown() override { satvane::diagnostics::set_sink(nullptr); }
  RecordingSink sink;
};

}  // namespace test_support
