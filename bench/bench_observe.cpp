// Cost of one sample: bare SGP4, Predictor::propagate (time arithmetic + unit change) and the
// full observe_at chain (propagation, TEME -> ECEF -> ENU -> observation).
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "satvane/predictor.hpp"

namespace {

const satvane::Predictor& iss() {
  static const satvane::Predictor predictor = [] {
    auto built = satvane::Predictor::from_tle(
        "ISS (ZARYA)", "1 25544U 98067A   20194.05493000  .00000813  00000-0  22646-4 0  9993",
        "2 25544  51.6431 189.6454 0001427  74.8669  50.1546 15.49456427236170");
    if (!built) std::abort();
    return *built;
  }();
  return predictor;
}

// Sample instants walk through a day so that no call sees the same input twice in a row.
constexpr std::int64_t kStep_ms = 7'919;
constexpr std::int64_t kDay_ms = 86'400'000;

void BM_Sgp4Propagate(benchmark::State& state) {
  const auto constants = *sgp4::Constants::from_elements(iss().elements());
  std::int64_t ms = 0;
  for (auto _ : state) {
    ms = (ms + kStep_ms) % kDay_ms;
    benchmark::DoNotOptimize(constants.propagate(double(ms) / 60000.0));
  }
}
BENCHMARK(BM_Sgp4Propagate);

void BM_PredictorPropagate(benchmark::State& state) {
  const satvane::Predictor& predictor = iss();
  std::int64_t ms = 0;
  for (auto _ : state) {
    ms = (ms + kStep_ms) % kDay_ms;
    const satvane::Instant t = *predictor.epoch().checked_add(satvane::Duration::millis(ms));
    benchmark::DoNotOptimize(predictor.propagate(t));
  }
}
BENCHMARK(BM_PredictorPropagate);

void BM_ObserveAt(benchmark::State& state) {
  const satvane::Predictor& predictor = iss();
  const satvane::GeodeticPoint observer{48.85, 2.35, 35.0};
  std::int64_t ms = 0;
  for (auto _ : state) {
    ms = (ms + kStep_ms) % kDay_ms;
    const satvane::Instant t = *predictor.epoch().checked_add(satvane::Duration::millis(ms));
    benchmark::DoNotOptimize(predictor.observe_at(t, observer));
  }
}
BENCHMARK(BM_ObserveAt);

}  // namespace
