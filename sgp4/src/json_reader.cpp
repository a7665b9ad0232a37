#include "json_reader.hpp"

#include <algorithm>

#include "number_text.hpp"

namespace sgp4::json {
namespace {

constexpr const char* kEofInValue = "EOF while parsing a value";
constexpr const char* kEofInString = "EOF while parsing a string";
constexpr const char* kEofInObject = "EOF while parsing an object";
constexpr const char* kEofInList = "EOF while parsing a list";
constexpr const char* kInvalidNumber = "invalid number";
constexpr const char* kInvalidUtf8 = "invalid UTF-8 in string";

using number_text::is_digit;

// Bytes that stand for themselves inside a string: printable ASCII except '"' and '\\'.
constexpr auto kPlainStringByte = [] {
  std::array<bool, 256> plain{};
  for (unsigned byte = 0x20; byte < 0x80; ++byte) plain[byte] = byte != '"' && byte != '\\';
  return plain;
}();

constexpr int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr bool is_high_surrogate(unsigned u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool is_low_surrogate(unsigned u) { return u >= 0xDC00 && u <= 0xDFFF; }

unsigned hex4_at(std::string_view raw, std::size_t i) {
  unsigned value = 0;
  for (std::size_t k = 0; k < 4; ++k) value = value * 16 + unsigned(hex_value(raw[i + k]));
  return value;
}

void append_utf8(std::string& out, unsigned code_point) {
  if (code_point < 0x80) {
    out += char(code_point);
  } else if (code_point < 0x800) {
    out += char(0xC0 | (code_point >> 6));
    out += char(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += char(0xE0 | (code_point >> 12));
    out += char(0x80 | ((code_point >> 6) & 0x3F));
    out += char(0x80 | (code_point & 0x3F));
  } else {
    out += char(0xF0 | (code_point >> 18));
    out += char(0x80 | ((code_point >> 12) & 0x3F));
    out += char(0x80 | ((code_point >> 6) & 0x3F));
    out += char(0x80 | (code_point & 0x3F));
  }
}

char simple_escape(char c) {
  switch (c) {
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return c;  // '"', '\\' and '/' stand for themselves
  }
}

template <class T>
Result<void> discard(const Result<T>& result) {
  if (!result) return std::unexpected(result.error());
  return {};
}

}  // namespace

TextPosition position_of(std::string_view text, std::size_t offset) {
  const std::string_view before = text.substr(0, std::min(offset, text.size()));
  const std::size_t line = 1 + std::size_t(std::count(before.begin(), before.end(), '\n'));
  const std::size_t last_newline = before.rfind('\n');
  const std::size_t line_start = last_newline == std::string_view::npos ? 0 : last_newline + 1;
  return {line, offset - line_start + 1};
}

void append_decoded(std::string& out, StringToken token) {
  const std::string_view raw = token.raw;
  for (std::size_t i = 0; i < raw.size();) {
    if (raw[i] != '\\') {
      const std::size_t next = std::min(raw.find('\\', i), raw.size());
      out.append(raw.substr(i, next - i));
      i = next;
      continue;
    }
    if (raw[i + 1] != 'u') {
      out += simple_escape(raw[i + 1]);
      i += 2;
      continue;
    }
    unsigned code_point = hex4_at(raw, i + 2);
    i += 6;
    const bool paired = is_high_surrogate(code_point) && raw.substr(i, 2) == "\\u" &&
                        is_low_surrogate(hex4_at(raw, i + 2));
    if (paired) {
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (hex4_at(raw, i + 2) - 0xDC00);
      i += 6;
    } else if (is_high_surrogate(code_point) || is_low_surrogate(code_point)) {
      code_point = 0xFFFD;
    }
    append_utf8(out, code_point);
  }
}

std::string_view decoded(StringToken token, std::string& scratch) {
  if (!token.has_escapes) return token.raw;
  scratch.clear();
  append_decoded(scratch, token);
  return scratch;
}

void Reader::skip_whitespace() {
  while (!at_end() && (current() == ' ' || current() == '\n' || current() == '\r' || current() == '\t')) ++pos_;
}

Result<ValueKind> Reader::peek_value() {
  skip_whitespace();
  if (at_end()) return fail(kEofInValue);
  switch (current()) {
    case '{': return ValueKind::Object;
    case '[': return ValueKind::Array;
    case '"': return ValueKind::String;
    case 't': return ValueKind::True;
    case 'f': return ValueKind::False;
    case 'n': return ValueKind::Null;
    default: break;
  }
  if (current() == '-' || is_digit(current())) return ValueKind::Number;
  return fail("expected value");
}

Result<StringToken> Reader::read_string() {
  ++pos_;  // opening quote
  const std::size_t start = pos_;
  bool has_escapes = false;
  bool has_lone_surrogate = false;
  while (true) {
    while (pos_ < text_.size() && kPlainStringByte[static_cast<unsigned char>(text_[pos_])]) ++pos_;
    if (at_end()) return fail(kEofInString);
    const auto byte = static_cast<unsigned char>(current());
    if (byte == '"') break;
    if (byte < 0x20) return fail("control character (\\u0000-\\u001F) found while parsing a string");
    if (byte == '\\') {
      has_escapes = true;
      const auto lone_surrogate = read_escape();
      if (!lone_surrogate) return std::unexpected(lone_surrogate.error());
      has_lone_surrogate = has_lone_surrogate || *lone_surrogate;
    } else if (byte >= 0x80) {
      if (auto sequence = read_utf8_sequence(); !sequence) return std::unexpected(sequence.error());
    } else {
      ++pos_;
    }
  }
  const StringToken token{text_.substr(start, pos_ - start), has_escapes, has_lone_surrogate};
  ++pos_;  // closing quote
  return token;
}

Result<bool> Reader::read_escape() {
  ++pos_;  // backslash
  if (at_end()) return fail(kEofInString);
  const char c = current();
  if (c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' || c == 't') {
    ++pos_;
    return false;
  }
  if (c != 'u') return fail("invalid escape");
  ++pos_;
  const auto unit = read_hex4();
  if (!unit) return std::unexpected(unit.error());
  if (is_low_surrogate(*unit)) return true;
  if (!is_high_surrogate(*unit)) return false;
  // A high surrogate pairs only with an immediately following low-surrogate escape; anything
  // else after it is read on its own by the string loop.
  if (text_.substr(pos_, 2) != "\\u" || pos_ + 6 > text_.size()) return true;
  const std::size_t after_high = pos_;
  pos_ += 2;
  const auto low = read_hex4();
  if (!low) return std::unexpected(low.error());
  if (is_low_surrogate(*low)) return false;
  pos_ = after_high;  // not a pair: the next escape is read on its own
  return true;
}

Result<unsigned> Reader::read_hex4() {
  unsigned value = 0;
  for (int k = 0; k < 4; ++k, ++pos_) {
    if (at_end()) return fail(kEofInString);
    const int digit = hex_value(current());
    if (digit < 0) return fail("invalid \\u escape");
    value = value * 16 + unsigned(digit);
  }
  return value;
}

// Well-formed UTF-8 only: no overlong forms, no encoded surrogates, nothing above U+10FFFF.
Result<void> Reader::read_utf8_sequence() {
  const auto lead = static_cast<unsigned char>(current());
  std::size_t continuation_bytes = 0;
  unsigned char second_min = 0x80;
  unsigned char second_max = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation_bytes = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation_bytes = 2;
    if (lead == 0xE0) second_min = 0xA0;
    if (lead == 0xED) second_max = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation_bytes = 3;
    if (lead == 0xF0) second_min = 0x90;
    if (lead == 0xF4) second_max = 0x8F;
  } else {
    return fail(kInvalidUtf8);
  }
  if (text_.size() - pos_ <= continuation_bytes) return fail(kInvalidUtf8);
  for (std::size_t k = 1; k <= continuation_bytes; ++k) {
    const auto byte = static_cast<unsigned char>(text_[pos_ + k]);
    const unsigned char min = k == 1 ? second_min : 0x80;
    const unsigned char max = k == 1 ? second_max : 0xBF;
    if (byte < min || byte > max) return fail(kInvalidUtf8);
  }
  pos_ += continuation_bytes + 1;
  return {};
}

Result<NumberToken> Reader::read_number() {
  const bool negative = current() == '-';
  if (negative) ++pos_;
  const std::size_t start = pos_;
  const auto digits = [this]() -> Result<void> {
    if (at_end()) return fail(kEofInValue);
    if (!is_digit(current())) return fail(kInvalidNumber);
    while (!at_end() && is_digit(current())) ++pos_;
    return {};
  };
  if (!at_end() && current() == '0') {
    ++pos_;
    if (!at_end() && is_digit(current())) return fail(kInvalidNumber);  // leading zero
  } else if (auto whole = digits(); !whole) {
    return std::unexpected(whole.error());
  }
  bool integer = true;
  if (!at_end() && current() == '.') {
    integer = false;
    ++pos_;
    if (auto fraction = digits(); !fraction) return std::unexpected(fraction.error());
  }
  if (!at_end() && (current() == 'e' || current() == 'E')) {
    integer = false;
    ++pos_;
    if (!at_end() && (current() == '+' || current() == '-')) ++pos_;
    if (auto exponent = digits(); !exponent) return std::unexpected(exponent.error());
  }
  return NumberToken{text_.substr(start, pos_ - start), negative, integer};
}

Result<void> Reader::read_literal(ValueKind kind) {
  const std::string_view word = kind == ValueKind::True ? "true" : kind == ValueKind::False ? "false" : "null";
  for (const char expected : word) {
    if (at_end()) return fail(kEofInValue);
    if (current() != expected) return fail("invalid literal");
    ++pos_;
  }
  return {};
}

Result<void> Reader::open_container(bool is_object) {
  if (depth_ == kMaxDepth) return fail("recursion limit exceeded");
  const std::uint64_t bit = std::uint64_t{1} << (depth_ % 64);
  auto& word = object_levels_[depth_ / 64];
  word = is_object ? (word | bit) : (word & ~bit);
  ++depth_;
  ++pos_;
  return {};
}

bool Reader::top_is_object() const {
  const std::size_t level = depth_ - 1;
  return (object_levels_[level / 64] >> (level % 64)) & 1;
}

Result<void> Reader::begin_object() { return open_container(true); }
Result<void> Reader::begin_array() { return open_container(false); }

// Shared by objects and arrays: consumes the closing byte (false) or, unless `first`, the
// comma before the next member (true).
Result<bool> Reader::next_member(bool first, char close, const char* eof, const char* expected_comma) {
  skip_whitespace();
  if (at_end()) return fail(eof);
  if (current() == close) {
    ++pos_;
    --depth_;
    return false;
  }
  if (!first) {
    if (current() != ',') return fail(expected_comma);
    ++pos_;
    skip_whitespace();
    if (at_end()) return fail(eof);
    if (current() == close) return fail("trailing comma");
  }
  return true;
}

Result<std::optional<StringToken>> Reader::next_key(bool first) {
  const auto more = next_member(first, '}', kEofInObject, "expected `,` or `}`");
  if (!more) return std::unexpected(more.error());
  if (!*more) return std::nullopt;
  if (current() != '"') return fail("key must be a string");
  return read_string();
}

Result<void> Reader::read_colon() {
  skip_whitespace();
  if (at_end()) return fail(kEofInObject);
  if (current() != ':') return fail("expected `:`");
  ++pos_;
  return {};
}

Result<bool> Reader::next_element(bool first) {
  return next_member(first, ']', kEofInList, "expected `,` or `]`");
}

// Iterative: containers are tracked by depth and the object/array bit of each level.
Result<void> Reader::skip_value() {
  const std::size_t base_depth = depth_;
  while (true) {
    const auto kind = peek_value();
    if (!kind) return std::unexpected(kind.error());
    Result<void> read;
    switch (*kind) {
      case ValueKind::Object: read = begin_object(); break;
      case ValueKind::Array: read = begin_array(); break;
      case ValueKind::String: read = discard(read_string()); break;
      case ValueKind::Number: read = discard(read_number()); break;
      default: read = read_literal(*kind); break;
    }
    if (!read) return read;
    // Move to the next value to read, closing every container that ends here.
    bool just_opened = *kind == ValueKind::Object || *kind == ValueKind::Array;
    bool value_follows = false;
    while (depth_ > base_depth && !value_follows) {
      if (top_is_object()) {
        const auto key = next_key(just_opened);
        if (!key) return std::unexpected(key.error());
        if (key->has_value()) {
          if (auto colon = read_colon(); !colon) return colon;
          value_follows = true;
        }
      } else {
        const auto more = next_element(just_opened);
        if (!more) return std::unexpected(more.error());
        value_follows = *more;
      }
      just_opened = false;
    }
    if (!value_follows) return {};
  }
}

Result<void> Reader::finish() {
  skip_whitespace();
  if (!at_end()) return fail("trailing characters");
  return {};
}

}  // namespace sgp4::json
