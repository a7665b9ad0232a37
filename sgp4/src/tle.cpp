#include "sgp4/tle.hpp"

#include <algorithm>
#include <array>
#include <span>

#include "number_text.hpp"
#include "sgp4/civil.hpp"
#include "sgp4/format.hpp"

namespace sgp4 {
namespace {

constexpr std::size_t kLineLength = 69;
constexpr std::size_t kChecksumOffset = 68;
constexpr std::array<std::size_t, 8> kLine1Separators = {1, 8, 17, 32, 43, 52, 61, 63};
constexpr std::array<std::size_t, 7> kLine2Separators = {1, 7, 16, 25, 33, 42, 51};

// The longest text an assumed-decimal-point field may hold after trimming; our fields are
// 8 bytes wide, so this guards the scratch buffer rather than real input.
constexpr std::size_t kAssumedPointMaxLength = 16;

using number_text::is_digit;

using What = TleError::What;
using Which = TleError::Which;

// One fixed-width field of one line: its bytes and where they sit, for error reporting.
struct Field {
  std::string_view text;
  Which which;
  std::size_t start;

  TleError error(What what) const { return {what, which, start, start + text.size()}; }
};

Field field(std::string_view line, Which which, std::size_t start, std::size_t end) {
  return {line.substr(start, end - start), which, start};
}

std::string_view trim_spaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool checksum_matches(std::string_view line) {
  // Each digit adds its value and each '-' adds 1; written branch-free so it vectorises.
  unsigned sum = 0;
  for (const char c : line.substr(0, kChecksumOffset)) {
    const unsigned digit = unsigned(static_cast<unsigned char>(c)) - '0';
    sum += digit <= 9 ? digit : unsigned(c == '-');
  }
  const char expected = line[kChecksumOffset];
  return is_digit(expected) && sum % 10 == unsigned(expected - '0');
}

std::expected<void, TleError> check_length(std::string_view line, Which which) {
  if (line.size() != kLineLength) return std::unexpected(TleError{What::BadLength, which, 0, line.size()});
  return {};
}

std::expected<void, TleError> check_first_character(std::string_view line, Which which, char first) {
  if (line[0] != first) return std::unexpected(TleError{What::BadFirstCharacter, which, 0, 1});
  return {};
}

std::expected<void, TleError> check_separators(std::string_view line, Which which,
                                               std::span<const std::size_t> offsets) {
  for (const std::size_t offset : offsets)
    if (line[offset] != ' ') return std::unexpected(TleError{What::NonSpaceSeparator, which, offset, offset + 1});
  return {};
}

std::expected<void, TleError> check_checksum(std::string_view line, Which which) {
  if (!checksum_matches(line))
    return std::unexpected(TleError{What::BadChecksum, which, kChecksumOffset, kChecksumOffset + 1});
  return {};
}

// Five digits right-aligned (leading spaces allowed), or Alpha-5: a letter other than I and O
// worth 10 (A) to 33 (Z), then four digits.
std::expected<std::uint64_t, TleError> parse_catalogue_number(const Field& f) {
  const std::string_view text = f.text;
  std::uint64_t leading = 0;
  std::size_t digits_from = 0;
  const char first = text[0];
  if (first >= 'A' && first <= 'Z' && first != 'I' && first != 'O') {
    leading = std::uint64_t(first - 'A' + 10) - (first > 'I' ? 1 : 0) - (first > 'O' ? 1 : 0);
    digits_from = 1;
  } else {
    while (digits_from < text.size() - 1 && text[digits_from] == ' ') ++digits_from;
  }
  std::uint64_t number = leading;
  for (std::size_t i = digits_from; i < text.size(); ++i) {
    if (!is_digit(text[i])) return std::unexpected(f.error(What::Alpha5Field));
    number = number * 10 + std::uint64_t(text[i] - '0');
  }
  return number;
}

std::expected<Classification, TleError> parse_classification(const Field& f) {
  switch (f.text[0]) {
    case 'U': return Classification::Unclassified;
    case 'C': return Classification::Classified;
    case 'S': return Classification::Secret;
    default: return std::unexpected(f.error(What::UnknownClassification));
  }
}

// A right-aligned unsigned integer; an all-blank field reads as zero.
std::expected<std::uint64_t, TleError> parse_integer_or_blank(const Field& f) {
  const std::string_view digits = trim_spaces(f.text);
  std::uint64_t value = 0;
  for (const char c : digits) {
    if (!is_digit(c)) return std::unexpected(f.error(What::IntegerField));
    value = value * 10 + std::uint64_t(c - '0');
  }
  return value;
}

// As above, but the field must not be blank (the epoch year: a blank one is not 2000).
std::expected<std::uint64_t, TleError> parse_required_integer(const Field& f) {
  if (trim_spaces(f.text).empty()) return std::unexpected(f.error(What::IntegerField));
  return parse_integer_or_blank(f);
}

// An optional sign then a plain decimal without exponent: " .00002182", "-.00002182", "51.6435".
std::expected<double, TleError> parse_decimal(const Field& f) {
  std::string_view text = trim_spaces(f.text);
  const bool negative = number_text::take_sign(text);
  const bool has_exponent = std::ranges::any_of(text, [](char c) { return c == 'e' || c == 'E'; });
  if (has_exponent || !number_text::is_unsigned_decimal(text)) return std::unexpected(f.error(What::FloatField));
  const double magnitude = number_text::unsigned_decimal_to_double(text);
  return negative ? -magnitude : magnitude;
}

// Mantissa with an assumed leading decimal point and a power-of-ten exponent:
// " 12345-5" = 0.12345e-5, "-11606-4", " 00000+0". The exponent sign may be a space.
std::expected<double, TleError> parse_assumed_point(const Field& f) {
  std::string_view text = trim_spaces(f.text);
  if (text.size() > kAssumedPointMaxLength) return std::unexpected(f.error(What::AssumedDecimalPointTooLong));
  const auto fail = [&] { return std::unexpected(f.error(What::AssumedDecimalPointField)); };
  const bool negative = number_text::take_sign(text);
  std::size_t mantissa_end = 0;
  while (mantissa_end < text.size() && is_digit(text[mantissa_end])) ++mantissa_end;
  if (mantissa_end == 0) return fail();
  // Rebuilt as "0.<mantissa>e<sign><exponent>" so the conversion rounds once, correctly.
  // At most "0." + 16 characters + "e" + sign; the slack keeps GCC's overflow analysis quiet at -O3.
  std::array<char, kAssumedPointMaxLength + 8> buffer{};
  std::size_t length = 0;
  buffer[length++] = '0';
  buffer[length++] = '.';
  for (const char c : text.substr(0, mantissa_end)) buffer[length++] = c;
  const std::string_view exponent = text.substr(mantissa_end);
  if (!exponent.empty()) {
    if (exponent.size() < 2 || (exponent[0] != '+' && exponent[0] != '-' && exponent[0] != ' ')) return fail();
    buffer[length++] = 'e';
    buffer[length++] = exponent[0] == '-' ? '-' : '+';
    for (const char c : exponent.substr(1)) {
      if (!is_digit(c)) return fail();
      buffer[length++] = c;
    }
  }
  const double magnitude = number_text::unsigned_decimal_to_double({buffer.data(), length});
  return negative ? -magnitude : magnitude;
}

// Seven digits after an assumed "0.": "0001771" = 0.0001771. Spaces count as zeros, as older
// generators padded with them.
std::expected<double, TleError> parse_eccentricity(const Field& f) {
  std::array<char, 2 + 7> buffer{'0', '.'};
  bool any_digit = false;
  for (std::size_t i = 0; i < f.text.size(); ++i) {
    const char c = f.text[i];
    if (c != ' ' && !is_digit(c)) return std::unexpected(f.error(What::AssumedDecimalPointField));
    any_digit = any_digit || c != ' ';
    buffer[2 + i] = c == ' ' ? '0' : c;
  }
  if (!any_digit) return std::unexpected(f.error(What::AssumedDecimalPointField));
  return number_text::unsigned_decimal_to_double({buffer.data(), buffer.size()});
}

// "98067A  " -> "1998-067A"; an all-blank designator means none.
std::expected<std::optional<std::string>, TleError> parse_designator(const Field& f) {
  const std::string_view text = f.text;  // YY NNN PPP
  if (trim_spaces(text).empty()) return std::nullopt;
  const auto fail = std::unexpected(f.error(What::StringField));
  for (std::size_t i = 0; i < 5; ++i)
    if (!is_digit(text[i])) return fail;
  const std::string_view piece = trim_spaces(text.substr(5));
  if (piece.empty() || text[5] == ' ') return fail;
  for (const char c : piece)
    if (c < 'A' || c > 'Z') return fail;
  const int two_digit_year = (text[0] - '0') * 10 + (text[1] - '0');
  std::string designator(two_digit_year >= 57 ? "19" : "20");
  designator.append(text.substr(0, 2)).append("-").append(text.substr(2, 3)).append(piece);
  return designator;
}

// Day of year with its fraction, kept exact: "194.05493000" -> {194, 5493000, 8 digits}.
struct DayOfYear {
  std::uint64_t whole_day;
  std::uint64_t fraction_numerator;
  std::uint64_t fraction_denominator;
};

std::expected<DayOfYear, TleError> parse_day_of_year(const Field& f) {
  const std::string_view text = trim_spaces(f.text);
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::unexpected(f.error(What::FloatField));
  DayOfYear day{0, 0, 1};
  for (const char c : whole) {
    if (!is_digit(c)) return std::unexpected(f.error(What::FloatField));
    day.whole_day = day.whole_day * 10 + std::uint64_t(c - '0');
  }
  for (const char c : fraction) {  // at most 11 digits fit the field, far from overflow
    if (!is_digit(c)) return std::unexpected(f.error(What::FloatField));
    day.fraction_numerator = day.fraction_numerator * 10 + std::uint64_t(c - '0');
    day.fraction_denominator *= 10;
  }
  return day;
}

// Two-digit years 57-99 are 1957-1999, 00-56 are 2000-2056. A day fraction of up to 11
// digits is always a whole number of nanoseconds (86400e9 = 864e11), so the epoch is exact.
std::expected<UtcInstant, TleError> make_epoch(std::uint64_t two_digit_year, const DayOfYear& day, const Field& f) {
  if (two_digit_year > 99) return std::unexpected(f.error(What::EpochYear));
  const std::int64_t year = std::int64_t(two_digit_year) + (two_digit_year >= 57 ? 1900 : 2000);
  if (day.whole_day < 1 || day.whole_day > civil::days_in_year(year)) return std::unexpected(f.error(What::EpochYear));
  constexpr std::uint64_t kNanosPerDayOver1e11 = 864;
  constexpr std::uint64_t kMaxFractionDenominator = 100'000'000'000;
  if (day.fraction_denominator > kMaxFractionDenominator) return std::unexpected(f.error(What::EpochSeconds));
  const std::uint64_t nanos_per_unit = kNanosPerDayOver1e11 * (kMaxFractionDenominator / day.fraction_denominator);
  const std::uint64_t day_nanos = day.fraction_numerator * nanos_per_unit;
  const std::int64_t days = civil::days_from_civil(year, 1, 1) + std::int64_t(day.whole_day) - 1;
  const std::int64_t seconds = days * 86'400 + std::int64_t(day_nanos / 1'000'000'000);
  return UtcInstant{seconds, std::uint32_t(day_nanos % 1'000'000'000)};
}

// Runs the steps in order and stops at the first failure.
template <class... Steps>
std::expected<void, TleError> first_failure(Steps&&... steps) {
  std::expected<void, TleError> status;
  (void)((status = steps(), status.has_value()) && ...);
  return status;
}

// Parses one field into `target`, so that the fields read as one chain of steps.
template <class T, class Parse>
std::expected<void, TleError> read_into(T& target, const Field& f, Parse parse) {
  auto value = parse(f);
  if (!value) return std::unexpected(value.error());
  target = static_cast<T>(std::move(*value));
  return {};
}

// Line 1 columns (1-based): 10-17 designator, 19-20 epoch year, 21-32 epoch day, 34-43 mean
// motion dot, 45-52 ddot, 54-61 BSTAR, 63 ephemeris type, 65-68 element set number.
std::expected<void, TleError> read_line_1_fields(std::string_view line, Elements& out, std::uint64_t& epoch_year,
                                                 DayOfYear& epoch_day) {
  const auto at = [line](std::size_t start, std::size_t end) { return field(line, Which::Line1, start, end); };
  return first_failure(
      [&] { return read_into(out.international_designator, at(9, 17), parse_designator); },
      [&] { return read_into(epoch_year, at(18, 20), parse_required_integer); },
      [&] { return read_into(epoch_day, at(20, 32), parse_day_of_year); },
      [&] { return read_into(out.mean_motion_dot, at(33, 43), parse_decimal); },
      [&] { return read_into(out.mean_motion_ddot, at(44, 52), parse_assumed_point); },
      [&] { return read_into(out.drag_term, at(53, 61), parse_assumed_point); },
      [&] { return read_into(out.ephemeris_type, at(62, 63), parse_integer_or_blank); },  // one digit
      [&] { return read_into(out.element_set_number, at(64, 68), parse_integer_or_blank); });
}

// Line 2 columns (1-based): 9-16 inclination, 18-25 node, 27-33 eccentricity, 35-42 perigee,
// 44-51 mean anomaly, 53-63 mean motion, 64-68 revolution number.
std::expected<void, TleError> read_line_2_fields(std::string_view line, Elements& out) {
  const auto at = [line](std::size_t start, std::size_t end) { return field(line, Which::Line2, start, end); };
  return first_failure(
      [&] { return read_into(out.inclination, at(8, 16), parse_decimal); },
      [&] { return read_into(out.right_ascension, at(17, 25), parse_decimal); },
      [&] { return read_into(out.eccentricity, at(26, 33), parse_eccentricity); },
      [&] { return read_into(out.argument_of_perigee, at(34, 42), parse_decimal); },
      [&] { return read_into(out.mean_anomaly, at(43, 51), parse_decimal); },
      [&] { return read_into(out.mean_motion, at(52, 63), parse_decimal); },
      [&] { return read_into(out.revolution_number, at(63, 68), parse_integer_or_blank); });
}

std::string_view which_text(Which which) {
  switch (which) {
    case Which::Line1: return "on TLE line 1";
    case Which::Line2: return "on TLE line 2";
    case Which::Both: return "(TLE lines mismatch)";
  }
  return "";
}

std::string_view what_text(What what) {
  switch (what) {
    case What::BadChecksum: return "Bad line checksum";
    case What::BadLength: return "Bad line length";
    case What::BadFirstCharacter: return "Bad first character";
    case What::FloatField: return "Parsing a float field failed";
    case What::AssumedDecimalPointField:
      return "Parsing a float field failed (special TLE float representation with assumed decimal point)";
    case What::IntegerField: return "Parsing an integer field failed";
    case What::Alpha5Field: return "Parsing an Alpha-5 field failed";
    case What::NonSpaceSeparator: return "Found a non-space character between fields";
    case What::StringField: return "Parsing a string field failed";
    case What::AssumedDecimalPointTooLong:
      return "Tried to parse a float (special TLE float representation with assumed decimal point) with more "
             "than 16 ASCII characters";
    case What::NoradMismatch: return "NORAD mismatch between TLE lines";
    case What::UnknownClassification: return "Unknown classification code";
    case What::EpochYear: return "Date generation failed due to an error in the year";
    case What::EpochSeconds: return "Date generation failed due to an error in the seconds from midnight";
  }
  return "";
}

}  // namespace

std::string TleError::text() const {
  std::string out = "TLE parse error: ";
  out.append(what_text(what)).append(" ").append(which_text(which)).append(" between characters ");
  append_unsigned(out, start);
  out += " and ";
  append_unsigned(out, end);
  return out;
}

std::expected<Elements, TleError> parse_tle(std::string_view name, std::string_view line_1, std::string_view line_2) {
  Elements out;
  std::uint64_t catalogue_2 = 0;
  std::uint64_t epoch_year = 0;
  DayOfYear epoch_day{};
  const auto parsed = first_failure(
      [&] { return check_length(line_1, Which::Line1); },
      [&] { return check_length(line_2, Which::Line2); },
      [&] { return check_first_character(line_1, Which::Line1, '1'); },
      [&] { return check_first_character(line_2, Which::Line2, '2'); },
      [&] { return check_separators(line_1, Which::Line1, kLine1Separators); },
      [&] { return check_separators(line_2, Which::Line2, kLine2Separators); },
      [&] { return read_into(out.norad_id, field(line_1, Which::Line1, 2, 7), parse_catalogue_number); },
      [&] { return read_into(catalogue_2, field(line_2, Which::Line2, 2, 7), parse_catalogue_number); },
      [&]() -> std::expected<void, TleError> {
        if (out.norad_id != catalogue_2) return std::unexpected(TleError{What::NoradMismatch, Which::Both, 2, 7});
        return {};
      },
      [&] { return check_checksum(line_1, Which::Line1); },
      [&] { return check_checksum(line_2, Which::Line2); },
      [&] { return read_into(out.classification, field(line_1, Which::Line1, 7, 8), parse_classification); },
      [&] { return read_line_1_fields(line_1, out, epoch_year, epoch_day); },
      [&] { return read_line_2_fields(line_2, out); },
      [&] { return read_into(out.epoch, field(line_1, Which::Line1, 18, 32), [&](const Field& f) {
                        return make_epoch(epoch_year, epoch_day, f);
                      }); });
  if (!parsed) return std::unexpected(parsed.error());
  out.object_name = std::string(name);
  return out;
}

}  // namespace sgp4
