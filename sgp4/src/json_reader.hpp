// A small strict JSON pull reader (RFC 8259) for the OMM reader.
//
// We wrote our own because no JSON library available to this project reports faults as
// positioned, typed values without exceptions, and because reading a record should cost no
// allocation beyond the record's own strings: tokens are views into the input, decoded only
// when a caller asks.
//
// Strictness: no NaN/Infinity literals, no comments, no trailing commas, no leading zeros,
// no control characters in strings, only the escapes of RFC 8259 with \u surrogates in
// valid pairs, valid UTF-8 inside strings. Nesting is limited to kMaxDepth containers, and
// skipping a value is iterative, so hostile input cannot exhaust the stack.
//
// Errors carry the byte offset where the reader stopped: the offending byte for a syntax
// fault (the end of input for a premature end).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace sgp4::json {

struct SyntaxError {
  const char* message;
  std::size_t offset;
};

// 1-based line and column of a byte offset; lines end at '\n', columns count bytes.
struct TextPosition {
  std::size_t line;
  std::size_t column;
};
TextPosition position_of(std::string_view text, std::size_t offset);

enum class ValueKind : std::uint8_t { Object, Array, String, Number, True, False, Null };

// The bytes between the quotes, as validated; `has_escapes` tells whether decoding is needed.
// JSON admits a \u escape of an unpaired surrogate, which no UTF-8 text can hold: decoding
// writes U+FFFD for it, and `has_lone_surrogate` lets a reader refuse such text instead.
struct StringToken {
  std::string_view raw;
  bool has_escapes;
  bool has_lone_surrogate = false;
};

struct NumberToken {
  std::string_view magnitude;  // the number without its '-'
  bool negative;
  bool integer;  // written without fraction and exponent
};

// Appends the decoded text of a validated string token.
void append_decoded(std::string& out, StringToken token);

// The decoded text: a view of the input when there is nothing to decode, else `scratch`.
std::string_view decoded(StringToken token, std::string& scratch);

template <class T>
using Result = std::expected<T, SyntaxError>;

class Reader {
 public:
  static constexpr std::size_t kMaxDepth = 128;

  explicit Reader(std::string_view text) : text_(text) {}

  std::size_t offset() const { return pos_; }

  // Kind of the next value, judged by its first byte (skips whitespace, consumes nothing).
  Result<ValueKind> peek_value();
  Result<StringToken> read_string();
  Result<NumberToken> read_number();
  Result<void> read_literal(ValueKind kind);  // True, False or Null
  Result<void> skip_value();

  Result<void> begin_object();
  // The next key, or nothing once the closing brace is consumed. `first` is true right after
  // begin_object. The caller then calls read_colon and reads or skips the value.
  Result<std::optional<StringToken>> next_key(bool first);
  Result<void> read_colon();

  Result<void> begin_array();
  // True when another element follows; false once the closing bracket is consumed.
  Result<bool> next_element(bool first);

  // Only whitespace may remain.
  Result<void> finish();

 private:
  bool at_end() const { return pos_ >= text_.size(); }
  char current() const { return text_[pos_]; }
  void skip_whitespace();
  std::unexpected<SyntaxError> fail(const char* message) const { return std::unexpected(SyntaxError{message, pos_}); }
  Result<void> open_container(bool is_object);
  Result<bool> next_member(bool first, char close, const char* eof, const char* expected_comma);
  bool top_is_object() const;
  Result<bool> read_escape();  // true for an unpaired surrogate
  Result<unsigned> read_hex4();
  Result<void> read_utf8_sequence();

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t depth_ = 0;
  std::array<std::uint64_t, kMaxDepth / 64> object_levels_{};  // bit set: that level is an object
};

}  // namespace sgp4::json
