// Number formatting shared by every message and repr of the library.
#pragma once

#include <cstdint>
#include <string>

namespace sgp4 {

// Shortest decimal that reads back to the same double, never with an exponent:
// 1.2 -> "1.2", 3.0 -> "3", 1e-7 -> "0.0000001", 1e21 -> "1000000000000000000000",
// NaN -> "NaN", infinities -> "inf" / "-inf", -0.0 -> "-0".
std::string format_double(double value);

// Appends the same text to `out` (no temporary string).
void append_double(std::string& out, double value);

// Appends the plain decimal digits of `value`.
void append_unsigned(std::string& out, std::uint64_t value);

}  // namespace sgp4
