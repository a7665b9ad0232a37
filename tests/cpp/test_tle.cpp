#include <gtest/gtest.h>

#include <string>

#include "sgp4/tle.hpp"
#include "satvane/time.hpp"

namespace {

// A published ISS element set with valid checksums.
constexpr std::string_view kIssLine1 = "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927";
constexpr std::string_view kIssLine2 = "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537";

// Replaces the checksum digit so that edited lines reach the check under test.
std::string with_checksum(std::string line) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < 68; ++i) {
    if (line[i] >= '0' && line[i] <= '9') sum += unsigned(line[i] - '0');
    if (line[i] == '-') sum += 1;
  }
  line[68] = char('0' + sum % 10);
  return line;
}

std::string replaced(std::string_view line, std::size_t offset, std::string_view text) {
  std::string out(line);
  out.replace(offset, text.size(), text);
  return with_checksum(out);
}

satvane::CivilDateTime civil(const sgp4::Elements& e) { return satvane::Instant(e.epoch).to_civil(); }

TEST(Tle, ParsesEveryFieldOfAPublishedElementSet) {
  const auto parsed = sgp4::parse_tle("ISS (ZARYA)", kIssLine1, kIssLine2);
  ASSERT_TRUE(parsed.has_value()) << parsed.error().text();
  const sgp4::Elements& e = *parsed;
  EXPECT_EQ(e.object_name, "ISS (ZARYA)");
  EXPECT_EQ(e.international_designator, "1998-067A");
  EXPECT_EQ(e.norad_id, 25544u);
  EXPECT_EQ(e.classification, sgp4::Classification::Unclassified);
  EXPECT_EQ(e.mean_motion_dot, -0.00002182);
  EXPECT_EQ(e.mean_motion_ddot, 0.0);
  EXPECT_EQ(e.drag_term, -0.11606e-4);
  EXPECT_EQ(e.ephemeris_type, 0u);
  EXPECT_EQ(e.element_set_number, 292u);
  EXPECT_EQ(e.inclination, 51.6416);
  EXPECT_EQ(e.right_ascension, 247.4627);
  EXPECT_EQ(e.eccentricity, 0.0006703);
  EXPECT_EQ(e.argument_of_perigee, 130.5360);
  EXPECT_EQ(e.mean_anomaly, 325.0288);
  EXPECT_EQ(e.mean_motion, 15.72125391);
  EXPECT_EQ(e.revolution_number, 56353u);
  // Day 264 of the leap year 2008 is 20 September; 0.51782528 day is 44740.104192 s.
  const auto t = civil(e);
  EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second, t.nanosecond),
            std::make_tuple(2008, 9u, 20u, 12u, 25u, 40u, 104'192'000u));
}

struct EpochCase {
  std::string_view epoch_field;  // columns 19-32
  satvane::CivilDateTime expected;
};

class TleEpoch : public testing::TestWithParam<EpochCase> {};

