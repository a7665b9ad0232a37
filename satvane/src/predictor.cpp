#include "satvane/predictor.hpp"

#include <string>

#include "satvane/diagnostics.hpp"
#include "satvane/frames.hpp"
#include "sgp4/tle.hpp"

namespace satvane {
namespace {

void report_initialized(std::string_view message, std::string_view satellite, Instant epoch) {
  if (auto* sink = diagnostics::active_sink())
    diagnostics::send(*sink, "satvane", message, {{"satellite", satellite}, {"epoch", epoch}});
}

std::string satellite_label(const sgp4::Elements& elements) {
  if (elements.object_name) return *elements.object_name;
  return "NORAD " + std::to_string(elements.norad_id);
}

Vec3 km_to_m(const std::array<double, 3>& km) { return {km[0] * 1000.0, km[1] * 1000.0, km[2] * 1000.0}; }

}  // namespace

std::expected<Predictor, Error> Predictor::create(const sgp4::Elements& elements) {
  auto constants = sgp4::Constants::from_elements(elements);
  if (!constants) return std::unexpected(Error::elements(constants.error()));
  Predictor predictor(elements, *constants);
  if (diagnostics::active_sink())
    report_initialized("predictor initialized from OMM elements", satellite_label(elements), predictor.epoch());
  return predictor;
}

std::expected<Predictor, Error> Predictor::from_tle(std::string_view name, std::string_view line_1,
                                                    std::string_view line_2) {
  auto elements = sgp4::parse_tle(name, line_1, line_2);
  if (!elements) return std::unexpected(Error::tle(elements.error()));
  auto constants = sgp4::Constants::from_elements(*elements);
  if (!constants) return std::unexpected(Error::elements(constants.error()));
  Predictor predictor(*elements, *constants);
  report_initialized("predictor initialized from TLE", name, predictor.epoch());
  return predictor;
}

Predictor Predictor::with_refinement(const Refinement& refinement) const {
  Predictor copy = *this;
  copy.refinement_ = refinement;
  return copy;
}

std::expected<StateVector<Teme>, Error> Predictor::propagate(Instant t) const {
  const std::int64_t millis = (t - epoch()).whole_millis_toward_zero();
  const double minutes = double(millis) / 60000.0;
  auto prediction = constants_.propagate(minutes, resonance_steps_.get());
  if (!prediction) return std::unexpected(Error::sgp4(prediction.error()));
  return StateVector<Teme>{km_to_m(prediction->position_km), km_to_m(prediction->velocity_km_s)};
}

std::expected<GeodeticPoint, Error> Predictor::sub_point(Instant t) const {
  const auto teme = propagate(t);
  if (!teme) return std::unexpected(teme.error());
  return to_geodetic(to_ecef(*teme, t));
}

std::expected<Observation, Error> Predictor::observe_at(Instant t, const GeodeticPoint& observer) const {
  const auto teme = propagate(t);
  if (!teme) return std::unexpected(teme.error());
  return to_observation(to_enu(to_ecef(*teme, t), observer));
}

std::expected<Pointing, Error> Predictor::point_at(Instant t, const GeodeticPoint& target) const {
  const auto satellite = propagate(t);
  if (!satellite) return std::unexpected(satellite.error());
  // The target rides on the rotating Earth: in TEME it has the rotation's velocity.
  const StateVector<Teme> target_teme = to_teme(to_ecef(target), t);
  return to_pointing(to_lvlh(*satellite, target_teme));
}

}  // namespace satvane
