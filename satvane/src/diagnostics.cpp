#include "satvane/diagnostics.hpp"

#include <cstdio>

#include "sgp4/format.hpp"

namespace satvane::diagnostics {
namespace {

std::string instant_text(Instant t) {
  const CivilDateTime c = t.to_civil();
  char buffer[64];
  int length = std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02u:%02u:%02u",
                             static_cast<long long>(c.year), c.month, c.day, c.hour, c.minute, c.second);
  std::string text(buffer, std::size_t(length));
  if (c.nanosecond != 0) {
    std::snprintf(buffer, sizeof buffer, ".%09u", static_cast<unsigned>(c.nanosecond));
    std::string_view fraction(buffer);
    text.append(fraction.substr(0, fraction.find_last_not_of('0') + 1));
  }
  text.push_back('Z');
  return text;
}

}  // namespace

std::string to_text(const Value& value) {
  if (const auto* t = std::get_if<Instant>(&value)) return instant_text(*t);
  if (const auto* number = std::get_if<double>(&value)) return sgp4::format_double(*number);
  return std::string(std::get<std::string_view>(value));
}

}  // namespace satvane::diagnostics
