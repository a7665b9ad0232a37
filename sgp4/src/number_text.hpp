// Number parsing shared by the TLE and OMM readers. Every function takes exactly the text of
// one field (no surrounding whitespace) and never allocates.
#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

namespace sgp4::number_text {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Removes a leading '+' or '-' from `text`; true when it was '-'.
constexpr bool take_sign(std::string_view& text) {
  if (text.empty() || (text.front() != '+' && text.front() != '-')) return false;
  const bool negative = text.front() == '-';
  text.remove_prefix(1);
  return negative;
}

// Decimal digits with an optional '.' and an optional exponent ("12", "1.5", ".5", "5.",
// "1e-5"), without a sign, as already checked by the caller. Correctly rounded; magnitudes
// beyond the double range give infinity, those below the smallest subnormal give zero.
double unsigned_decimal_to_double(std::string_view text);

// True when `text` is "digits [. digits] [(e|E) [+|-] digits]" with at least one mantissa
// digit on either side of the point.
bool is_unsigned_decimal(std::string_view text);

enum class FloatTextError : std::uint8_t { Empty, Invalid };

// Accepts what the common float-from-string routines of our users' tools accept: an optional
// sign, then a decimal as above, or "inf", "infinity" or "nan" in any letter case.
[[nodiscard]] std::expected<double, FloatTextError> parse_float(std::string_view text);

enum class IntegerTextError : std::uint8_t { Empty, InvalidDigit, TooLarge };

// An optional '+' then decimal digits, read left to right: the first fault met is reported,
// so "99999999999999999999x" is too large, not an invalid digit.
[[nodiscard]] std::expected<std::uint64_t, IntegerTextError> parse_unsigned(std::string_view text, std::uint64_t max);

}  // namespace sgp4::number_text
