// Randomised tests of the two element readers: whatever the bytes, the outcome is a record or
// an error with a sane position. Random valid JSON documents, and single-byte mutations of
// them, are checked against a separate reference validator of the JSON grammar, which finds
// the longest prefix that can still start a valid document.
#include <gtest/gtest.h>

#include <charconv>
#include <bit>
#include <cmath>
#include <random>
#include <string>

#include "sgp4/omm.hpp"
#include "sgp4/tle.hpp"

namespace {

using Random = std::mt19937_64;

std::size_t pick(Random& random, std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); }
bool chance(Random& random, double p) { return std::bernoulli_distribution(p)(random); }

// ---------------------------------------------------------------------------------------
// Reference JSON validator: plain recursive descent, written from the grammar of RFC 8259.

class Reference {
 public:
  explicit Reference(std::string_view text) : text_(text) {}

  // Offset of the first byte that cannot continue a valid document (the size at a premature
  // end), or nothing for a valid document.
  std::optional<std::size_t> first_fault() {
    ws();
    if (!value() || (ws(), pos_ != text_.size())) return pos_;
    return std::nullopt;
  }
  bool fault_inside_string_content() const { return string_fault_; }

 private:
  bool more() const { return pos_ < text_.size(); }
  char at() const { return text_[pos_]; }
  bool eat(char c) {
    if (!more() || at() != c) return false;
    ++pos_;
    return true;
  }
  void ws() {
    while (more() && std::string_view(" \t\r\n").find(at()) != std::string_view::npos) ++pos_;
  }
  bool digits() {
    const std::size_t start = pos_;
    while (more() && at() >= '0' && at() <= '9') ++pos_;
    return pos_ > start;
  }
  bool number() {
    eat('-');
    if (eat('0')) {
      if (more() && at() >= '0' && at() <= '9') return false;
    } else if (!digits()) {
      return false;
    }
    if (eat('.') && !digits()) return false;
    if (more() && (at() == 'e' || at() == 'E')) {
      ++pos_;
      if (!eat('+')) eat('-');
      if (!digits()) return false;
    }
    return true;
  }
  bool literal(std::string_view word) {
    for (const char c : word)
      if (!eat(c)) return false;
    return true;
  }
  bool string() {
    if (!eat('"')) return false;
    while (more() && at() != '"') {
      const auto c = static_cast<unsigned char>(at());
      if (c < 0x20) return false;
      // Escapes and UTF-8 are checked as whole units by decoding them; their fault offsets
      // follow the reader's own convention, so they are compared for validity only.
      if (c == '\\' || c >= 0x80) {
        if (!string_unit()) return string_fault_ = true, false;
      } else {
        ++pos_;
      }
    }
    return eat('"');
  }
  bool string_unit() {
    std::u32string decoded;
    if (at() == '\\') {
      ++pos_;
      if (!more()) return false;
      const char c = at();
      ++pos_;
      if (std::string_view("\"\\/bfnrt").find(c) != std::string_view::npos) return true;
      if (c != 'u') return false;
      // Any four hex digits: the grammar admits unpaired surrogates.
      return hex4().has_value();
    }
    // UTF-8: decode, then reject overlong forms, surrogates and values above U+10FFFF.
    const auto lead = static_cast<unsigned char>(at());
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead >= 0xF8 || text_.size() - pos_ < std::size_t(length)) return false;
    char32_t code_point = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const auto byte = static_cast<unsigned char>(text_[pos_ + std::size_t(k)]);
      if ((byte & 0xC0) != 0x80) return false;
      code_point = (code_point << 6) | (byte & 0x3F);
    }
    const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code_point < minimum[length] || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF))
      return false;
    pos_ += std::size_t(length);
    return true;
  }
  std::optional<unsigned> hex4() {
    if (text_.size() - pos_ < 4) return std::nullopt;
    unsigned value = 0;
    const auto result = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, value, 16);
    if (result.ptr != text_.data() + pos_ + 4 || text_[pos_] == '-' || text_[pos_] == '+') return std::nullopt;
    pos_ += 4;
    return value;
  }
  template <class Member>
  bool sequence(char close, Member member) {
    ws();
    if (eat(close)) return true;
    while (true) {
      ws();
      if (!(this->*member)()) return false;
      ws();
      if (eat(close)) return true;
      if (!eat(',')) return false;
      ws();
    }
  }
  bool member() {
    if (!string()) return false;
    ws();
    if (!eat(':')) return false;
    ws();
    return value();
  }
  bool value() {
    if (!more()) return false;
    switch (at()) {
      case '{': ++pos_; return sequence('}', &Reference::member);
      case '[': ++pos_; return sequence(']', &Reference::value);
      case '"': return string();
      case 't': return literal("true");
      case 'f': return literal("false");
      case 'n': return literal("null");
      default: return number();
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool string_fault_ = false;
};

// ---------------------------------------------------------------------------------------
// Random valid JSON.

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6)), out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12)), out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18)), out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
  }
}

