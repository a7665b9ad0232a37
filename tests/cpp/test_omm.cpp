#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <string>

#include "sgp4/omm.hpp"
#include "satvane/time.hpp"

#include "allocation_counter.hpp"

namespace {

// A record as CelesTrak sends it: JSON numbers, extra keys, pretty-printed.
const std::string kCelestrakRecord = R"j({
    "OBJECT_NAME": "ISS (ZARYA)",
    "OBJECT_ID": "1998-067A",
    "EPOCH": "2020-07-12T01:19:07.402656",
    "MEAN_MOTION": 15.49560532,
    "ECCENTRICITY": 0.0001771,
    "INCLINATION": 51.6435,
    "RA_OF_ASC_NODE": 225.4004,
    "ARG_OF_PERICENTER": 44.9625,
    "MEAN_ANOMALY": 5.1087,
    "EPHEMERIS_TYPE": 0,
    "CLASSIFICATION_TYPE": "U",
    "NORAD_CAT_ID": 25544,
    "ELEMENT_SET_NO": 999,
    "REV_AT_EPOCH": 23587,
    "BSTAR": 0.0049645,
    "MEAN_MOTION_DOT": 0.00289036,
    "MEAN_MOTION_DDOT": 0
})j";

// The same record as Space-Track sends it: every value a string, among many other keys.
const std::string kSpaceTrackRecord =
    R"j({"CCSDS_OMM_VERS":"2.0","COMMENT":"GENERATED VIA SPACE-TRACK.ORG API","OBJECT_NAME":"ISS (ZARYA)",)j"
    R"("OBJECT_ID":"1998-067A","CENTER_NAME":"EARTH","EPOCH":"2020-07-12T01:19:07.402656",)"
    R"("MEAN_MOTION":"15.49560532","ECCENTRICITY":"0.00017710","INCLINATION":"51.6435",)"
    R"("RA_OF_ASC_NODE":"225.4004","ARG_OF_PERICENTER":"44.9625","MEAN_ANOMALY":"5.1087",)"
    R"("EPHEMERIS_TYPE":"0","CLASSIFICATION_TYPE":"U","NORAD_CAT_ID":"25544","ELEMENT_SET_NO":"999",)"
    R"("REV_AT_EPOCH":"23587","BSTAR":"0.00496450000000","MEAN_MOTION_DOT":"0.00289036",)"
    R"("MEAN_MOTION_DDOT":"0.0000000000000","SEMIMAJOR_AXIS":"6797.145","DECAY_DATE":null,)"
    R"("TLE_LINE1":"1 25544U ...","GP_ID":{"nested":[1,2,{"x":[]}]}})";

const std::string kArrayRecord =
    R"j(["ISS (ZARYA)", "1998-067A", 25544, "U", "2020-07-12T01:19:07.402656", 0.00289036, 0, 0.0049645,)j"
    R"( 999, 51.6435, 225.4004, 0.0001771, 44.9625, 5.1087, 15.49560532, 23587, 0])";

void expect_iss(const sgp4::Elements& e) {
  EXPECT_EQ(e.object_name, "ISS (ZARYA)");
  EXPECT_EQ(e.international_designator, "1998-067A");
  EXPECT_EQ(e.norad_id, 25544u);
  EXPECT_EQ(e.classification, sgp4::Classification::Unclassified);
  const auto t = satvane::Instant(e.epoch).to_civil();
  EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second, t.nanosecond),
            std::make_tuple(2020, 7u, 12u, 1u, 19u, 7u, 402'656'000u));
  EXPECT_EQ(e.mean_motion_dot, 0.00289036);
  EXPECT_EQ(e.mean_motion_ddot, 0.0);
  EXPECT_EQ(e.drag_term, 0.0049645);
  EXPECT_EQ(e.element_set_number, 999u);
  EXPECT_EQ(e.inclination, 51.6435);
  EXPECT_EQ(e.right_ascension, 225.4004);
  EXPECT_EQ(e.eccentricity, 0.0001771);
  EXPECT_EQ(e.argument_of_perigee, 44.9625);
  EXPECT_EQ(e.mean_anomaly, 5.1087);
  EXPECT_EQ(e.mean_motion, 15.49560532);
  EXPECT_EQ(e.revolution_number, 23587u);
  EXPECT_EQ(e.ephemeris_type, 0u);
}

