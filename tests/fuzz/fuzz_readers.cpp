// libFuzzer entry for the two element readers. The first input byte picks the reader; for the
// TLE parser the rest is split at '\n' into name, line 1 and line 2. Any outcome but a record
// or a well-formed error is a crash. A record read is then propagated: a state must be finite
// (a non-finite one is an error, never a result).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sgp4/omm.hpp"
#include "sgp4/propagator.hpp"
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

bool is_finite(const sgp4::Prediction& p) {
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(p.position_km[axis]) || !std::isfinite(p.velocity_km_s[axis])) return false;
  }
  return true;
}

// From the epoch out to the hundred-year bound of the resonance integration and past it, both
// ways; through the stored resonance steps as well, which must give the same bits.
void propagate(const sgp4::Elements& elements) {
  const auto constants = sgp4::Constants::from_elements(elements);
  if (!constants) {
    require(!constants.error().text().empty());
    return;
  }
  const auto steps = constants->resonance_steps();
  for (double minutes : {0.0, 1.0, -1440.0, 1e5, -1e6, 5.3e7, 1e12}) {
    const auto state = constants->propagate(minutes);
    require(!state || is_finite(*state));
    if (!state) require(!state.error().text().empty());
    if (std::fabs(minutes) > 1e6) continue;  // integrating from the epoch takes long out there
    const auto stored = constants->propagate(minutes, steps.get());
    require(state.has_value() == stored.has_value());
    if (state) require(state->position_km == stored->position_km && state->velocity_km_s == stored->velocity_km_s);
  }
}

void fuzz_tle(std::string_view input) {
  const std::string_view name = next_line(input);
  const std::string_view line_1 = next_line(input);
  const std::string_view line_2 = next_line(input);
  const auto parsed = sgp4::parse_tle(name, line_1, line_2);
  if (parsed) {
    require(parsed->eccentricity >= 0.0 && parsed->eccentricity < 1.0);
    require(parsed->epoch.nanosecond < 1'000'000'000u);
    propagate(*parsed);
    return;
  }
  const auto& error = parsed.error();
  const std::size_t length = error.which == sgp4::TleError::Which::Line2 ? line_2.size() : line_1.size();
  require(error.start <= error.end && error.end <= std::max<std::size_t>(length, 69));
  require(!parsed.error().text().empty());
}

void fuzz_omm(std::string_view input) {
  const auto record = sgp4::read_omm_json(input);
  if (record) {
    propagate(*record);
    return;
  }
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
