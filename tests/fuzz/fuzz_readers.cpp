// libFuzzer entry for the two element readers. The first input byte picks the reader; for the
// TLE parser the rest is split at '\n' into name, line 1 and line 2. Any outcome but a record
// or a well-formed error is a crash.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sgp4/omm.hpp"
#include "sgp4/tle.hpp"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

std::string_view next_line(std::string_view& rest) {
  const std::size_t end = rest.find('\n');
  const std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  return line;
}

void fuzz_tle(std::string_view input) {
  const std::string_view name = next_line(input);
  const std::string_view line_1 = next_line(input);
  const std::string_view line_2 = next_line(input);
  const auto parsed = sgp4::parse_tle(name, line_1, line_2);
  if (parsed) {
    require(parsed->eccentricity >= 0.0 && parsed->eccentricity < 1.0);
    require(parsed->epoch.nanosecond < 1'000'000'000u);
    return;
  }
  const auto& error = parsed.error();
  const std::size_t length = error.which == sgp4::TleError::Which::Line2 ? line_2.size() : line_1.size();
  require(error.start <= error.end && error.end <= std::max<std::size_t>(length, 69));
  require(!parsed.error().text().empty());
}

void fuzz_omm(std::string_view input) {
  const auto record = sgp4::read_omm_json(input);
  if (record) return;
  require(record.error().line >= 1 && record.error().column >= 1);
  require(record.error().column <= input.size() + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) fuzz_tle(input);
  else fuzz_omm(input);
  return 0;
}