TEST(Omm, ReadsTheThreeRecordShapesAlike) {
  for (const std::string* json : {&kCelestrakRecord, &kSpaceTrackRecord, &kArrayRecord}) {
    const auto record = sgp4::read_omm_json(*json);
    ASSERT_TRUE(record.has_value()) << record.error().text();
    expect_iss(*record);
  }
}

// The Celestrak record with one key's value replaced (or the key removed when value is empty).
std::string with_value(std::string_view key, std::string_view value, std::string json = kCelestrakRecord) {
  const std::size_t key_at = json.find("\"" + std::string(key) + "\"");
  const std::size_t value_at = json.find(':', key_at) + 2;
  const std::size_t value_end = json.find_first_of(",\n", value_at);
  if (value.empty()) {
    const std::size_t line_start = json.rfind('\n', key_at);
    json.erase(line_start, json.find('\n', key_at) - line_start);
    if (json.ends_with(",\n}")) json.erase(json.size() - 3, 1);
    return json;
  }
  return json.replace(value_at, value_end - value_at, value);
}

sgp4::Elements read_ok(const std::string& json) {
  const auto record = sgp4::read_omm_json(json);
  EXPECT_TRUE(record.has_value()) << json << "\n" << record.error().text();
  return record.value_or(sgp4::Elements{});
}

TEST(Omm, AcceptsEachNumericFieldAsNumberOrString) {
  EXPECT_EQ(read_ok(with_value("NORAD_CAT_ID", R"("+25544")")).norad_id, 25544u);
  EXPECT_EQ(read_ok(with_value("NORAD_CAT_ID", "18446744073709551615")).norad_id, UINT64_MAX);
  EXPECT_EQ(read_ok(with_value("REV_AT_EPOCH", R"("007")")).revolution_number, 7u);
  EXPECT_EQ(read_ok(with_value("EPHEMERIS_TYPE", R"("255")")).ephemeris_type, 255u);
  EXPECT_EQ(read_ok(with_value("EPHEMERIS_TYPE", "4")).ephemeris_type, 4u);
  EXPECT_EQ(read_ok(with_value("MEAN_MOTION", R"("15.5")")).mean_motion, 15.5);
  EXPECT_EQ(read_ok(with_value("MEAN_MOTION", "-1.5E+1")).mean_motion, -15.0);
  EXPECT_EQ(read_ok(with_value("BSTAR", R"("-.5e-3")")).drag_term, -0.0005);
  EXPECT_EQ(read_ok(with_value("BSTAR", R"("5.")")).drag_term, 5.0);
  EXPECT_EQ(read_ok(with_value("BSTAR", R"("+1e400")")).drag_term, INFINITY);
  EXPECT_EQ(read_ok(with_value("BSTAR", "1e-400")).drag_term, 0.0);
  EXPECT_EQ(read_ok(with_value("INCLINATION", R"("-Infinity")")).inclination, -INFINITY);
  EXPECT_EQ(read_ok(with_value("INCLINATION", R"("inf")")).inclination, INFINITY);
  EXPECT_TRUE(std::isnan(read_ok(with_value("INCLINATION", R"("NaN")")).inclination));
  EXPECT_EQ(read_ok(with_value("INCLINATION", R"("\u0031\u0032")")).inclination, 12.0);  // escapes decode first
}

