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

std::expected<Elements, OmmError> read_omm_json(std::string_view json);

}  // namespace sgp4
