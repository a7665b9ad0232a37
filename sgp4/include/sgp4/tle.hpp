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
std::expected<Elements, TleError> parse_tle(std::string_view name, std::string_view line_1,
                                            std::string_view line_2);

}  // namespace sgp4