TEST(Omm, ReadsNamesClassificationsAndEpochs) {
  EXPECT_EQ(read_ok(with_value("OBJECT_NAME", "null")).object_name, std::nullopt);
  EXPECT_EQ(read_ok(with_value("OBJECT_NAME", "")).object_name, std::nullopt);
  EXPECT_EQ(read_ok(with_value("OBJECT_ID", "")).international_designator, std::nullopt);
  EXPECT_EQ(read_ok(with_value("OBJECT_NAME", R"("A\"\\\/\b\f\n\r\t\u00e9\ud83d\ude80")")).object_name,
            "A\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x9A\x80");
  EXPECT_EQ(read_ok(with_value("OBJECT_NAME", "\"\xE2\x82\xAC\"")).object_name, "\xE2\x82\xAC");
  EXPECT_EQ(read_ok(with_value("CLASSIFICATION_TYPE", R"("C")")).classification, sgp4::Classification::Classified);
  EXPECT_EQ(read_ok(with_value("CLASSIFICATION_TYPE", R"("\u0053")")).classification, sgp4::Classification::Secret);
  const std::pair<std::string_view, satvane::CivilDateTime> epochs[] = {
      {R"("2020-07-12T01:19:07")", {2020, 7, 12, 1, 19, 7, 0}},
      {R"("2020-07-12T01:19:07.5")", {2020, 7, 12, 1, 19, 7, 500'000'000}},
      {R"("2020-02-29T23:59:59.123456789")", {2020, 2, 29, 23, 59, 59, 123'456'789}},
      {R"("2000-12-31T00:00:00.9999999999")", {2000, 12, 31, 0, 0, 0, 999'999'999}},  // truncated
      {R"("1957-10-04T19:28:34.000000001")", {1957, 10, 4, 19, 28, 34, 1}},
  };
  for (const auto& [text, x] : epochs) {
    const auto t = satvane::Instant(read_ok(with_value("EPOCH", text)).epoch).to_civil();
    EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second, t.nanosecond),
              std::tie(x.year, x.month, x.day, x.hour, x.minute, x.second, x.nanosecond))
        << text;
  }
}

struct ErrorCase {
  std::string name;
  std::string json;
  std::string text;
};

class OmmError : public testing::TestWithParam<ErrorCase> {};

TEST_P(OmmError, ReportsTheProblemWhereTheReaderStopped) {
  const auto record = sgp4::read_omm_json(GetParam().json);
  ASSERT_FALSE(record.has_value()) << GetParam().json;
  EXPECT_EQ(record.error().text(), GetParam().text) << GetParam().json;
}

// Value errors in the pretty record sit on a known line: the value's line, column just after it.
ErrorCase value_case(std::string name, std::string_view key, std::string_view value, std::string_view message) {
  std::string json = with_value(key, value);
  const std::size_t value_end = json.find(value, json.find(std::string(key))) + value.size();
  const std::size_t line = 1 + std::size_t(std::count(json.begin(), json.begin() + std::ptrdiff_t(value_end), '\n'));
  const std::size_t column = value_end - json.rfind('\n', value_end - 1);
  return {std::move(name), json,
          std::string(message) + " at line " + std::to_string(line) + " column " + std::to_string(column)};
}

