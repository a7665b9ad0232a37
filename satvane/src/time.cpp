#include "satvane/time.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "sgp4/civil.hpp"
#include "sgp4/format.hpp"

namespace satvane {
namespace {

constexpr std::int64_t kMinYear = -262143;
constexpr std::int64_t kMaxYear = 262142;

// Unix seconds of -262143-01-01T00:00:00 and 262142-12-31T23:59:59 (checked in the tests).
constexpr std::int64_t kMinUnixSeconds = -8334601228800;
constexpr std::int64_t kMaxUnixSeconds = 8210266876799;

void append_padded(std::string& out, std::uint64_t value, int width) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(std::size_t(std::max<std::ptrdiff_t>(0, width - (end - buffer))), '0');
  out.append(buffer, end);
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

std::optional<Duration> Duration::checked_add(Duration other) const {
  std::int64_t seconds;
  if (__builtin_add_overflow(seconds_, other.seconds_, &seconds)) return std::nullopt;
  std::int64_t nanos = std::int64_t(nanos_) + other.nanos_;
  if (nanos >= kNanosPerSecond) {
    if (__builtin_add_overflow(seconds, 1, &seconds)) return std::nullopt;
    nanos -= kNanosPerSecond;
  }
  return from_parts(seconds, nanos);
}

std::optional<Duration> Duration::checked_neg() const {
  if (nanos_ == 0) {
    if (seconds_ == std::numeric_limits<std::int64_t>::min()) return std::nullopt;
    return from_parts(-seconds_, 0);
  }
  // -(s + n) = (-s - 1) + (1e9 - n); -s - 1 never overflows.
  return from_parts(-seconds_ - 1, kNanosPerSecond - nanos_);
}

std::optional<Duration> Duration::checked_sub(Duration other) const {
  auto negated = other.checked_neg();
  if (!negated) {
    // other is the most negative duration: this - other = (this + 1 s) - (other + 1 s).
    auto shifted = checked_add(seconds(1));
    if (!shifted) return std::nullopt;
    return shifted->checked_add(*from_parts(other.seconds_ + 1, other.nanos_).checked_neg());
  }
  return checked_add(*negated);
}

std::optional<Instant> Instant::from_unix(std::int64_t seconds, std::uint32_t nanosecond) {
  if (nanosecond >= kNanosPerSecond || seconds < kMinUnixSeconds || seconds > kMaxUnixSeconds)
    return std::nullopt;
  Instant t;
  t.seconds_ = seconds;
  t.nanos_ = nanosecond;
  return t;
}

std::optional<Instant> Instant::from_civil(const CivilDateTime& c) {
  if (c.year < kMinYear || c.year > kMaxYear || c.month < 1 || c.month > 12 || c.day < 1 ||
      c.day > sgp4::civil::days_in_month(c.year, c.month) || c.hour > 23 || c.minute > 59 || c.second > 59)
    return std::nullopt;
  const std::int64_t days = days_from_civil(c.year, c.month, c.day);
  return from_unix(days * kSecondsPerDay + c.hour * 3600 + c.minute * 60 + c.second, c.nanosecond);
}

Instant Instant::min() { return *from_unix(kMinUnixSeconds, 0); }
Instant Instant::max() { return *from_unix(kMaxUnixSeconds, 999'999'999); }

CivilDateTime Instant::to_civil() const {
  // Hinnant's civil_from_days.
  const std::int64_t z = days_since_unix_epoch() + 719468;
  const std::int64_t era = Duration::floor_div(z, 146097);
  const std::int64_t day_of_era = z - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t mp = (5 * day_of_year + 2) / 153;
  const unsigned day = unsigned(day_of_year - (153 * mp + 2) / 5 + 1);
  const unsigned month = unsigned(mp < 10 ? mp + 3 : mp - 9);
  const std::int64_t year = year_of_era + era * 400 + (month <= 2);
  const std::int64_t sod = second_of_day();
  return {year, month, day, unsigned(sod / 3600), unsigned(sod / 60 % 60), unsigned(sod % 60), nanos_};
}

std::optional<Instant> Instant::checked_add(Duration d) const {
  std::int64_t seconds;
  if (__builtin_add_overflow(seconds_, d.whole_seconds(), &seconds)) return std::nullopt;
  std::int64_t nanos = std::int64_t(nanos_) + d.subsec_nanos();
  if (nanos >= kNanosPerSecond) {
    if (__builtin_add_overflow(seconds, 1, &seconds)) return std::nullopt;
    nanos -= kNanosPerSecond;
  }
  return from_unix(seconds, std::uint32_t(nanos));
}

std::optional<Instant> Instant::checked_sub(Duration d) const {
  auto negated = d.checked_neg();
  if (!negated) return std::nullopt;  // far beyond the representable range anyway
  return checked_add(*negated);
}

Duration Instant::operator-(const Instant& other) const {
  // Both lie within ±2^43 s, so the difference cannot overflow.
  return Duration::from_parts(seconds_ - other.seconds_, std::int64_t(nanos_) - std::int64_t(other.nanos_));
}

double datetime_to_f64(Instant t) { return double(t.unix_seconds()) + double(t.nanosecond()) * 1e-9; }

Instant f64_to_datetime(double seconds) {
  const double scaled = seconds * 1e9;
  std::int64_t n;
  if (std::isnan(scaled)) {
    n = 0;
  } else if (scaled >= 9223372036854775808.0) {
    n = std::numeric_limits<std::int64_t>::max();
  } else if (scaled <= -9223372036854775808.0) {
    n = std::numeric_limits<std::int64_t>::min();
  } else {
    n = static_cast<std::int64_t>(scaled);  // truncation toward zero
  }
  return *Instant::from_unix(Duration::floor_div(n, kNanosPerSecond),
                             std::uint32_t(Duration::floor_mod(n, kNanosPerSecond)));
}

std::optional<Instant> DateTimeIter::next() {
  if (!cursor_ || !(start_ <= *cursor_ && *cursor_ < end_)) return std::nullopt;
  const Instant current = *cursor_;
  cursor_ = current.checked_add(step_);  // leaving the range ends the walk
  return current;
}

std::expected<Instant, Error> plus(Instant t, Duration d) {
  if (auto sum = t.checked_add(d)) return *sum;
  return std::unexpected(Error::detect(kAddOverflowText));
}

std::expected<Instant, Error> minus(Instant t, Duration d) {
  if (auto difference = t.checked_sub(d)) return *difference;
  return std::unexpected(Error::detect(kSubOverflowText));
}

void append_datetime(std::string& out, Instant t) {
  const CivilDateTime c = t.to_civil();
  if (c.year < 0) out.push_back('-');
  if (c.year > 9999) out.push_back('+');
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
}

std::string format_datetime(Instant t) {
  std::string out;
  append_datetime(out, t);
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

}  // namespace satvane
