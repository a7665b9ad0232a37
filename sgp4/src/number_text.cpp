#include "number_text.hpp"

#include <charconv>
#include <limits>
#include <optional>

namespace sgp4::number_text {
namespace {

constexpr char to_lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool equals_ignoring_case(std::string_view text, std::string_view lower_word) {
  if (text.size() != lower_word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (to_lower(text[i]) != lower_word[i]) return false;
  return true;
}

// Sign of the decimal exponent of a nonzero value whose parse left the double range: positive
// means it overflowed, otherwise it underflowed. Saturates, so any exponent length is fine.
bool magnitude_is_large(std::string_view text) {
  std::int64_t point_shift = 0;  // digits before the point counted from the first nonzero one
  bool seen_nonzero = false;
  bool after_point = false;
  std::size_t i = 0;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    const char c = text[i];
    if (c == '.') {
      after_point = true;
    } else if (!seen_nonzero && c == '0') {
      if (after_point) --point_shift;
    } else {
      seen_nonzero = true;
      if (!after_point) ++point_shift;
    }
  }
  std::int64_t exponent = 0;
  bool negative_exponent = false;
  if (i < text.size()) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative_exponent = text[i++] == '-';
    for (; i < text.size(); ++i)
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
  }
  return point_shift + (negative_exponent ? -exponent : exponent) > 0;
}

}  // namespace

bool is_unsigned_decimal(std::string_view text) {
  std::size_t i = 0;
  std::size_t mantissa_digits = 0;
  while (i < text.size() && is_digit(text[i])) ++i, ++mantissa_digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && is_digit(text[i])) ++i, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t exponent_start = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    if (i == exponent_start) return false;
  }
  return i == text.size();
}

namespace {

// Exact powers of ten: every one up to 1e22 is a double without rounding.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Clinger's fast path: digits below 2^53 form an exact double, and so does a power of ten up
// to 1e22, so one multiplication or division rounds correctly. Element-set fields always
// qualify; anything else (long mantissas, large exponents) returns nothing and takes the
// general path. The text is already known to be well formed.
std::optional<double> exact_small_decimal(std::string_view text) {
  std::uint64_t digits = 0;
  int mantissa_digits = 0;
  int power_of_ten = 0;
  bool after_point = false;
  std::size_t i = 0;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      after_point = true;
      continue;
    }
    if (++mantissa_digits > 19) return std::nullopt;  // keeps the accumulator below 2^64
    digits = digits * 10 + std::uint64_t(text[i] - '0');
    power_of_ten -= after_point;
  }
  if (i < text.size()) {  // exponent: sign and at most a few digits in the fast case
    ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (text.size() - i > 3) return std::nullopt;
    int exponent = 0;
    for (; i < text.size(); ++i) exponent = exponent * 10 + (text[i] - '0');
    power_of_ten += negative ? -exponent : exponent;
  }
  if (digits > (std::uint64_t(1) << 53) || power_of_ten < -22 || power_of_ten > 22) return std::nullopt;
  const double mantissa = double(digits);
  return power_of_ten < 0 ? mantissa / kExactPowersOfTen[-power_of_ten] : mantissa * kExactPowersOfTen[power_of_ten];
}

}  // namespace

double unsigned_decimal_to_double(std::string_view text) {
  if (const auto fast = exact_small_decimal(text)) return *fast;
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range)
    return magnitude_is_large(text) ? std::numeric_limits<double>::infinity() : 0.0;
  return value;
}

std::expected<double, FloatTextError> parse_float(std::string_view text) {
  if (text.empty()) return std::unexpected(FloatTextError::Empty);
  const bool negative = take_sign(text);
  double magnitude = 0.0;
  if (equals_ignoring_case(text, "inf") || equals_ignoring_case(text, "infinity"))
    magnitude = std::numeric_limits<double>::infinity();
  else if (equals_ignoring_case(text, "nan"))
    magnitude = std::numeric_limits<double>::quiet_NaN();
  else if (is_unsigned_decimal(text))
    magnitude = unsigned_decimal_to_double(text);
  else
    return std::unexpected(FloatTextError::Invalid);
  return negative ? -magnitude : magnitude;
}

std::expected<std::uint64_t, IntegerTextError> parse_unsigned(std::string_view text, std::uint64_t max) {
  if (text.empty()) return std::unexpected(IntegerTextError::Empty);
  if (text.front() == '+' && text.size() > 1) text.remove_prefix(1);
  std::uint64_t value = 0;
  for (const char c : text) {
    if (!is_digit(c)) return std::unexpected(IntegerTextError::InvalidDigit);
    const auto digit = std::uint64_t(c - '0');
    if (value > (max - digit) / 10) return std::unexpected(IntegerTextError::TooLarge);
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace sgp4::number_text