std::vector<ErrorCase> error_cases() {
  const std::string last_line = "line 18 column 2";  // just after the closing brace, one line removed
  return {
      value_case("u64_fraction", "NORAD_CAT_ID", "25544.0", "parsing the number as u64 failed"),
      value_case("u64_negative", "NORAD_CAT_ID", "-1", "parsing the number as u64 failed"),
      value_case("u64_exponent", "ELEMENT_SET_NO", "1e3", "parsing the number as u64 failed"),
      value_case("u64_number_too_large", "REV_AT_EPOCH", "18446744073709551616", "parsing the number as u64 failed"),
      value_case("u64_string_digit", "NORAD_CAT_ID", R"("25544 ")", "invalid digit found in string"),
      value_case("u64_string_sign_only", "NORAD_CAT_ID", R"("+")", "invalid digit found in string"),
      value_case("u64_string_minus", "NORAD_CAT_ID", R"("-1")", "invalid digit found in string"),
      value_case("u64_string_empty", "NORAD_CAT_ID", R"("")", "cannot parse integer from empty string"),
      value_case("u64_string_too_large", "NORAD_CAT_ID", R"("18446744073709551616")",
                 "number too large to fit in target type"),
      value_case("u64_overflow_before_bad_digit", "NORAD_CAT_ID", R"("99999999999999999999x")",
                 "number too large to fit in target type"),
      value_case("u64_bool", "NORAD_CAT_ID", "true", "expected a u64 or string"),
      value_case("u64_null", "ELEMENT_SET_NO", "null", "expected a u64 or string"),
      value_case("u64_array", "REV_AT_EPOCH", "[1, [2]]", "expected a u64 or string"),
      value_case("u8_string_too_large", "EPHEMERIS_TYPE", R"("256")", "number too large to fit in target type"),
      value_case("u8_number_too_large", "EPHEMERIS_TYPE", "256", "number too large to fit in target type"),
      value_case("u8_object", "EPHEMERIS_TYPE", R"({"a": 0})", "expected a u64 or string"),
      value_case("f64_bool", "MEAN_MOTION", "true", "expected a f64 or string"),
      value_case("f64_null", "BSTAR", "null", "expected a f64 or string"),
      value_case("f64_string_empty", "INCLINATION", R"("")", "cannot parse float from empty string"),
      value_case("f64_string_space", "INCLINATION", R"(" 1")", "invalid float literal"),
      value_case("f64_string_comma", "INCLINATION", R"("1,5")", "invalid float literal"),
      value_case("f64_string_hex", "INCLINATION", R"("0x10")", "invalid float literal"),
      value_case("f64_string_dot", "INCLINATION", R"(".")", "invalid float literal"),
      value_case("f64_string_exponent_only", "INCLINATION", R"("1e")", "invalid float literal"),
      value_case("f64_string_nan_payload", "INCLINATION", R"j("nan(1)")j", "invalid float literal"),
      value_case("f64_number_overflow", "INCLINATION", "-1e309", "number out of range"),
      value_case("name_number", "OBJECT_NAME", "5", "invalid type: number, expected a string"),
      // JSON admits escapes of unpaired surrogates, but no stored text can hold one.
      value_case("name_lone_high_surrogate", "OBJECT_NAME", R"("\ud800x")",
                 "invalid unicode code point: lone surrogate in \\u escape"),
      value_case("name_lone_low_surrogate", "OBJECT_ID", R"("\udc00")",
                 "invalid unicode code point: lone surrogate in \\u escape"),
      value_case("name_high_then_high", "OBJECT_NAME", R"("\ud800\ud800")",
                 "invalid unicode code point: lone surrogate in \\u escape"),
      value_case("id_object", "OBJECT_ID", "{}", "invalid type: map, expected a string"),
      value_case("classification_lower", "CLASSIFICATION_TYPE", R"("u")",
                 "unknown variant `u`, expected one of `U`, `C`, `S`"),
      value_case("classification_word", "CLASSIFICATION_TYPE", R"("US")",
                 "unknown variant `US`, expected one of `U`, `C`, `S`"),
      // Only stored text refuses an unpaired surrogate; a letter holding one is just unknown.
      value_case("classification_lone_surrogate", "CLASSIFICATION_TYPE", R"("\udc00")",
                 "unknown variant `\xEF\xBF\xBD`, expected one of `U`, `C`, `S`"),
      value_case("epoch_lone_surrogate", "EPOCH", R"("2020-07-12T01:19:0\ud800")",
                 "input contains invalid characters"),
      value_case("classification_null", "CLASSIFICATION_TYPE", "null", "invalid type: null, expected a string"),
      value_case("epoch_zone", "EPOCH", R"("2020-07-12T01:19:07Z")", "trailing input"),
      value_case("epoch_zone_after_fraction", "EPOCH", R"("2020-07-12T01:19:07.5Z")", "trailing input"),
      value_case("epoch_offset", "EPOCH", R"("2020-07-12T01:19:07+00:00")", "trailing input"),
      value_case("epoch_space", "EPOCH", R"("2020-07-12 01:19:07")", "input contains invalid characters"),
      value_case("epoch_short", "EPOCH", R"("2020-07-12T01:19")", "premature end of input"),
      value_case("epoch_bare_point", "EPOCH", R"("2020-07-12T01:19:07.")", "premature end of input"),
      value_case("epoch_date_only", "EPOCH", R"("2020-07-12")", "premature end of input"),
      value_case("epoch_february_30", "EPOCH", R"("2021-02-29T00:00:00")", "input is out of range"),
      value_case("epoch_leap_second", "EPOCH", R"("2016-12-31T23:59:60")", "input is out of range"),
      value_case("epoch_month_13", "EPOCH", R"("2020-13-01T00:00:00")", "input is out of range"),
      value_case("epoch_number", "EPOCH", "1594516747", "invalid type: number, expected a string"),
      {"missing_ephemeris_type", with_value("EPHEMERIS_TYPE", ""), "missing field `EPHEMERIS_TYPE` at " + last_line},
      {"missing_last_key", with_value("MEAN_MOTION_DDOT", ""), "missing field `MEAN_MOTION_DDOT` at " + last_line},
      {"missing_first_in_declaration_order", with_value("EPOCH", "", with_value("NORAD_CAT_ID", "")),
       "missing field `NORAD_CAT_ID` at line 17 column 2"},
      {"empty_object", "{}", "missing field `NORAD_CAT_ID` at line 1 column 3"},
      {"duplicate", R"({"EPOCH": "2020-07-12T01:19:07", "EPOCH": 1})", "duplicate field `EPOCH` at line 1 column 41"},
      {"duplicate_through_escape", R"({"BSTAR": 1, "BST\u0041R": 1})", "duplicate field `BSTAR` at line 1 column 26"},
      {"unknown_duplicates_ignored", R"({"X": 1, "X": 2, "bstar": [}]})",
       "expected value at line 1 column 28"},
      {"array_short", R"(["ISS", null, 25544])", "invalid length 3, expected struct Elements with 17 elements at line 1 column 21"},
      {"array_empty", " [ ] ", "invalid length 0, expected struct Elements with 17 elements at line 1 column 5"},
      {"array_long", kArrayRecord.substr(0, kArrayRecord.size() - 1) + ", 1, {}]",
       "invalid length 19, expected struct Elements with 17 elements at line 1 column " +
           std::to_string(kArrayRecord.size() + 8)},
      {"array_wrong_type_in_place", R"(["ISS", null, "x"])", "invalid digit found in string at line 1 column 18"},
      {"top_level_number", " 5 ", "invalid type: number, expected struct Elements at line 1 column 3"},
      {"top_level_string", R"("{}")", "invalid type: string, expected struct Elements at line 1 column 5"},
      {"top_level_null", "null", "invalid type: null, expected struct Elements at line 1 column 5"},
      {"trailing_characters", kCelestrakRecord + "\n x", "trailing characters at line 20 column 2"},
      // The first problem ends the read: text behind a record fault is never looked at.
      {"value_fault_before_a_syntax_fault", R"({"NORAD_CAT_ID": 1.5, "x": NaN})",
       "parsing the number as u64 failed at line 1 column 21"},
      {"missing_field_before_a_syntax_fault", R"({"X": 1}})", "missing field `NORAD_CAT_ID` at line 1 column 9"},
      {"top_level_type_before_a_syntax_fault", "0" + kArrayRecord,
       "invalid type: number, expected struct Elements at line 1 column 2"},
      {"short_array_before_a_syntax_fault", R"([1] [)",
       "invalid type: number, expected a string at line 1 column 3"},
      {"syntax_fault_before_a_value_fault", R"({"x": NaN, "NORAD_CAT_ID": 1.5})", "expected value at line 1 column 7"},
      {"second_document", kArrayRecord + " []", "trailing characters at line 1 column " +
                                                     std::to_string(kArrayRecord.size() + 2)},
      {"empty_text", "", "EOF while parsing a value at line 1 column 1"},
      {"whitespace_only", " \n\t", "EOF while parsing a value at line 2 column 2"},
  };
}

