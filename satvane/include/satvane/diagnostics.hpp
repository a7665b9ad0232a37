// Debug-level diagnostic events. The library installs no sink; a host that wants the events
// installs one. Without a sink, emitting costs one relaxed atomic load and a branch, and
// nothing is formatted or built.
#pragma once

#include <atomic>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "satvane/time.hpp"

namespace satvane::diagnostics {

// Field values are borrowed: they live only for the duration of Sink::receive.
using Value = std::variant<Instant, double, std::string_view>;

struct Field {
  std::string_view name;
  Value value;
};

// Every event is at debug level. `target` names the emitting module ("satvane",
// "satvane::transits", ...).
struct Event {
  std::string_view target;
  std::string_view message;
  std::span<const Field> fields;
};

class Sink {
 public:
  virtual ~Sink() = default;
  virtual void receive(const Event& event) = 0;
};

namespace detail {
inline std::atomic<Sink*> installed_sink{nullptr};
}  // namespace detail

// Install (or, with nullptr, remove) the receiver of all events. The host installs its sink
// before any thread emits and keeps it alive until it has been removed.
inline void set_sink(Sink* sink) { detail::installed_sink.store(sink, std::memory_order_release); }

// The installed sink, or nullptr. Emitters test this first and build their fields only when set.
inline Sink* active_sink() { return detail::installed_sink.load(std::memory_order_relaxed); }

// Usage, so that the fields are built only when someone listens:
//   if (auto* sink = diagnostics::active_sink())
//     diagnostics::send(*sink, "satvane", "message", {{"field", value}, ...});
inline void send(Sink& sink, std::string_view target, std::string_view message,
                 std::initializer_list<Field> fields) {
  sink.receive({target, message, {fields.begin(), fields.size()}});
}

// Text of a value for hosts that log: instants in RFC 3339 UTC with the fraction trimmed
// ("2020-07-12T01:19:05.952Z"), numbers in shortest round-trip decimal.
std::string to_text(const Value& value);

}  // namespace satvane::diagnostics
