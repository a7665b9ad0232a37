#include "satvane/sampling.hpp"

#include "satvane/observe.hpp"

namespace satvane {

Duration effective_sample_step(Duration step) {
  return step > Duration{} ? step : Duration::seconds(1);
}

template <class T, class Compute>
std::optional<SampleItem<T>> SampleWalk::next_with(Compute compute) {
  const auto t = times_.next();
  if (!t) return std::nullopt;
  auto value = compute(*t);
  if (!value) return std::unexpected(std::move(value.error()));
  return std::pair{*t, *value};
}

std::optional<SampleItem<StateVector<Teme>>> PredictionIter::next() {
  return next_with<StateVector<Teme>>([this](Instant t) { return predictor_.propagate(t); });
}

std::optional<SampleItem<GeodeticPoint>> GroundTrackIter::next() {
  return next_with<GeodeticPoint>([this](Instant t) { return predictor_.sub_point(t); });
}

std::optional<SampleItem<Observation>> ObservationIter::next() {
  return next_with<Observation>([this](Instant t) -> std::expected<Observation, Error> {
    const auto teme = predictor_.propagate(t);
    if (!teme) return std::unexpected(teme.error());
    return to_observation(to_enu(to_ecef(*teme, t), observer_));
  });
}

}  // namespace satvane
