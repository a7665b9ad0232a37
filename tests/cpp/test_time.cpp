#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "satvane/time.hpp"
#include "sgp4/format.hpp"

using namespace satvane;

namespace {

Instant at(std::int64_t y, unsigned mo, unsigned d, unsigned h = 0, unsigned mi = 0, unsigned s = 0,
           std::uint32_t ns = 0) {
  return *Instant::from_civil({y, mo, d, h, mi, s, ns});
}

void expect_civil(Instant t, std::int64_t y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s,
                  std::uint32_t ns) {
  const CivilDateTime c = t.to_civil();
  EXPECT_EQ(c.year, y);
  EXPECT_EQ(c.month, mo);
  EXPECT_EQ(c.day, d);
  EXPECT_EQ(c.hour, h);
  EXPECT_EQ(c.minute, mi);
  EXPECT_EQ(c.second, s);
  EXPECT_EQ(c.nanosecond, ns);
}

}  // namespace

TEST(RealTime, NanAndTinyNegativesTruncateTowardZero) {
  expect_civil(f64_to_datetime(std::nan("")), 1970, 1, 1, 0, 0, 0, 0);
  expect_civil(f64_to_datetime(-1.5e-9), 1969, 12, 31, 23, 59, 59, 999'999'999);
  expect_civil(f64_to_datetime(-0.5e-9), 1970, 1, 1, 0, 0, 0, 0);
}

TEST(RealTime, HugeValuesSaturate) {
  expect_civil(f64_to_datetime(1e300), 2262, 4, 11, 23, 47, 16, 854'775'807);
  expect_civil(f64_to_datetime(-1e300), 1677, 9, 21, 0, 12, 43, 145'224'192);
  expect_civil(f64_to_datetime(std::numeric_limits<double>::infinity()), 2262, 4, 11, 23, 47, 16, 854'775'807);
}

TEST(RealTime, FromInstant) {
  EXPECT_EQ(datetime_to_f64(at(1970, 1, 2, 0, 0, 0, 500'000'000)), 86400.5);
  EXPECT_EQ(datetime_to_f64(at(1969, 12, 31, 23, 59, 59)), -1.0);
}

