#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "../../sgp4/src/number_text.hpp"

using sgp4::number_text::unsigned_decimal_to_double;

namespace {

// Random decimals of 1 to 20 digits with the point anywhere (or nowhere), leading zeros and
// sometimes an exponent: the fast exact path and the general path must both round like strtod.
std::string random_decimal(std::mt19937_64& rng) {
  std::uniform_int_distribution<int> length(1, 20), digit(0, 9), coin(0, 3);
  std::string text;
  const int n = length(rng);
  for (int i = 0; i < n; ++i) text += char('0' + digit(rng));
  if (coin(rng) != 0) text.insert(std::size_t(std::uniform_int_distribution<int>(0, n)(rng)), ".");
  if (text == ".") text = "0.5";
  if (coin(rng) == 0) {
    const int exponent = std::uniform_int_distribution<int>(-30, 30)(rng);
    text += (coin(rng) == 0 ? "E" : "e") + std::string(exponent >= 0 && coin(rng) == 0 ? "+" : "") +
            std::to_string(exponent);
  }
  return text;
}

}  // namespace

TEST(DecimalText, RoundsLikeStrtodOnRandomDecimals) {
  std::mt19937_64 rng(20261208);
  for (int k = 0; k < 200000; ++k) {
    const std::string text = random_decimal(rng);
    ASSERT_EQ(unsigned_decimal_to_double(text), std::strtod(text.c_str(), nullptr)) << text;
  }
}

TEST(DecimalText, EdgesOfTheExactRange) {
  for (const char* text : {"9007199254740993", "123456789012345.6", "0.0000000000000000000001",
                           "0.00000000000000000000001", "999999999999999", "1.000000000000000000000000001",
                           "5.", ".5", "0", "00000000000000000000000000012.5", "0.12345e-5", "9007199254740993e-22",
                           "1e22", "1e23", "1.5e-0", "0.11606e-4"}) {
    EXPECT_EQ(unsigned_decimal_to_double(text), std::strtod(text, nullptr)) << text;
  }
}