char32_t random_code_point(Random& random) {
  switch (pick(random, 4)) {
    case 0: return char32_t(pick(random, 0x80));
    case 1: return char32_t(0x80 + pick(random, 0x800 - 0x80));
    case 2: {
      char32_t c = char32_t(0x800 + pick(random, 0x10000 - 0x800));
      return c >= 0xD800 && c <= 0xDFFF ? c + 0x800 : c;
    }
    default: return char32_t(0x10000 + pick(random, 0x110000 - 0x10000));
  }
}

// Encodes one code point inside a JSON string, choosing at random among its valid spellings.
void append_json_char(std::string& out, char32_t c, Random& random) {
  const auto u_escape = [&out](unsigned unit) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
  };
  const std::string_view shorts = "\"\\/\b\f\n\r\t";
  const std::string_view short_letters = "\"\\/bfnrt";
  if (c < 0x80 && shorts.find(char(c)) != std::string_view::npos && chance(random, 0.7)) {
    out += '\\';
    out += short_letters[shorts.find(char(c))];
  } else if (c < 0x20 || c == '"' || c == '\\' || chance(random, 0.2)) {
    if (c >= 0x10000) {
      u_escape(0xD800 + ((c - 0x10000) >> 10));
      u_escape(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      u_escape(unsigned(c));
    }
  } else {
    append_utf8(out, c);
  }
}

void append_whitespace(std::string& out, Random& random) {
  while (chance(random, 0.2)) out += " \t\r\n"[pick(random, 4)];
}

void append_number(std::string& out, Random& random) {
  if (chance(random, 0.3)) out += '-';
  if (chance(random, 0.2)) {
    out += '0';
  } else {
    out += char('1' + pick(random, 9));
    for (std::size_t n = pick(random, 6); n > 0; --n) out += char('0' + pick(random, 10));
  }
  if (chance(random, 0.4)) {
    out += '.';
    for (std::size_t n = 1 + pick(random, 5); n > 0; --n) out += char('0' + pick(random, 10));
  }
  if (chance(random, 0.3)) {
    out += "eE"[pick(random, 2)];
    if (chance(random, 0.6)) out += "+-"[pick(random, 2)];
    for (std::size_t n = 1 + pick(random, 3); n > 0; --n) out += char('0' + pick(random, 10));
  }
}

void append_string(std::string& out, Random& random) {
  out += '"';
  for (std::size_t n = pick(random, 8); n > 0; --n) append_json_char(out, random_code_point(random), random);
  out += '"';
}

void append_value(std::string& out, Random& random, int depth) {
  append_whitespace(out, random);
  const std::size_t kind = pick(random, depth > 4 ? 4 : 6);
  switch (kind) {
    case 0: out += std::array<const char*, 3>{"true", "false", "null"}[pick(random, 3)]; break;
    case 1: append_number(out, random); break;
    case 2:
    case 3: append_string(out, random); break;
    default: {
      const bool object = kind == 4;
      out += object ? '{' : '[';
      for (std::size_t n = pick(random, 5), i = 0; i < n; ++i) {
        if (i > 0) out += ',';
        if (object) {
          append_whitespace(out, random);
          append_string(out, random);
          append_whitespace(out, random);
          out += ':';
        }
        append_value(out, random, depth + 1);
      }
      append_whitespace(out, random);
      out += object ? '}' : ']';
    }
  }
  append_whitespace(out, random);
}