INSTANTIATE_TEST_SUITE_P(Record, OmmError, testing::ValuesIn(error_cases()),
                         [](const auto& info) { return info.param.name; });

// JSON syntax faults, placed inside an unknown key so that only the grammar is tested.
std::vector<ErrorCase> syntax_cases() {
  const auto in_value = [](std::string name, std::string value, std::string message, std::size_t column) {
    return ErrorCase{std::move(name), "{\"X\": " + value + "}",
                     message + " at line 1 column " + std::to_string(column + 6)};
  };
  return {
      in_value("nan_literal", "NaN", "expected value", 1),
      in_value("infinity_literal", "-Infinity", "invalid number", 2),
      in_value("leading_zero", "01", "invalid number", 2),
      in_value("leading_zero_negative", "-012", "invalid number", 3),
      in_value("plus_sign", "+1", "expected value", 1),
      in_value("bare_point", "1.", "invalid number", 3),
      in_value("point_first", ".5", "expected value", 1),
      in_value("exponent_without_digits", "1e+", "invalid number", 4),
      in_value("truncated_literal", "tru", "invalid literal", 4),
      in_value("capital_literal", "True", "expected value", 1),
      in_value("nul_in_string", std::string("\"a\0b\"", 5), "control character (\\u0000-\\u001F) found while parsing a string", 3),
      in_value("tab_in_string", "\"a\tb\"", "control character (\\u0000-\\u001F) found while parsing a string", 3),
      in_value("bad_escape", R"("\x41")", "invalid escape", 3),
      in_value("short_unicode_escape", R"("\u12G4")", "invalid \\u escape", 6),
      in_value("invalid_utf8_lead", "\"\xFF\"", "invalid UTF-8 in string", 2),
      in_value("overlong_utf8", "\"\xC0\xAF\"", "invalid UTF-8 in string", 2),
      in_value("utf8_surrogate", "\"\xED\xA0\x80\"", "invalid UTF-8 in string", 2),
      in_value("utf8_above_max", "\"\xF4\x90\x80\x80\"", "invalid UTF-8 in string", 2),
      in_value("truncated_utf8", "\"\xE2\x82\"", "invalid UTF-8 in string", 2),
      in_value("trailing_comma_array", "[1,]", "trailing comma", 4),
      in_value("trailing_comma_object", R"({"a":1,})", "trailing comma", 8),
      in_value("missing_colon", R"({"a" 1})", "expected `:`", 6),
      in_value("single_quoted_key", "{'a':1}", "key must be a string", 2),
      in_value("missing_comma_array", "[1 2]", "expected `,` or `]`", 4),
      in_value("missing_comma_object", R"({"a":1 "b":2})", "expected `,` or `}`", 8),
      in_value("comment", "/* c */ 1", "expected value", 1),
      in_value("mismatched_bracket", "[1}", "expected `,` or `]`", 3),
      {"unclosed_object", R"({"X": 1)", "EOF while parsing an object at line 1 column 8"},
      {"unclosed_array", R"({"X": [1, )", "EOF while parsing a list at line 1 column 11"},
      {"unclosed_string", R"({"X": "abc)", "EOF while parsing a string at line 1 column 11"},
      {"unclosed_key", "{\"X", "EOF while parsing a string at line 1 column 4"},
      {"eof_after_colon", "{\"X\":\n", "EOF while parsing a value at line 2 column 1"},
      {"position_counts_lines", "{\n\n  \"X\": [\n 1,\n tx]}", "invalid literal at line 5 column 3"},
      {"depth_128_is_fine_then_missing", "{\"X\":" + std::string(127, '[') + std::string(127, ']') + "}",
       "missing field `NORAD_CAT_ID` at line 1 column 261"},
      {"depth_129", "{\"X\":" + std::string(128, '[') + std::string(128, ']') + "}",
       "recursion limit exceeded at line 1 column 133"},
      {"deep_hostile_input", std::string(100000, '['), "recursion limit exceeded at line 1 column 129"},
  };
}

