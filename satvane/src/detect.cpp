#include "satvane/detect.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "sgp4/format.hpp"

namespace satvane {
namespace {

void append_padded(std::string& out, std::uint64_t value, int width) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(std::size_t(std::max<std::ptrdiff_t>(0, width - (end - buffer))), '0');
  out.append(buffer, end);
}

// Whole seconds, truncated toward zero.
std::int64_t whole_seconds_toward_zero(Duration d) {
  return d.is_negative() && d.subsec_nanos() != 0 ? d.whole_seconds() + 1 : d.whole_seconds();
}

// Magnitude of a negative duration as seconds and nanoseconds (exact even for the most
// negative duration).
struct Magnitude {
  std::uint64_t seconds;
  std::uint32_t nanos;
};

Magnitude magnitude_of_negative(Duration d) {
  const std::uint64_t seconds = std::uint64_t(d.whole_seconds());  // two's complement
  if (d.subsec_nanos() == 0) return {std::uint64_t(0) - seconds, 0};
  return {std::uint64_t(0) - seconds - 1, std::uint32_t(kNanosPerSecond - d.subsec_nanos())};
}

// -PT{seconds}[.fraction]S, the fraction without trailing zeros.
std::string iso8601_negative(Duration d) {
  const Magnitude m = magnitude_of_negative(d);
  std::string out = "-PT";
  sgp4::append_unsigned(out, m.seconds);
  if (m.nanos != 0) {
    std::uint32_t fraction = m.nanos;
    int digits = 9;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --digits;
    }
    out.push_back('.');
    append_padded(out, fraction, digits);
  }
  out.push_back('S');
  return out;
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

std::string format_datetime(Instant t) {
  const CivilDateTime c = t.to_civil();
  std::string out;
  if (c.year < 0) out.push_back('-');
  append_padded(out, std::uint64_t(std::llabs(c.year)), 4);
  out.push_back('-');
  append_padded(out, c.month, 2);
  out.push_back('-');
  append_padded(out, c.day, 2);
  out.push_back(' ');
  append_padded(out, c.hour, 2);
  out.push_back(':');
  append_padded(out, c.minute, 2);
  out.push_back(':');
  append_padded(out, c.second, 2);
  if (c.nanosecond != 0) {
    out.push_back('.');
    if (c.nanosecond % 1'000'000 == 0) {
      append_padded(out, c.nanosecond / 1'000'000, 3);
    } else if (c.nanosecond % 1'000 == 0) {
      append_padded(out, c.nanosecond / 1'000, 6);
    } else {
      append_padded(out, c.nanosecond, 9);
    }
  }
  out += " UTC";
  return out;
}

std::string format_duration(Duration d) {
  if (d.is_negative()) return iso8601_negative(d);
  if (d.is_zero()) return "0s";

  struct Unit {
    std::uint64_t size;
    const char* name;
    bool plural;  // "s" appended when the count exceeds 1
  };
  static constexpr Unit kSecondUnits[] = {
      {31'557'600, "year", true}, {2'630'016, "month", true}, {86'400, "day", true},
      {3'600, "h", false},        {60, "m", false},           {1, "s", false},
  };
  static constexpr Unit kNanoUnits[] = {{1'000'000, "ms", false}, {1'000, "us", false}, {1, "ns", false}};

  std::string out;
  const auto append_part = [&out](std::uint64_t count, const Unit& unit) {
    if (count == 0) return;
    if (!out.empty()) out.push_back(' ');
    sgp4::append_unsigned(out, count);
    out += unit.name;
    if (unit.plural && count > 1) out.push_back('s');
  };
  std::uint64_t seconds = std::uint64_t(d.whole_seconds());
  for (const Unit& unit : kSecondUnits) {
    append_part(seconds / unit.size, unit);
    seconds %= unit.size;
  }
  std::uint64_t nanos = d.subsec_nanos();
  for (const Unit& unit : kNanoUnits) {
    append_part(nanos / unit.size, unit);
    nanos %= unit.size;
  }
  return out;
}

std::expected<Instant, satvane::Error> plus(Instant t, Duration d) {
  if (auto sum = t.checked_add(d)) return *sum;
  return std::unexpected(Error(Overflow{false}).to_core());
}

std::expected<Instant, satvane::Error> minus(Instant t, Duration d) {
  if (auto difference = t.checked_sub(d)) return *difference;
  return std::unexpected(Error(Overflow{true}).to_core());
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