// One random edit: replace, insert or delete a byte, favouring the bytes that matter to JSON.
std::string mutated(std::string text, Random& random) {
  constexpr std::string_view kInteresting = "{}[]\",:\\ 0123456789.eE+-tfnul\x01\xC3\xA9\xED\xF4\xFF";
  const char byte = chance(random, 0.8) ? kInteresting[pick(random, kInteresting.size())] : char(pick(random, 256));
  const std::size_t at = pick(random, text.size() + 1);
  switch (pick(random, 3)) {
    case 0:
      if (at < text.size()) text[at] = byte;
      break;
    case 1: text.insert(at, 1, byte); break;
    default:
      if (at < text.size()) text.erase(at, 1);
  }
  return text;
}

// ---------------------------------------------------------------------------------------

// An error's position must lie inside the text or one past its end.
void expect_position_inside(std::string_view text, const sgp4::OmmError& error) {
  ASSERT_GE(error.line, 1u);
  ASSERT_GE(error.column, 1u);
  std::size_t line_start = 0;
  for (std::size_t line = 1; line < error.line; ++line) {
    line_start = text.find('\n', line_start);
    ASSERT_NE(line_start, std::string_view::npos) << error.text();
    ++line_start;
  }
  const std::size_t line_end = std::min(text.find('\n', line_start), text.size());
  EXPECT_LE(line_start + error.column - 1, line_end) << error.text();
}

std::size_t offset_of(std::string_view text, const sgp4::OmmError& error) {
  std::size_t line_start = 0;
  for (std::size_t line = 1; line < error.line; ++line) line_start = text.find('\n', line_start) + 1;
  return line_start + error.column - 1;
}

TEST(ParserFuzz, ValidJsonDocumentsAreReadToTheEnd) {
  Random random(20240611);
  for (int i = 0; i < 20000; ++i) {
    std::string document;
    append_value(document, random, 0);
    const std::string json = "{\"X\":" + document + "}";
    ASSERT_FALSE(Reference(json).first_fault().has_value()) << json;
    const auto record = sgp4::read_omm_json(json);
    ASSERT_FALSE(record.has_value());
    ASSERT_TRUE(record.error().message.starts_with("missing field `NORAD_CAT_ID`")) << json << "\n" << record.error().text();
    EXPECT_EQ(offset_of(json, record.error()), json.size()) << json;
  }
}

TEST(ParserFuzz, MutatedJsonIsRejectedExactlyWhereTheGrammarFails) {
  Random random(7);
  int invalid = 0;
  for (int i = 0; i < 60000; ++i) {
    std::string document;
    append_value(document, random, 0);
    const std::string json = "{\"X\":" + mutated(document, random) + "}";
    Reference reference(json);
    const auto fault = reference.first_fault();
    const auto record = sgp4::read_omm_json(json);
    ASSERT_FALSE(record.has_value());
    const sgp4::OmmError& error = record.error();
    expect_position_inside(json, error);
    // A record fault may be met before a later syntax fault (a '}' inserted early closes the
    // object and leaves the rest unread), but never after one.
    const bool record_fault = error.message.starts_with("missing field") ||
                              error.message.starts_with("duplicate field");
    if (record_fault) {
      EXPECT_GE(fault.value_or(json.size()), offset_of(json, error)) << json << "\n" << error.text();
      continue;
    }
    ASSERT_TRUE(fault.has_value()) << json << "\n" << error.text();
    ++invalid;
    if (!reference.fault_inside_string_content()) {
      EXPECT_EQ(offset_of(json, error), *fault) << json << "\n" << error.text();
    }
  }
  EXPECT_GT(invalid, 10000);  // the mutations do reach the error paths
}