TEST(Civil, RoundTripsAcrossEras) {
  for (std::int64_t year : {-262143LL, -1LL, 0LL, 1LL, 1600LL, 1900LL, 2000LL, 2024LL, 9999LL, 262142LL}) {
    for (unsigned month : {1u, 2u, 12u}) {
      const Instant t = at(year, month, month == 2 ? 28 : 31, 13, 14, 15, 16);
      expect_civil(t, year, month, month == 2 ? 28 : 31, 13, 14, 15, 16);
    }
  }
  EXPECT_FALSE(Instant::from_civil({2023, 2, 29, 0, 0, 0, 0}));
  EXPECT_TRUE(Instant::from_civil({2024, 2, 29, 0, 0, 0, 0}));
  EXPECT_FALSE(Instant::from_civil({262143, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(Instant::min().unix_seconds(), days_from_civil(-262143, 1, 1) * kSecondsPerDay);
  EXPECT_EQ(Instant::max().unix_seconds(), days_from_civil(262143, 1, 1) * kSecondsPerDay - 1);
}

TEST(Arithmetic, ExactDifferencesAndSums) {
  const Instant a = at(2020, 7, 12, 1, 19, 7, 402'656'000);
  const Instant b = at(2020, 7, 13, 1, 19, 7, 0);
  const Duration d = b - a;
  EXPECT_EQ(d.whole_seconds(), 86399);
  EXPECT_EQ(d.subsec_nanos(), 597'344'000u);
  EXPECT_EQ(*a.checked_add(d), b);
  EXPECT_EQ(*b.checked_sub(d), a);
  const Duration back = a - b;
  EXPECT_EQ(back.whole_seconds(), -86400);
  EXPECT_EQ(back.subsec_nanos(), 402'656'000u);
}

TEST(Arithmetic, LeavingTheRangeIsReportedNotWrapped) {
  EXPECT_FALSE(Instant::max().checked_add(Duration::nanos(1)));
  EXPECT_FALSE(Instant::min().checked_sub(Duration::nanos(1)));
  EXPECT_FALSE(Instant::max().checked_add(Duration::seconds(std::numeric_limits<std::int64_t>::max())));
  EXPECT_FALSE(Duration::seconds(std::numeric_limits<std::int64_t>::min()).checked_neg());
}

TEST(Arithmetic, MillisecondsTruncateTowardZero) {
  EXPECT_EQ(Duration::nanos(900'000).whole_millis_toward_zero(), 0);
  EXPECT_EQ(Duration::nanos(-900'000).whole_millis_toward_zero(), 0);
  EXPECT_EQ(Duration::nanos(-1'500'000).whole_millis_toward_zero(), -1);
  EXPECT_EQ(Duration::nanos(-2'000'000).whole_millis_toward_zero(), -2);
  EXPECT_EQ(Duration::from_parts(-3, 999'999'999).whole_millis_toward_zero(), -2000);
}

// Checked at compile time: an overflow on the way would make these not constant.
TEST(Arithmetic, FloorRemainderHoldsAtTheInt64Ends) {
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  static_assert(Duration::nanos(kMin) == Duration::from_parts(-9'223'372'037, 145'224'192));
  static_assert(Duration::millis(kMin) == Duration::from_parts(-9'223'372'036'854'776, 192'000'000));
  static_assert(Duration::nanos(kMax) == Duration::from_parts(9'223'372'036, 854'775'807));
  static_assert(Duration::floor_mod(-7, 3) == 2 && Duration::floor_mod(7, -3) == -2);
  static_assert(Duration::floor_mod(-7, -3) == -1 && Duration::floor_mod(-3000, 1000) == 0);
  EXPECT_EQ(f64_to_datetime(-1e300), *Instant::from_unix(-9'223'372'037, 145'224'192));
}

struct WalkCase {
  unsigned end_second;
  std::vector<unsigned> yielded_seconds;
};

class Walk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(Walk, YieldsHalfOpenInterval) {
  const Instant start = at(2024, 1, 1);
  const Instant end = *start.checked_add(Duration::seconds(GetParam().end_second));
  DateTimeIter walk(start, end, Duration::seconds(10));
  std::vector<unsigned> got;
  while (auto t = walk.next()) got.push_back(unsigned((*t - start).whole_seconds()));
  EXPECT_EQ(got, GetParam().yielded_seconds);
  EXPECT_FALSE(walk.next());
}

INSTANTIATE_TEST_SUITE_P(Steps, Walk,
                         ::testing::Values(WalkCase{25, {0, 10, 20}}, WalkCase{20, {0, 10}}, WalkCase{0, {}}));

TEST(Walk, ReversedIntervalYieldsNothingAndHugeStepEnds) {
  DateTimeIter reversed(at(2024, 1, 2), at(2024, 1, 1), Duration::seconds(1));
  EXPECT_FALSE(reversed.next());
  DateTimeIter huge(Instant::max().checked_sub(Duration::seconds(5)).value(), Instant::max(),
                    Duration::seconds(std::int64_t(1) << 60));
  EXPECT_TRUE(huge.next());
  EXPECT_FALSE(huge.next());
}

TEST(FormatDouble, ShortestWithoutExponent) {
  struct Case {
    double value;
    const char* text;
  };
  for (auto [value, text] : std::vector<Case>{{1.2, "1.2"},
                                              {3.0, "3"},
                                              {-0.0, "-0"},
                                              {1e-7, "0.0000001"},
                                              {1e21, "1000000000000000000000"},
                                              {-123.456, "-123.456"},
                                              {0.1 + 0.2, "0.30000000000000004"},
                                              {std::nan(""), "NaN"},
                                              {-std::numeric_limits<double>::infinity(), "-inf"},
                                              {5e-324, nullptr}}) {
    if (!text) continue;
    EXPECT_EQ(sgp4::format_double(value), text);
  }
  const std::string tiny = sgp4::format_double(5e-324);
  EXPECT_EQ(tiny.substr(0, 4), "0.00");
  EXPECT_EQ(std::strtod(tiny.c_str(), nullptr), 5e-324);
}

class DurationTextTest : public testing::TestWithParam<std::pair<Duration, const char*>> {};

TEST_P(DurationTextTest, Format) { EXPECT_EQ(format_duration(GetParam().first), GetParam().second); }

INSTANTIATE_TEST_SUITE_P(
    Durations, DurationTextTest,
    testing::Values(std::pair{Duration::seconds(0), "0s"}, std::pair{Duration::seconds(3600), "1h"},
                    std::pair{Duration::seconds(5400), "1h 30m"}, std::pair{Duration::seconds(86400), "1day"},
                    std::pair{Duration::seconds(172800), "2days"}, std::pair{Duration::seconds(31557600), "1year"},
                    std::pair{Duration::seconds(2 * 31557600 + 3 * 2630016 + 61), "2years 3months 1m 1s"},
                    std::pair{Duration::seconds(2630016), "1month"}, std::pair{Duration::millis(1500), "1s 500ms"},
                    std::pair{Duration::nanos(1'001'001), "1ms 1us 1ns"}, std::pair{Duration::seconds(-60), "-PT60S"},
                    std::pair{Duration::millis(-1500), "-PT1.5S"}, std::pair{Duration::nanos(-1), "-PT0.000000001S"},
                    std::pair{Duration::from_parts(std::numeric_limits<std::int64_t>::min(), 0),
                              "-PT9223372036854775808S"}));

class DateTimeTextTest : public testing::TestWithParam<std::pair<std::uint32_t, const char*>> {};

TEST_P(DateTimeTextTest, Format) {
  const Instant t = *Instant::from_civil({2024, 3, 1, 12, 0, 5, GetParam().first});
  EXPECT_EQ(format_datetime(t), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Fractions, DateTimeTextTest,
                         testing::Values(std::pair{0u, "2024-03-01 12:00:05 UTC"},
                                         std::pair{500'000'000u, "2024-03-01 12:00:05.500 UTC"},
                                         std::pair{123'456'000u, "2024-03-01 12:00:05.123456 UTC"},
                                         std::pair{1'500u, "2024-03-01 12:00:05.000001500 UTC"}));

// Four-digit years read as they are; outside 0..9999 the year carries its sign.
class YearTextTest : public testing::TestWithParam<std::pair<CivilDateTime, const char*>> {};

TEST_P(YearTextTest, Format) { EXPECT_EQ(format_datetime(*Instant::from_civil(GetParam().first)), GetParam().second); }

INSTANTIATE_TEST_SUITE_P(
    Years, YearTextTest,
    testing::Values(std::pair{CivilDateTime{9999, 12, 31, 23, 59, 59, 0}, "9999-12-31 23:59:59 UTC"},
                    std::pair{CivilDateTime{10000, 1, 1, 0, 0, 0, 0}, "+10000-01-01 00:00:00 UTC"},
                    std::pair{CivilDateTime{0, 1, 1, 0, 0, 0, 0}, "0000-01-01 00:00:00 UTC"},
                    std::pair{CivilDateTime{-1, 12, 31, 23, 59, 59, 500'000'000}, "-0001-12-31 23:59:59.500 UTC"},
                    std::pair{CivilDateTime{-262143, 1, 1, 0, 0, 0, 0}, "-262143-01-01 00:00:00 UTC"},
                    std::pair{CivilDateTime{262142, 12, 31, 23, 59, 59, 999'999'999},
                              "+262142-12-31 23:59:59.999999999 UTC"}));
