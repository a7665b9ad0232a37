// Reading one OMM record from JSON text. The contract, including where each error is
// positioned, is in sgp4/omm.hpp; a top-level value that is neither object nor array counts
// as a value fault there. An array with more than 17 values is rejected like one with too
// few, with the count of values found: reading only the first 17 would silently drop data.
//
// Decisions on values:
// - EPOCH is "YYYY-MM-DDTHH:MM:SS" with an optional '.' and 1 or more fraction digits; digits
//   past the ninth (below a nanosecond) are truncated. No zone designator is accepted. Faults:
//   "premature end of input" (text stops early), "input contains invalid characters" (a byte
//   off the pattern), "trailing input" (anything after the seconds or fraction, such as "Z"),
//   "input is out of range" (no such date or time, or year 0000, which no datetime can show;
//   there are no leap seconds).
// - A float string follows the usual float-from-string grammar: optional sign, decimal with
//   optional exponent, or "inf", "infinity", "nan" in any letter case; out of range gives
//   infinity or zero. A JSON number beyond the double range is rejected ("number out of
//   range") rather than read as infinity.
// - A JSON number for EPHEMERIS_TYPE above 255 is "number too large to fit in target type".
#include "sgp4/omm.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "json_reader.hpp"
#include "number_text.hpp"
#include "sgp4/civil.hpp"
#include "sgp4/format.hpp"

