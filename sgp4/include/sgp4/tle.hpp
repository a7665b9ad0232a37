// Parser of the NORAD two-line element format.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "sgp4/elements.hpp"

namespace sgp4 {

struct TleError {
  enum class What : std::uint8_t {
    BadChecksum,
    BadLength,
    BadFirstCharacter,
    FloatField,
    AssumedDecimalPointField,
    IntegerField,
    Alpha5Field,
    NonSpaceSeparator,
    StringField,
    AssumedDecimalPointTooLong,
    NoradMismatch,
    UnknownClassification,
    EpochYear,
    EpochSeconds,
  };
  enum class Which : std::uint8_t { Line1, Line2, Both };

  What what;
  Which which;
  std::size_t start;  // zero-based byte offset into the line
  std::size_t end;    // exclusive

  // "TLE parse error: {what} {which} between characters {start} and {end}"
  std::string text() const;
};

// Parses the two lines (given as bytes, any content) with `name` as object name.
//
// Checks, in this order, the first failure ending the parse: the length of line 1 then line 2
// (exactly 69 bytes), their first characters, the separators, the catalogue numbers (five
// digits right-aligned, or Alpha-5) of line 1 then line 2 and their equality, the checksums,
// the classification letter; then the fields of line 1 and line 2 in column order, and last
// the epoch date. Numeric fields may carry leading and trailing spaces.
//
// The epoch is exact: a day-of-year fraction of up to 11 digits is a whole number of
// nanoseconds, so "20194.05493000" is 2020-07-12T01:19:05.952 UTC with no rounding. Two-digit
// years 57-99 are 19xx, 00-56 are 20xx; a day outside the year gives the year error. The launch
// designator becomes the OMM form ("98067A" -> "1998-067A"); a blank one gives none.
[[nodiscard]] std::expected<Elements, TleError> parse_tle(std::string_view name, std::string_view line_1,
                                                          std::string_view line_2);

}  // namespace sgp4
