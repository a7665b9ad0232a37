// Time per SGP4 propagation for a near-earth, a deep-space and a resonant deep-space
// satellite over a spread of times. bench/propagation_vs_sgp4.py runs the same element sets
// and times through python-sgp4 and compares.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "sgp4/propagator.hpp"
#include "sgp4/tle.hpp"

namespace {

struct Tle {
  const char* line_1;
  const char* line_2;
};

// Keep in step with propagation_vs_sgp4.py.
constexpr Tle iss = {"1 25544U 98067A   20194.05494676  .00000943  00000-0  24953-4 0  9990",
                     "2 25544  51.6435 225.4004 0001771  44.9625   5.1087 15.49560532235875"};
constexpr Tle gps = {"1 28129U 03058A   06175.57071136 -.00000104  00000-0  10000-3 0   459",
                     "2 28129  54.7298 324.8098 0048506 266.2640  93.1663  2.00562768 18443"};
constexpr Tle molniya = {"1 08195U 75081A   06176.33215444  .00000099  00000-0  11873-3 0   813",
                         "2 08195  64.1586 279.0717 6877146 264.7651  20.2257  2.00491383225656"};

// -1 day to +7 days from the epoch, evenly spread.
constexpr int time_count = 1000;
constexpr double first_minute = -1440.0;
constexpr double span_minutes = 8.0 * 1440.0;

std::vector<double> times_min() {
  std::vector<double> times(time_count);
  for (int i = 0; i < time_count; ++i) times[std::size_t(i)] = first_minute + span_minutes * i / (time_count - 1);
  return times;
}

sgp4::Constants constants(const Tle& tle) {
  const auto elements = sgp4::parse_tle("", tle.line_1, tle.line_2);
  if (!elements) std::abort();
  const auto c = sgp4::Constants::from_elements(*elements);
  if (!c) std::abort();
  return *c;
}

void propagate_all(benchmark::State& state, const Tle& tle) {
  const sgp4::Constants c = constants(tle);
  const auto steps = c.resonance_steps();  // as the library propagates: from stored steps
  const std::vector<double> times = times_min();
  std::size_t i = 0;
  for (auto _ : state) {
    auto prediction = c.propagate(times[i], steps.get());
    benchmark::DoNotOptimize(prediction);
    i = i + 1 == times.size() ? 0 : i + 1;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_PropagateNearEarth(benchmark::State& state) { propagate_all(state, iss); }
void BM_PropagateDeepSpace(benchmark::State& state) { propagate_all(state, gps); }
void BM_PropagateResonant(benchmark::State& state) { propagate_all(state, molniya); }

constexpr Tle geo = {"1 26038U 00011A   20194.50000000 -.00000273  00000-0  00000-0 0  9995",
                     "2 26038   0.0417 210.6212 0002347 325.6143  72.2931  1.00270400 75557"};

// Resonant orbits far from the epoch: two days of one-minute steps starting range(0) days
// out, in increasing order or shuffled (range(1)), propagated from the shared stored steps.
void propagate_far(benchmark::State& state, const Tle& tle) {
  const sgp4::Constants c = constants(tle);
  const auto steps = c.resonance_steps();
  std::vector<double> times(2880);
  for (std::size_t i = 0; i < times.size(); ++i) times[i] = double(state.range(0)) * 1440.0 + double(i);
  if (state.range(1) != 0) std::shuffle(times.begin(), times.end(), std::mt19937(7));
  std::size_t i = 0;
  for (auto _ : state) {
    auto prediction = c.propagate(times[i], steps.get());
    benchmark::DoNotOptimize(prediction);
    i = i + 1 == times.size() ? 0 : i + 1;
  }
}

void BM_FarGeo(benchmark::State& state) { propagate_far(state, geo); }
void BM_FarMolniya(benchmark::State& state) { propagate_far(state, molniya); }
BENCHMARK(BM_FarGeo)->ArgsProduct({{0, 30, 365, 3652}, {0, 1}});
BENCHMARK(BM_FarMolniya)->ArgsProduct({{0, 30, 365, 3652}, {0, 1}});

void BM_ConstantsFromElements(benchmark::State& state) {
  const auto elements = sgp4::parse_tle("", gps.line_1, gps.line_2);
  for (auto _ : state) {
    auto c = sgp4::Constants::from_elements(*elements);
    benchmark::DoNotOptimize(c);
  }
}

BENCHMARK(BM_PropagateNearEarth);
BENCHMARK(BM_PropagateDeepSpace);
BENCHMARK(BM_PropagateResonant);
BENCHMARK(BM_ConstantsFromElements);

}  // namespace
