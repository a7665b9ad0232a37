#include "sgp4/format.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

namespace sgp4 {

void append_double(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  // Shortest round-trip digits in scientific form, e.g. "-1.2345e-07", then laid out plainly.
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string_view text(buf, std::size_t(result.ptr - buf));
  if (text.front() == '-') {
    out += '-';
    text.remove_prefix(1);
  }
  const std::size_t e_pos = text.find('e');
  const std::size_t exponent_from = e_pos + (text[e_pos + 1] == '+' ? 2 : 1);  // from_chars takes no '+'
  int exponent = 0;
  std::from_chars(text.data() + exponent_from, text.data() + text.size(), exponent);
  char digit_buffer[24];  // at most 17 significant digits
  std::size_t digit_count = 0;
  for (char c : text.substr(0, e_pos))
    if (c != '.') digit_buffer[digit_count++] = c;
  const std::string_view digits(digit_buffer, digit_count);
  // value = 0.digits × 10^(exponent + 1); the decimal point goes after `point` digits.
  const int point = exponent + 1;
  if (point <= 0) {
    out += "0.";
    out.append(std::size_t(-point), '0');
    out += digits;
  } else if (std::size_t(point) >= digits.size()) {
    out += digits;
    out.append(std::size_t(point) - digits.size(), '0');
  } else {
    out += digits.substr(0, std::size_t(point));
    out += '.';
    out += digits.substr(std::size_t(point));
  }
}

void append_unsigned(std::string& out, std::uint64_t value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

std::string format_double(double value) {
  std::string out;
  append_double(out, value);
  return out;
}

}  // namespace sgp4
