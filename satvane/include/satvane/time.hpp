// UTC instants and signed durations with nanosecond resolution (no leap seconds: every
// day has 86400 s), the real-valued time used by root finding, fixed-step walks, and the
// texts of instants and durations.
#pragma once

#include <compare>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "satvane/error.hpp"
#include "sgp4/civil.hpp"
#include "sgp4/elements.hpp"

namespace satvane {

inline constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
inline constexpr std::int64_t kSecondsPerDay = 86'400;

// A signed span: whole seconds (floor) plus a nanosecond part in [0, 1e9).
// -1.5 s is {seconds = -2, nanos = 500'000'000}.
class Duration {
 public:
  constexpr Duration() = default;
  static constexpr Duration from_parts(std::int64_t seconds, std::int64_t nanos);  // any nanos
  static constexpr Duration seconds(std::int64_t s) { return from_parts(s, 0); }
  static constexpr Duration millis(std::int64_t ms) {
    return from_parts(floor_div(ms, 1000), floor_mod(ms, 1000) * 1'000'000);
  }
  static constexpr Duration nanos(std::int64_t ns) { return from_parts(0, ns); }

  constexpr std::int64_t whole_seconds() const { return seconds_; }  // floor
  constexpr std::uint32_t subsec_nanos() const { return nanos_; }
  // Seconds as a double (for display and options; exact for spans below 2^53 ns).
  constexpr double as_seconds_f64() const { return double(seconds_) + double(nanos_) * 1e-9; }
  // Truncated toward zero to whole milliseconds.
  constexpr std::int64_t whole_millis_toward_zero() const;

  constexpr bool is_negative() const { return seconds_ < 0; }
  constexpr bool is_zero() const { return seconds_ == 0 && nanos_ == 0; }

  std::optional<Duration> checked_add(Duration other) const;
  std::optional<Duration> checked_sub(Duration other) const;
  std::optional<Duration> checked_neg() const;

  friend constexpr auto operator<=>(const Duration&, const Duration&) = default;
  friend constexpr bool operator==(const Duration&, const Duration&) = default;

  static constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
  }
  // From the truncated remainder, so that no product can overflow near the int64 ends.
  static constexpr std::int64_t floor_mod(std::int64_t a, std::int64_t b) {
    const std::int64_t r = a % b;
    return r != 0 && ((r < 0) != (b < 0)) ? r + b : r;
  }

 private:
  std::int64_t seconds_ = 0;
  std::uint32_t nanos_ = 0;
};

constexpr Duration Duration::from_parts(std::int64_t seconds, std::int64_t nanos) {
  Duration d;
  d.seconds_ = seconds + floor_div(nanos, kNanosPerSecond);
  d.nanos_ = static_cast<std::uint32_t>(floor_mod(nanos, kNanosPerSecond));
  return d;
}

constexpr std::int64_t Duration::whole_millis_toward_zero() const {
  // value = seconds_ + nanos_/1e9; truncate toward zero at millisecond resolution.
  std::int64_t ms_part = nanos_ / 1'000'000;
  if (seconds_ >= 0) return seconds_ * 1000 + ms_part;
  // Negative: round the fractional part up toward zero.
  std::int64_t rem = nanos_ % 1'000'000;
  return seconds_ * 1000 + ms_part + (rem != 0 ? 1 : 0);
}

struct CivilDateTime {
  std::int64_t year;      // proleptic Gregorian
  unsigned month;         // 1..12
  unsigned day;           // 1..31
  unsigned hour;          // 0..23
  unsigned minute;        // 0..59
  unsigned second;        // 0..59
  std::uint32_t nanosecond;  // 0..999'999'999
};

// A UTC instant. Representable range: years -262143 to 262142 (as wide as any search needs;
// arithmetic that leaves it reports overflow instead of wrapping).
class Instant {
 public:
  constexpr Instant() = default;
  constexpr Instant(sgp4::UtcInstant utc) : seconds_(utc.unix_seconds), nanos_(utc.nanosecond) {}

  // nanosecond must be in [0, 1e9); returns nothing for an invalid calendar date or out of range.
  static std::optional<Instant> from_civil(const CivilDateTime& civil);
  // Seconds since 1970 (floor) and nanosecond in [0, 1e9); nothing when out of range.
  static std::optional<Instant> from_unix(std::int64_t seconds, std::uint32_t nanosecond);
  static Instant min();
  static Instant max();

  CivilDateTime to_civil() const;
  constexpr std::int64_t unix_seconds() const { return seconds_; }
  constexpr std::uint32_t nanosecond() const { return nanos_; }
  constexpr std::int64_t days_since_unix_epoch() const { return Duration::floor_div(seconds_, kSecondsPerDay); }
  constexpr std::int64_t second_of_day() const { return Duration::floor_mod(seconds_, kSecondsPerDay); }
  constexpr sgp4::UtcInstant to_utc() const { return {seconds_, nanos_}; }

  // Exact; nothing when the result leaves the representable range.
  std::optional<Instant> checked_add(Duration d) const;
  std::optional<Instant> checked_sub(Duration d) const;
  // Exact difference this - other (always representable within the range).
  Duration operator-(const Instant& other) const;

  friend constexpr auto operator<=>(const Instant&, const Instant&) = default;
  friend constexpr bool operator==(const Instant&, const Instant&) = default;

 private:
  std::int64_t seconds_ = 0;
  std::uint32_t nanos_ = 0;
};

// Texts of the date-time overflow failures.
inline constexpr const char* kAddOverflowText = "`DateTime + TimeDelta` overflowed";
inline constexpr const char* kSubOverflowText = "`DateTime - TimeDelta` overflowed";

// t + d and t - d, or the overflow text as a Detect error: only a search computes instants
// from a caller's durations (its limits), so only a search can meet this failure.
[[nodiscard]] std::expected<Instant, Error> plus(Instant t, Duration d);
[[nodiscard]] std::expected<Instant, Error> minus(Instant t, Duration d);

// The one date-time text of every message and repr: "2024-03-01 12:00:05 UTC". The year has
// at least four digits and a sign outside 0..9999 ("+10000-01-01 00:00:00 UTC",
// "-0001-12-31 23:59:59 UTC"); a fractional second, when present, has 3, 6 or 9 digits.
std::string format_datetime(Instant t);
void append_datetime(std::string& out, Instant t);  // the same text, appended
// Non-negative: "0s", "1h", "1h 30m", "2days", "1year 2months 3s 500ms"; negative: ISO 8601
// seconds, "-PT60S", "-PT1.5S".
std::string format_duration(Duration d);

// Real-valued time: seconds since 1970-01-01T00:00:00 UTC.
double datetime_to_f64(Instant t);
// Total: NaN gives the Unix epoch, huge values saturate at the 64-bit nanosecond range.
Instant f64_to_datetime(double seconds);

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12, day not validated).
using sgp4::civil::days_from_civil;

// Walk over [start, end) with a positive step.
class DateTimeIter {
 public:
  DateTimeIter(Instant start, Instant end, Duration step)
      : start_(start), end_(end), step_(step), cursor_(start) {}
  std::optional<Instant> next();

 private:
  Instant start_;
  Instant end_;
  Duration step_;
  std::optional<Instant> cursor_;  // empty once advancing left the representable range
};

}  // namespace satvane