TEST(ParserFuzz, StringsDecodeToTheTextTheyEncode) {
  Random random(99);
  for (int i = 0; i < 20000; ++i) {
    std::string expected;
    std::string encoded = "\"";
    for (std::size_t n = pick(random, 12); n > 0; --n) {
      const char32_t c = random_code_point(random);
      append_utf8(expected, c);
      append_json_char(encoded, c, random);
    }
    encoded += '"';
    const std::string json = R"({"OBJECT_NAME":)" + encoded + R"(,"NORAD_CAT_ID":1,"CLASSIFICATION_TYPE":"U",)"
                             R"("EPOCH":"2020-01-01T00:00:00","MEAN_MOTION_DOT":0,"MEAN_MOTION_DDOT":0,"BSTAR":0,)"
                             R"("ELEMENT_SET_NO":0,"INCLINATION":0,"RA_OF_ASC_NODE":0,"ECCENTRICITY":0,)"
                             R"("ARG_OF_PERICENTER":0,"MEAN_ANOMALY":0,"MEAN_MOTION":15,"REV_AT_EPOCH":0,)"
                             R"("EPHEMERIS_TYPE":0})";
    const auto record = sgp4::read_omm_json(json);
    ASSERT_TRUE(record.has_value()) << json << "\n" << record.error().text();
    ASSERT_EQ(record->object_name, expected) << json;
  }
}

TEST(ParserFuzz, NumbersRoundTripAsJsonNumbersAndStrings) {
  Random random(3);
  for (int i = 0; i < 20000; ++i) {
    const double value = std::bit_cast<double>(random());
    const std::uint64_t count = random() >> pick(random, 64);
    if (!std::isfinite(value)) continue;
    char text[40];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    const std::string number(text, end);
    const std::string quoted = "\"" + number + "\"";
    const std::string count_text = std::to_string(count);
    for (const auto& [value_text, count_json] : {std::pair{number, count_text}, std::pair{quoted, "\"" + count_text + "\""}}) {
      const std::string json = "[null,null," + count_json + R"(,"S","2020-01-01T00:00:00",)" + value_text +
                               ",0,0,0,0,0,0,0,0,0,0,0]";
      const auto record = sgp4::read_omm_json(json);
      ASSERT_TRUE(record.has_value()) << json << "\n" << record.error().text();
      ASSERT_EQ(record->mean_motion_dot, value) << json;
      ASSERT_EQ(record->norad_id, count) << json;
    }
  }
}

constexpr std::string_view kTleLine1 = "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927";
constexpr std::string_view kTleLine2 = "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537";

void fix_checksum(std::string& line) {
  if (line.size() != 69) return;
  unsigned sum = 0;
  for (std::size_t i = 0; i < 68; ++i) sum += line[i] == '-' ? 1 : (line[i] >= '0' && line[i] <= '9') ? unsigned(line[i] - '0') : 0;
  line[68] = char('0' + sum % 10);
}

