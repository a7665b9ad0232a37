#include "sgp4/json_syntax.hpp"

#include "json_reader.hpp"

namespace sgp4 {

std::optional<OmmError> json_syntax_error(std::string_view text) {
  json::Reader reader(text);
  auto result = reader.skip_value();
  if (result) result = reader.finish();
  if (result) return std::nullopt;
  const auto position = json::position_of(text, result.error().offset);
  return OmmError{result.error().message, position.line, position.column};
}

}  // namespace sgp4