namespace sgp4 {
namespace {

enum class Key : std::uint8_t {
  ObjectName, ObjectId, NoradCatId, ClassificationType, Epoch, MeanMotionDot, MeanMotionDdot, Bstar,
  ElementSetNo, Inclination, RaOfAscNode, Eccentricity, ArgOfPericenter, MeanAnomaly, MeanMotion,
  RevAtEpoch, EphemerisType,
};
constexpr std::size_t kKeyCount = 17;

// In the record's declaration order, which is also the order of the array form.
constexpr std::array<std::string_view, kKeyCount> kKeyNames = {
    "OBJECT_NAME",    "OBJECT_ID",         "NORAD_CAT_ID", "CLASSIFICATION_TYPE", "EPOCH",
    "MEAN_MOTION_DOT", "MEAN_MOTION_DDOT", "BSTAR",        "ELEMENT_SET_NO",      "INCLINATION",
    "RA_OF_ASC_NODE", "ECCENTRICITY",      "ARG_OF_PERICENTER", "MEAN_ANOMALY",   "MEAN_MOTION",
    "REV_AT_EPOCH",   "EPHEMERIS_TYPE",
};

constexpr bool is_optional(Key key) { return key == Key::ObjectName || key == Key::ObjectId; }

// Records carry many keys besides ours, so most lookups should fail fast: keys are bucketed by
// length, and no bucket holds more than four.
constexpr std::size_t kLongestKey = 19;
constexpr std::size_t kBucketSize = 4;
constexpr auto kKeysByLength = [] {
  std::array<std::array<std::int8_t, kBucketSize>, kLongestKey + 1> buckets{};
  for (auto& bucket : buckets) bucket.fill(-1);
  for (std::size_t i = 0; i < kKeyCount; ++i) {
    auto& bucket = buckets[kKeyNames[i].size()];
    *std::find(bucket.begin(), bucket.end(), -1) = std::int8_t(i);
  }
  return buckets;
}();

std::optional<Key> find_key(std::string_view name) {
  if (name.size() > kLongestKey) return std::nullopt;
  for (const std::int8_t index : kKeysByLength[name.size()]) {
    if (index < 0) break;
    if (kKeyNames[std::size_t(index)] == name) return Key(index);
  }
  return std::nullopt;
}

// A problem with a value; the position is filled in from the reader's offset.
struct Problem {
  std::string message;
  std::size_t offset;
};

template <class T>
using Read = std::expected<T, Problem>;

std::unexpected<Problem> syntax(const json::SyntaxError& e) {
  return std::unexpected(Problem{e.message, e.offset});
}

std::string_view kind_name(json::ValueKind kind) {
  switch (kind) {
    case json::ValueKind::Object: return "map";
    case json::ValueKind::Array: return "sequence";
    case json::ValueKind::String: return "string";
    case json::ValueKind::Number: return "number";
    case json::ValueKind::True: return "boolean `true`";
    case json::ValueKind::False: return "boolean `false`";
    case json::ValueKind::Null: return "null";
  }
  return "";
}

// Skips the value of the wrong type, then reports it just after it.
std::unexpected<Problem> wrong_type(json::Reader& reader, std::string message) {
  if (auto skipped = reader.skip_value(); !skipped) return syntax(skipped.error());
  return std::unexpected(Problem{std::move(message), reader.offset()});
}

std::unexpected<Problem> invalid_type(json::Reader& reader, json::ValueKind kind, std::string_view expected) {
  std::string message = "invalid type: ";
  message.append(kind_name(kind)).append(", expected ").append(expected);
  return wrong_type(reader, std::move(message));
}

const char* integer_text_error(number_text::IntegerTextError error) {
  switch (error) {
    case number_text::IntegerTextError::Empty: return "cannot parse integer from empty string";
    case number_text::IntegerTextError::InvalidDigit: return "invalid digit found in string";
    case number_text::IntegerTextError::TooLarge: return "number too large to fit in target type";
  }
  return "";
}

Read<std::uint64_t> read_unsigned(json::Reader& reader, std::uint64_t max) {
  const auto kind = reader.peek_value();
  if (!kind) return syntax(kind.error());
  if (*kind == json::ValueKind::Number) {
    const auto number = reader.read_number();
    if (!number) return syntax(number.error());
    const auto fail = [&](const char* message) { return std::unexpected(Problem{message, reader.offset()}); };
    if (number->negative || !number->integer) return fail("parsing the number as u64 failed");
    std::uint64_t value = 0;
    const auto digits = number->magnitude;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec != std::errc{}) return fail("parsing the number as u64 failed");
    if (value > max) return fail("number too large to fit in target type");
    return value;
  }
  if (*kind == json::ValueKind::String) {
    const auto token = reader.read_string();
    if (!token) return syntax(token.error());
    std::string scratch;
    const auto value = number_text::parse_unsigned(json::decoded(*token, scratch), max);
    if (!value) return std::unexpected(Problem{integer_text_error(value.error()), reader.offset()});
    return *value;
  }
  return wrong_type(reader, "expected a u64 or string");
}

Read<double> read_float(json::Reader& reader) {
  const auto kind = reader.peek_value();
  if (!kind) return syntax(kind.error());
  if (*kind == json::ValueKind::Number) {
    const auto number = reader.read_number();
    if (!number) return syntax(number.error());
    const double magnitude = number_text::unsigned_decimal_to_double(number->magnitude);
    if (std::isinf(magnitude)) return std::unexpected(Problem{"number out of range", reader.offset()});
    return number->negative ? -magnitude : magnitude;
  }
  if (*kind == json::ValueKind::String) {
    const auto token = reader.read_string();
    if (!token) return syntax(token.error());
    std::string scratch;
    const auto value = number_text::parse_float(json::decoded(*token, scratch));
    if (!value) {
      const bool empty = value.error() == number_text::FloatTextError::Empty;
      return std::unexpected(
          Problem{empty ? "cannot parse float from empty string" : "invalid float literal", reader.offset()});
    }
    return *value;
  }
  return wrong_type(reader, "expected a f64 or string");
}

// A value that must be a JSON string; other types are reported as expecting one.
Read<json::StringToken> read_string_token(json::Reader& reader) {
  const auto kind = reader.peek_value();
  if (!kind) return syntax(kind.error());
  if (*kind != json::ValueKind::String) return invalid_type(reader, *kind, "a string");
  const auto token = reader.read_string();
  if (!token) return syntax(token.error());
  return *token;
}

Read<std::optional<std::string>> read_optional_text(json::Reader& reader) {
  const auto kind = reader.peek_value();
  if (!kind) return syntax(kind.error());
  if (*kind == json::ValueKind::Null) {
    if (auto null = reader.read_literal(*kind); !null) return syntax(null.error());
    return std::nullopt;
  }
  const auto token = read_string_token(reader);
  if (!token) return std::unexpected(token.error());
  // Valid JSON, but not text that can be stored: refuse rather than alter the name.
  if (token->has_lone_surrogate)
    return std::unexpected(Problem{"invalid unicode code point: lone surrogate in \\u escape", reader.offset()});
  std::string text;
  json::append_decoded(text, *token);
  return text;
}

Read<Classification> read_classification(json::Reader& reader) {
  const auto token = read_string_token(reader);
  if (!token) return std::unexpected(token.error());
  // Nothing is stored, so an unpaired surrogate (decoded as U+FFFD) is just another unknown letter.
  std::string scratch;
  const std::string_view letter = json::decoded(*token, scratch);
  if (letter == "U") return Classification::Unclassified;
  if (letter == "C") return Classification::Classified;
  if (letter == "S") return Classification::Secret;
  return std::unexpected(
      Problem{"unknown variant `" + std::string(letter) + "`, expected one of `U`, `C`, `S`", reader.offset()});
}

// "YYYY-MM-DDTHH:MM:SS" then optionally '.' and fraction digits, nothing else.
std::expected<UtcInstant, const char*> parse_epoch(std::string_view text) {
  constexpr std::string_view kPattern = "dddd-dd-ddTdd:dd:dd";
  for (std::size_t i = 0; i < kPattern.size(); ++i) {
    if (i >= text.size()) return std::unexpected("premature end of input");
    const bool digit_wanted = kPattern[i] == 'd';
    if (digit_wanted ? !number_text::is_digit(text[i]) : text[i] != kPattern[i])
      return std::unexpected("input contains invalid characters");
  }
  const auto number = [text](std::size_t start, std::size_t length) {
    unsigned value = 0;
    for (std::size_t i = start; i < start + length; ++i) value = value * 10 + unsigned(text[i] - '0');
    return value;
  };
  std::uint32_t nanosecond = 0;
  std::string_view rest = text.substr(kPattern.size());
  if (!rest.empty()) {
    if (rest.front() != '.') return std::unexpected("trailing input");
    rest.remove_prefix(1);
    std::size_t digits = 0;
    while (digits < rest.size() && number_text::is_digit(rest[digits])) ++digits;
    if (digits == 0) return std::unexpected(rest.empty() ? "premature end of input" : "input contains invalid characters");
    if (digits < rest.size()) return std::unexpected("trailing input");
    for (std::size_t i = 0; i < 9; ++i) nanosecond = nanosecond * 10 + (i < digits ? std::uint32_t(rest[i] - '0') : 0);
  }
  const unsigned year = number(0, 4), month = number(5, 2), day = number(8, 2);
  const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  // Year 0 has no datetime: a record read must be one whose epoch can be shown.
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > civil::days_in_month(year, month) || hour > 23 || minute > 59 ||
      second > 59)
    return std::unexpected("input is out of range");
  const std::int64_t days = civil::days_from_civil(year, month, day);
  return UtcInstant{days * 86'400 + std::int64_t(hour * 3600 + minute * 60 + second), nanosecond};
}

Read<UtcInstant> read_epoch(json::Reader& reader) {
  const auto token = read_string_token(reader);
  if (!token) return std::unexpected(token.error());
  std::string scratch;
  const auto epoch = parse_epoch(json::decoded(*token, scratch));
  if (!epoch) return std::unexpected(Problem{epoch.error(), reader.offset()});
  return *epoch;
}

template <class T, class U>
Read<void> store(T& target, Read<U> value) {
  if (!value) return std::unexpected(std::move(value.error()));
  target = static_cast<T>(std::move(*value));
  return {};
}

Read<void> read_field(json::Reader& reader, Key key, Elements& out) {
  switch (key) {
    case Key::ObjectName: return store(out.object_name, read_optional_text(reader));
    case Key::ObjectId: return store(out.international_designator, read_optional_text(reader));
    case Key::NoradCatId: return store(out.norad_id, read_unsigned(reader, UINT64_MAX));
    case Key::ClassificationType: return store(out.classification, read_classification(reader));
    case Key::Epoch: return store(out.epoch, read_epoch(reader));
    case Key::MeanMotionDot: return store(out.mean_motion_dot, read_float(reader));
    case Key::MeanMotionDdot: return store(out.mean_motion_ddot, read_float(reader));
    case Key::Bstar: return store(out.drag_term, read_float(reader));
    case Key::ElementSetNo: return store(out.element_set_number, read_unsigned(reader, UINT64_MAX));
    case Key::Inclination: return store(out.inclination, read_float(reader));
    case Key::RaOfAscNode: return store(out.right_ascension, read_float(reader));
    case Key::Eccentricity: return store(out.eccentricity, read_float(reader));
    case Key::ArgOfPericenter: return store(out.argument_of_perigee, read_float(reader));
    case Key::MeanAnomaly: return store(out.mean_anomaly, read_float(reader));
    case Key::MeanMotion: return store(out.mean_motion, read_float(reader));
    case Key::RevAtEpoch: return store(out.revolution_number, read_unsigned(reader, UINT64_MAX));
    case Key::EphemerisType: return store(out.ephemeris_type, read_unsigned(reader, 255));
  }
  return {};
}

Read<Elements> read_object(json::Reader& reader) {
  if (auto begin = reader.begin_object(); !begin) return syntax(begin.error());
  Elements out;
  std::uint32_t seen = 0;
  std::string scratch;
  for (bool first = true;; first = false) {
    const auto token = reader.next_key(first);
    if (!token) return syntax(token.error());
    if (!token->has_value()) break;
    const std::string_view name = json::decoded(**token, scratch);
    const auto key = find_key(name);
    const std::uint32_t bit = key ? std::uint32_t{1} << unsigned(*key) : 0;
    if (seen & bit) return std::unexpected(Problem{"duplicate field `" + std::string(name) + "`", reader.offset()});
    seen |= bit;
    if (auto colon = reader.read_colon(); !colon) return syntax(colon.error());
    if (!key) {
      if (auto skipped = reader.skip_value(); !skipped) return syntax(skipped.error());
    } else if (auto field = read_field(reader, *key, out); !field) {
      return std::unexpected(std::move(field.error()));
    }
  }
  for (std::size_t i = 0; i < kKeyCount; ++i)
    if (!is_optional(Key(i)) && !(seen & (std::uint32_t{1} << i)))
      return std::unexpected(Problem{"missing field `" + std::string(kKeyNames[i]) + "`", reader.offset()});
  return out;
}

std::string invalid_length(std::size_t count) {
  std::string text = "invalid length ";
  append_unsigned(text, count);
  return text + ", expected struct Elements with 17 elements";
}

Read<Elements> read_array(json::Reader& reader) {
  if (auto begin = reader.begin_array(); !begin) return syntax(begin.error());
  Elements out;
  std::size_t count = 0;
  for (;; ++count) {
    const auto more = reader.next_element(count == 0);
    if (!more) return syntax(more.error());
    if (!*more) break;
    if (count >= kKeyCount) {
      if (auto skipped = reader.skip_value(); !skipped) return syntax(skipped.error());
    } else if (auto field = read_field(reader, Key(count), out); !field) {
      return std::unexpected(std::move(field.error()));
    }
  }
  if (count != kKeyCount) return std::unexpected(Problem{invalid_length(count), reader.offset()});
  return out;
}

Read<Elements> read_document(json::Reader& reader) {
  const auto kind = reader.peek_value();
  if (!kind) return syntax(kind.error());
  Read<Elements> record = *kind == json::ValueKind::Object  ? read_object(reader)
                          : *kind == json::ValueKind::Array ? read_array(reader)
                                                            : invalid_type(reader, *kind, "struct Elements");
  if (!record) return record;
  if (auto end = reader.finish(); !end) return syntax(end.error());
  return record;
}

}  // namespace

std::string OmmError::text() const {
  std::string out = message + " at line ";
  append_unsigned(out, line);
  out += " column ";
  append_unsigned(out, column);
  return out;
}

std::expected<Elements, OmmError> read_omm_json(std::string_view json) {
  json::Reader reader(json);
  auto record = read_document(reader);
  if (record) return std::move(*record);
  Problem problem = std::move(record.error());
  const auto position = json::position_of(json, problem.offset);
  return std::unexpected(OmmError{std::move(problem.message), position.line, position.column});
}

}  // namespace sgp4
