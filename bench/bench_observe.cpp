// Cost of one sample: bare SGP4, Predictor::propagate (time arithmetic + unit change) and the
// full observe_at chain (propagation, TEME -> ECEF -> ENU -> observation).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "satvane/frames.hpp"
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

// Sample times walk through a day so that no call sees the same input twice in a row; they are
// made up front so that only the measured call is timed.
constexpr std::size_t kSamples = 4096;
constexpr std::int64_t kStep_ms = 7'919;

std::int64_t sample_ms(std::size_t i) { return std::int64_t(i) * kStep_ms; }

const std::vector<satvane::Instant>& sample_instants() {
  static const std::vector<satvane::Instant> instants = [] {
    std::vector<satvane::Instant> result;
    for (std::size_t i = 0; i < kSamples; ++i)
      result.push_back(*iss().epoch().checked_add(satvane::Duration::millis(sample_ms(i))));
    return result;
  }();
  return instants;
}

void BM_Sgp4Propagate(benchmark::State& state) {
  const auto constants = *sgp4::Constants::from_elements(iss().elements());
  std::vector<double> minutes;
  for (std::size_t i = 0; i < kSamples; ++i) minutes.push_back(double(sample_ms(i)) / 60000.0);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(constants.propagate(minutes[i]));
    i = (i + 1) % kSamples;
  }
}
BENCHMARK(BM_Sgp4Propagate);

void BM_PredictorPropagate(benchmark::State& state) {
  const satvane::Predictor& predictor = iss();
  const auto& instants = sample_instants();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(predictor.propagate(instants[i]));
    i = (i + 1) % kSamples;
  }
}
BENCHMARK(BM_PredictorPropagate);

constexpr satvane::GeodeticPoint kObserver{48.85, 2.35, 35.0};

void BM_ObserveAt(benchmark::State& state) {
  const satvane::Predictor& predictor = iss();
  const auto& instants = sample_instants();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(predictor.observe_at(instants[i], kObserver));
    i = (i + 1) % kSamples;
  }
}
BENCHMARK(BM_ObserveAt);

// What a search samples: the observer's frame is built once, outside the loop.
void BM_ObserveWithPrebuiltFrame(benchmark::State& state) {
  const satvane::Predictor& predictor = iss();
  const satvane::EnuFrame frame = satvane::EnuFrame::of(kObserver);
  const auto& instants = sample_instants();
  std::size_t i = 0;
  for (auto _ : state) {
    const satvane::Instant t = instants[i];
    const auto teme = predictor.propagate(t);
    benchmark::DoNotOptimize(satvane::to_observation(satvane::to_enu(satvane::to_ecef(*teme, t), frame)));
    i = (i + 1) % kSamples;
  }
}
BENCHMARK(BM_ObserveWithPrebuiltFrame);

}  // namespace