void expect_tle_outcome_sane(const std::string& line_1, const std::string& line_2) {
  const auto parsed = sgp4::parse_tle("fuzz", line_1, line_2);
  if (parsed) {
    EXPECT_LE(parsed->norad_id, 339999u);
    EXPECT_GE(parsed->eccentricity, 0.0);
    EXPECT_LT(parsed->eccentricity, 1.0);
    EXPECT_LE(parsed->ephemeris_type, 9u);
    EXPECT_GE(parsed->epoch.unix_seconds, -410227200);  // 1957-01-01
    EXPECT_LT(parsed->epoch.unix_seconds, 2746569600);  // 2057-01-01
    EXPECT_LT(parsed->epoch.nanosecond, 1'000'000'000u);
    return;
  }
  const auto& error = parsed.error();
  const std::size_t length = error.which == sgp4::TleError::Which::Line2 ? line_2.size() : line_1.size();
  EXPECT_LE(error.start, error.end) << error.text();
  EXPECT_TRUE(error.start < error.end || error.what == sgp4::TleError::What::BadLength) << error.text();
  EXPECT_LE(error.end, std::max<std::size_t>(length, 69)) << error.text();
  EXPECT_TRUE(error.text().starts_with("TLE parse error: ")) << error.text();
}

TEST(ParserFuzz, MutatedTleLinesGiveARecordOrAnError) {
  Random random(11);
  constexpr std::string_view kTleBytes = " 0123456789.+-ABCIOSUZ\xFF";
  int parsed_count = 0;
  for (int i = 0; i < 100000; ++i) {
    std::string lines[2] = {std::string(kTleLine1), std::string(kTleLine2)};
    for (std::size_t edits = 1 + pick(random, 3); edits > 0; --edits) {
      std::string& line = lines[pick(random, 2)];
      line[pick(random, 69)] = chance(random, 0.9) ? kTleBytes[pick(random, kTleBytes.size())] : char(pick(random, 256));
    }
    if (chance(random, 0.8)) fix_checksum(lines[0]), fix_checksum(lines[1]);
    if (chance(random, 0.05)) lines[pick(random, 2)].resize(pick(random, 80), ' ');
    expect_tle_outcome_sane(lines[0], lines[1]);
    parsed_count += sgp4::parse_tle("", lines[0], lines[1]).has_value();
  }
  EXPECT_GT(parsed_count, 1000);  // edits that keep a valid record are exercised too
}

TEST(ParserFuzz, RandomBytesGiveARecordOrAnError) {
  Random random(5);
  for (int i = 0; i < 50000; ++i) {
    std::string bytes(chance(random, 0.5) ? 69 : pick(random, 200), '\0');
    for (char& c : bytes) c = char(pick(random, 256));
    std::string other(69, ' ');
    for (char& c : other) c = char(pick(random, 256));
    expect_tle_outcome_sane(bytes, other);
    const auto record = sgp4::read_omm_json(bytes);
    if (!record) expect_position_inside(bytes, record.error());
  }
}

// Faults inside a string's escapes or UTF-8 are positioned by the reader's own convention.
bool is_string_content_fault(std::string_view message) {
  for (const std::string_view start : {"invalid escape", "invalid \\u escape", "lone surrogate", "invalid UTF-8"})
    if (message.starts_with(start)) return true;
  return false;
}

TEST(ParserFuzz, MutatedOmmRecordsGiveARecordOrAnError) {
  const std::string record =
      R"({"OBJECT_NAME":"ISS","OBJECT_ID":"1998-067A","EPOCH":"2020-07-12T01:19:07.402656","MEAN_MOTION":"15.49560532",)"
      R"("ECCENTRICITY":0.0001771,"INCLINATION":51.6435,"RA_OF_ASC_NODE":225.4004,"ARG_OF_PERICENTER":44.9625,)"
      R"("MEAN_ANOMALY":5.1087,"EPHEMERIS_TYPE":0,"CLASSIFICATION_TYPE":"U","NORAD_CAT_ID":25544,)"
      R"("ELEMENT_SET_NO":999,"REV_AT_EPOCH":23587,"BSTAR":0.0049645,"MEAN_MOTION_DOT":0.00289036,"MEAN_MOTION_DDOT":0})";
  ASSERT_TRUE(sgp4::read_omm_json(record).has_value());
  Random random(13);
  int accepted = 0;
  for (int i = 0; i < 50000; ++i) {
    std::string json = record;
    for (std::size_t edits = 1 + pick(random, 3); edits > 0; --edits) json = mutated(json, random);
    const auto result = sgp4::read_omm_json(json);
    const auto fault = Reference(json).first_fault();
    if (result) {
      ++accepted;
      EXPECT_FALSE(fault.has_value()) << json;
      continue;
    }
    expect_position_inside(json, result.error());
    // The first problem ends the read: a record fault sits before the grammar's first fault,
    // never past it.
    if (fault && !is_string_content_fault(result.error().message)) {
      EXPECT_LE(offset_of(json, result.error()), *fault) << json << "\n" << result.error().text();
    }
  }
  EXPECT_GT(accepted, 1000);
}

}  // namespace
