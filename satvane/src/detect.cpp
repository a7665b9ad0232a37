#include "satvane/detect.hpp"

#include <cmath>

namespace satvane {
namespace {

// Whole seconds, truncated toward zero.
std::int64_t whole_seconds_toward_zero(Duration d) {
  return d.is_negative() && d.subsec_nanos() != 0 ? d.whole_seconds() + 1 : d.whole_seconds();
}

}  // namespace

std::optional<Instant> ThresholdStep::next_time(Instant now, const EventSample* last) const {
  const Duration longest = std::max(min_step, max_step);
  Duration step = longest;
  // `last` is always outside; a positive rate means it is climbing towards zero.
  if (last && last->derivative && *last->derivative > 0) {
    const std::int64_t longest_s = whole_seconds_toward_zero(longest);
    double predicted_s = -last->value / *last->derivative;
    if (std::isnan(predicted_s) || predicted_s < 0) predicted_s = 0;
    // Compare before converting: a double at or past the limit may not fit an int64.
    const std::int64_t stride_s = predicted_s >= double(longest_s) ? longest_s : std::int64_t(predicted_s);
    step = std::max(min_step, Duration::seconds(stride_s));
  }
  return now.checked_add(step);
}

namespace detect {

std::string Error::text() const {
  if (const auto* overflow = as<Overflow>()) return overflow->subtraction ? kSubOverflowText : kAddOverflowText;
  const auto& too_long = std::get<WindowTooLong>(detail_);
  std::string out = "window too long: the positive window containing ";
  out += format_datetime(too_long.at);
  out += " exceeds the ";
  out += format_duration(too_long.max_window_duration);
  out += " maximum";
  return out;
}

}  // namespace detect

Error window_too_long(Instant at, Duration max_window_duration) {
  return detect::Error(detect::WindowTooLong{at, max_window_duration}).to_core();
}

Error missing_interval(std::string_view name) {
  std::string message(name);
  message += " requires an interval \u2014 call .interval(start..end)";
  return Error::interval(std::move(message));
}

}  // namespace satvane