INSTANTIATE_TEST_SUITE_P(Syntax, OmmError, testing::ValuesIn(syntax_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(Omm, UnpairedSurrogateEscapesAreValidJsonWhereTheValueIsNotStored) {
  for (const char* value : {R"("\ud800")", R"("\udc00x")", R"("\ud800\ud800")", R"("\ud800\u0041")"}) {
    const std::string text = std::string(kCelestrakRecord).insert(1, std::string("\"NOTE\": ") + value + ", ");
    EXPECT_TRUE(sgp4::read_omm_json(text).has_value()) << value;
  }
  // A bad escape right after a high surrogate is still a syntax error.
  const auto bad = sgp4::read_omm_json(R"({"X": "\ud800\u12G4"})");
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error().text(), "invalid \\u escape at line 1 column 18");
}

TEST(Omm, AllocatesOnlyForTheRecordsOwnStrings) {
  // Short names fit the string's inline buffer; a long name costs exactly one allocation.
  const std::string long_name = with_value("OBJECT_NAME", R"("A NAME LONGER THAN THE INLINE BUFFER")");
  for (const auto& [json, expected] : {std::pair{&kCelestrakRecord, 0L}, std::pair{&kSpaceTrackRecord, 0L},
                                       std::pair{&kArrayRecord, 0L}, std::pair{&long_name, 1L}}) {
    std::expected<sgp4::Elements, sgp4::OmmError> record;
    const long allocations = test_support::allocations_during([&] { record = sgp4::read_omm_json(*json); });
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(allocations, expected) << *json;
  }
}

TEST(Omm, ErrorTextEndsWithThePosition) {
  const sgp4::OmmError error{"missing field `EPOCH`", 3, 14};
  EXPECT_EQ(error.text(), "missing field `EPOCH` at line 3 column 14");
}

}  // namespace