TEST_P(TleEpoch, IsExactToTheNanosecond) {
  const auto line_1 = replaced(kIssLine1, 18, GetParam().epoch_field);
  const auto parsed = sgp4::parse_tle("", line_1, kIssLine2);
  ASSERT_TRUE(parsed.has_value()) << parsed.error().text();
  const auto t = civil(*parsed);
  const auto& x = GetParam().expected;
  EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second, t.nanosecond),
            std::tie(x.year, x.month, x.day, x.hour, x.minute, x.second, x.nanosecond));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TleEpoch,
    testing::Values(EpochCase{"20194.05493000", {2020, 7, 12, 1, 19, 5, 952'000'000}},
                    EpochCase{"57001.00000000", {1957, 1, 1, 0, 0, 0, 0}},
                    EpochCase{"56366.99999999", {2056, 12, 31, 23, 59, 59, 999'136'000}},  // leap year
                    EpochCase{"00060.50000000", {2000, 2, 29, 12, 0, 0, 0}},
                    EpochCase{"991.0000000001", {1999, 1, 1, 0, 0, 0, 8'640}},  // ten fraction digits
                    EpochCase{"21  1.5       ", {2021, 1, 1, 12, 0, 0, 0}},
                    EpochCase{"21365         ", {2021, 12, 31, 0, 0, 0, 0}}));

TEST(Tle, ReadsAlpha5CatalogueNumbers) {
  const std::pair<std::string_view, std::uint64_t> cases[] = {
      {"A0000", 100000}, {"H9999", 179999}, {"J0001", 180001}, {"N1234", 221234},
      {"P0000", 230000}, {"Z9999", 339999}, {"    7", 7},      {"00042", 42},
  };
  for (const auto& [field, number] : cases) {
    const auto parsed = sgp4::parse_tle("", replaced(kIssLine1, 2, field), replaced(kIssLine2, 2, field));
    ASSERT_TRUE(parsed.has_value()) << field << ": " << parsed.error().text();
    EXPECT_EQ(parsed->norad_id, number) << field;
  }
}

struct FieldCase {
  int line;
  std::size_t offset;
  std::string_view text;
};

sgp4::Elements parse_with(const FieldCase& c) {
  const auto line_1 = c.line == 1 ? replaced(kIssLine1, c.offset, c.text) : std::string(kIssLine1);
  const auto line_2 = c.line == 2 ? replaced(kIssLine2, c.offset, c.text) : std::string(kIssLine2);
  const auto parsed = sgp4::parse_tle("", line_1, line_2);
  EXPECT_TRUE(parsed.has_value()) << c.text << ": " << parsed.error().text();
  return parsed.value_or(sgp4::Elements{});
}

TEST(Tle, ReadsAssumedDecimalPointAndPaddedNumericFields) {
  EXPECT_EQ(parse_with({1, 44, " 12345-5"}).mean_motion_ddot, 0.12345e-5);
  EXPECT_EQ(parse_with({1, 44, "-11606-4"}).mean_motion_ddot, -0.11606e-4);
  EXPECT_EQ(parse_with({1, 44, "+12345+1"}).mean_motion_ddot, 1.2345);
  EXPECT_EQ(parse_with({1, 53, " 00000 0"}).drag_term, 0.0);
  EXPECT_EQ(parse_with({1, 53, "   123-3"}).drag_term, 0.123e-3);
  EXPECT_EQ(parse_with({1, 33, " 0.0001234"}).mean_motion_dot, 0.0001234);
  EXPECT_EQ(parse_with({1, 33, "+.00001   "}).mean_motion_dot, 0.00001);
  EXPECT_EQ(parse_with({2, 26, "1234567"}).eccentricity, 0.1234567);
  EXPECT_EQ(parse_with({2, 26, " 001771"}).eccentricity, 0.0001771);
  EXPECT_EQ(parse_with({2, 8, "  51.6  "}).inclination, 51.6);
  EXPECT_EQ(parse_with({2, 52, "15.5       "}).mean_motion, 15.5);
  EXPECT_EQ(parse_with({2, 63, "    1"}).revolution_number, 1u);
  EXPECT_EQ(parse_with({2, 63, "     "}).revolution_number, 0u);
  EXPECT_EQ(parse_with({1, 62, " "}).ephemeris_type, 0u);
  EXPECT_EQ(parse_with({1, 62, "4"}).ephemeris_type, 4u);
  EXPECT_EQ(parse_with({1, 64, "   1"}).element_set_number, 1u);
  EXPECT_EQ(parse_with({1, 64, "9999"}).element_set_number, 9999u);
  EXPECT_EQ(parse_with({1, 7, "C"}).classification, sgp4::Classification::Classified);
  EXPECT_EQ(parse_with({1, 7, "S"}).classification, sgp4::Classification::Secret);
}

TEST(Tle, TurnsTheLaunchDesignatorIntoTheOmmForm) {
  EXPECT_EQ(parse_with({1, 9, "57001B  "}).international_designator, "1957-001B");
  EXPECT_EQ(parse_with({1, 9, "56123ABC"}).international_designator, "2056-123ABC");
  EXPECT_EQ(parse_with({1, 9, "00001Z  "}).international_designator, "2000-001Z");
  EXPECT_EQ(parse_with({1, 9, "        "}).international_designator, std::nullopt);
}

struct ErrorCase {
  std::string_view name;
  std::string line_1;
  std::string line_2;
  std::string_view text;
};

class TleError : public testing::TestWithParam<ErrorCase> {};

TEST_P(TleError, ReportsTheFirstFailingCheck) {
  const auto parsed = sgp4::parse_tle("X", GetParam().line_1, GetParam().line_2);
  ASSERT_FALSE(parsed.has_value());
  EXPECT_EQ(parsed.error().text(), GetParam().text);
}

const std::string L1(kIssLine1);
const std::string L2(kIssLine2);
const std::string kPrefix = "TLE parse error: ";

std::vector<ErrorCase> error_cases() {
  // Each case breaks one check; where two are broken, the earlier check must win.
  return {
      {"both_empty", "", "", "TLE parse error: Bad line length on TLE line 1 between characters 0 and 0"},
      {"trailing_space", L1 + " ", L2, "TLE parse error: Bad line length on TLE line 1 between characters 0 and 70"},
      {"trailing_newline_line_2", L1, L2 + "\n",
       "TLE parse error: Bad line length on TLE line 2 between characters 0 and 70"},
      {"short_line_2_before_bad_first_1", "3" + L1.substr(1), L2.substr(0, 10),
       "TLE parse error: Bad line length on TLE line 2 between characters 0 and 10"},
      {"first_1", "2" + L1.substr(1), "1" + L2.substr(1),
       "TLE parse error: Bad first character on TLE line 1 between characters 0 and 1"},
      {"first_2_before_separator_1", replaced(L1, 8, "x"), "1" + L2.substr(1),
       "TLE parse error: Bad first character on TLE line 2 between characters 0 and 1"},
      {"separator_1_at_8", replaced(L1, 8, "x"), L2,
       "TLE parse error: Found a non-space character between fields on TLE line 1 between characters 8 and 9"},
      {"separator_1_at_63", replaced(L1, 63, "0"), L2,
       "TLE parse error: Found a non-space character between fields on TLE line 1 between characters 63 and 64"},
      {"separator_2_at_51", L1, replaced(L2, 51, "1"),
       "TLE parse error: Found a non-space character between fields on TLE line 2 between characters 51 and 52"},
      {"catalogue_1", replaced(L1, 2, "I0000"), replaced(L2, 2, "x"),
       "TLE parse error: Parsing an Alpha-5 field failed on TLE line 1 between characters 2 and 7"},
      {"catalogue_2", L1, replaced(L2, 2, "2 544"),
       "TLE parse error: Parsing an Alpha-5 field failed on TLE line 2 between characters 2 and 7"},
      {"catalogue_blank", replaced(L1, 2, "     "), L2,
       "TLE parse error: Parsing an Alpha-5 field failed on TLE line 1 between characters 2 and 7"},
      {"catalogue_lower_case", replaced(L1, 2, "a0000"), L2,
       "TLE parse error: Parsing an Alpha-5 field failed on TLE line 1 between characters 2 and 7"},
      {"mismatch", L1, replaced(L2, 2, "25545"),
       "TLE parse error: NORAD mismatch between TLE lines (TLE lines mismatch) between characters 2 and 7"},
      {"checksum_1", L1.substr(0, 68) + "0", L2,
       "TLE parse error: Bad line checksum on TLE line 1 between characters 68 and 69"},
      {"checksum_not_a_digit", L1, L2.substr(0, 68) + "x",
       "TLE parse error: Bad line checksum on TLE line 2 between characters 68 and 69"},
      {"checksum_before_classification", L1.substr(0, 7) + "X" + L1.substr(8, 60) + "0", L2,
       "TLE parse error: Bad line checksum on TLE line 1 between characters 68 and 69"},
      {"classification", replaced(L1, 7, "X"), L2,
       "TLE parse error: Unknown classification code on TLE line 1 between characters 7 and 8"},
      {"designator", replaced(L1, 9, "98O67A  "), L2,
       "TLE parse error: Parsing a string field failed on TLE line 1 between characters 9 and 17"},
      {"designator_without_piece", replaced(L1, 9, "98067   "), L2,
       "TLE parse error: Parsing a string field failed on TLE line 1 between characters 9 and 17"},
      {"epoch_year", replaced(L1, 18, "0x"), L2,
       "TLE parse error: Parsing an integer field failed on TLE line 1 between characters 18 and 20"},
      {"epoch_year_blank", replaced(L1, 18, "  "), L2,
       "TLE parse error: Parsing an integer field failed on TLE line 1 between characters 18 and 20"},
      {"epoch_day", replaced(L1, 20, "264.5178252x"), L2,
       "TLE parse error: Parsing a float field failed on TLE line 1 between characters 20 and 32"},
      {"epoch_day_blank", replaced(L1, 20, "     .      "), L2,
       "TLE parse error: Parsing a float field failed on TLE line 1 between characters 20 and 32"},
      {"mean_motion_dot", replaced(L1, 33, "-.0000218e"), L2,
       "TLE parse error: Parsing a float field failed on TLE line 1 between characters 33 and 43"},
      {"ddot", replaced(L1, 44, " 0000x-0"), L2,
       "TLE parse error: Parsing a float field failed (special TLE float representation with assumed decimal "
       "point) on TLE line 1 between characters 44 and 52"},
      {"bstar_exponent", replaced(L1, 53, "-11606*4"), L2,
       "TLE parse error: Parsing a float field failed (special TLE float representation with assumed decimal "
       "point) on TLE line 1 between characters 53 and 61"},
      {"bstar_blank", replaced(L1, 53, "        "), L2,
       "TLE parse error: Parsing a float field failed (special TLE float representation with assumed decimal "
       "point) on TLE line 1 between characters 53 and 61"},
      {"ephemeris", replaced(L1, 62, "A"), L2,
       "TLE parse error: Parsing an integer field failed on TLE line 1 between characters 62 and 63"},
      {"set_number", replaced(L1, 64, " 2 9"), L2,
       "TLE parse error: Parsing an integer field failed on TLE line 1 between characters 64 and 68"},
      {"inclination", L1, replaced(L2, 8, " 51.64.6"),
       "TLE parse error: Parsing a float field failed on TLE line 2 between characters 8 and 16"},
      {"eccentricity", L1, replaced(L2, 26, "-006703"),
       "TLE parse error: Parsing a float field failed (special TLE float representation with assumed decimal "
       "point) on TLE line 2 between characters 26 and 33"},
      {"mean_motion_blank", L1, replaced(L2, 52, "           "),
       "TLE parse error: Parsing a float field failed on TLE line 2 between characters 52 and 63"},
      {"revolution", L1, replaced(L2, 63, "5635x"),
       "TLE parse error: Parsing an integer field failed on TLE line 2 between characters 63 and 68"},
      {"line_1_fields_before_line_2", replaced(L1, 64, "x"), replaced(L2, 8, "x"),
       "TLE parse error: Parsing an integer field failed on TLE line 1 between characters 64 and 68"},
      {"day_zero", replaced(L1, 18, "20000.50000000"), L2,
       "TLE parse error: Date generation failed due to an error in the year on TLE line 1 between characters 18 "
       "and 32"},
      {"day_366_of_common_year", replaced(L1, 18, "21366.00000000"), L2,
       "TLE parse error: Date generation failed due to an error in the year on TLE line 1 between characters 18 "
       "and 32"},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, TleError, testing::ValuesIn(error_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Tle, RejectsNonAsciiAndNulBytesWithoutReadingPastTheLines) {
  std::string line_1(kIssLine1);
  line_1[30] = '\0';
  const auto parsed = sgp4::parse_tle("", with_checksum(line_1), kIssLine2);
  ASSERT_FALSE(parsed.has_value());
  EXPECT_EQ(parsed.error().text(),
            "TLE parse error: Parsing a float field failed on TLE line 1 between characters 20 and 32");
  // A multi-byte UTF-8 character makes the line longer in bytes than in characters.
  const std::string with_umlaut = std::string(kIssLine1).replace(14, 1, "\xC3\xA4");
  EXPECT_EQ(sgp4::parse_tle("", with_umlaut, kIssLine2).error().text(),
            "TLE parse error: Bad line length on TLE line 1 between characters 0 and 70");
}

}  // namespace
