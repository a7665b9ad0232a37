// Reader of one CCSDS OMM record from JSON text.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "sgp4/elements.hpp"

namespace sgp4 {

struct OmmError {
  std::string message;  // what went wrong, without position
  std::size_t line;     // 1-based position where the reader stopped
  std::size_t column;   // 1-based

  // message + " at line {line} column {column}"
  std::string text() const;
};

// Reads one record: a JSON object keyed by the 17 OMM names (other keys are skipped), or an
// array of the 17 values in declaration order. Numeric fields take a JSON number or a string.
// The JSON grammar is strict (RFC 8259; nesting limited to 128 levels). The first problem met
// ends the read, so text behind a record fault is not checked. The position is where the
// reader stopped: the offending byte for a syntax fault, just after the value for a value
// fault, just after the key for a duplicate key, just after the closing brace or bracket for
// a missing field or a wrong array length. Lines are counted by '\n'; columns count bytes
// from 1.
[[nodiscard]] std::expected<Elements, OmmError> read_omm_json(std::string_view json);

}  // namespace sgp4
