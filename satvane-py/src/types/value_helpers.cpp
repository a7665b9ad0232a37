#include "types/value_helpers.hpp"

#include <charconv>
#include <cmath>

namespace satvane::py {

void append_fixed(std::string& out, double value, int decimals) {
  if (std::isnan(value)) {
    out += "NaN";
  } else if (std::isinf(value)) {
    out += value > 0 ? "inf" : "-inf";
  } else {
    char buffer[340];  // DBL_MAX has 309 integer digits
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    out.append(buffer, result.ptr);
  }
}

void append_range_and_rate(std::string& out, double range_m, double range_rate_m_s) {
  out += "range=";
  append_fixed(out, range_m, 0);
  out += "m, range_rate=";
  append_fixed(out, range_rate_m_s, 1);
  out += "m/s)";
}

}  // namespace satvane::py
