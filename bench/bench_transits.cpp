// What the event searches cost on the ISS: 7 days of passes above 10° over one observer, and
// 30 days of sunlit and eclipse windows. Besides the time per search, each benchmark counts
// the event-function samples (one SGP4 propagation each) per pass or window and per day, and
// splits the time per sample into propagation, the rest of the event function (frames or Sun
// position) and the engine (stepping, walking, refining).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "satvane/illumination.hpp"
#include "satvane/transits.hpp"

#include "../tests/cpp/iss_tle.hpp"

namespace {

using namespace satvane;

Predictor iss() {
  auto predictor = Predictor::from_tle(test_support::kIssName, test_support::kIssLine1, test_support::kIssLine2);
  if (!predictor) std::abort();
  return *predictor;
}

const GeodeticPoint kParis{48.85, 2.35, 35.0};
constexpr double kMinElevation_deg = 10.0;

TimeInterval days_from_epoch(const Predictor& predictor, std::int64_t days) {
  return {predictor.epoch(), *predictor.epoch().checked_add(Duration::seconds(days * 86400))};
}

// CPU time of this thread: the machine is shared, and wall time would count other processes.
double thread_cpu_ns() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e9 + double(now.tv_nsec);
}

// An event function that records the instants asked for, outside the timed runs.
template <class F>
struct Recording {
  F function;
  std::vector<Instant>* sampled;

  SampleResult sample(Instant t) {
    sampled->push_back(t);
    return function.sample(t);
  }
};

template <class Iter>
std::int64_t drain(Iter& iter) {
  std::int64_t items = 0;
  while (auto item = iter.next()) {
    if (!*item) std::abort();
    ++items;
  }
  return items;
}

// CPU nanoseconds per call of `body` over the recorded instants.
template <class Body>
double ns_per_instant(const std::vector<Instant>& instants, Body&& body) {
  constexpr int kRounds = 20;
  const double start = thread_cpu_ns();
  for (int round = 0; round < kRounds; ++round)
    for (const Instant t : instants) benchmark::DoNotOptimize(body(t));
  return (thread_cpu_ns() - start) / double(kRounds * instants.size());
}

// The counters shared by both searches; `total_ns` is the CPU time of one whole search.
void set_counters(benchmark::State& state, const Predictor& predictor, const std::vector<Instant>& sampled,
                  std::int64_t items, std::int64_t days, double total_ns, auto&& event_function) {
  const double samples = double(sampled.size());
  const double propagation_ns = ns_per_instant(sampled, [&](Instant t) { return predictor.propagate(t); });
  const double function_ns = ns_per_instant(sampled, event_function);
  state.counters["items"] = double(items);
  state.counters["samples_per_item"] = samples / double(items);
  state.counters["samples_per_day"] = samples / double(days);
  state.counters["ns_per_sample"] = total_ns / samples;
  state.counters["propagation_ns_per_sample"] = propagation_ns;
  state.counters["rest_of_function_ns_per_sample"] = function_ns - propagation_ns;
  state.counters["engine_ns_per_sample"] = total_ns / samples - function_ns;
}

void BM_IssPasses7Days(benchmark::State& state) {
  constexpr std::int64_t kDays = 7;
  const Predictor predictor = iss();
  const TimeInterval interval = days_from_epoch(predictor, kDays);
  const TransitIterOpts opts;

  double cpu_ns = 0;
  std::int64_t passes = 0;
  for (auto _ : state) {
    const double start = thread_cpu_ns();
    auto iter = transits_iter_with_opts(predictor, kParis, interval, kMinElevation_deg, opts);
    passes = drain(iter);
    cpu_ns += thread_cpu_ns() - start;
  }

  // The same search, configured as transits_iter_with_opts does, through a recording function.
  const double min_elevation_rad = kMinElevation_deg * kDegToRad;
  const ElevationAboveMin function(predictor, kParis, min_elevation_rad);
  std::vector<Instant> sampled;
  auto recording = *window_iter_builder()
                        .function(Recording<ElevationAboveMin>{function, &sampled})
                        .step_strategy(TransitStep(predictor, kParis, min_elevation_rad, opts.min_step, opts.max_step))
                        .refinement(predictor.refinement())
                        .walk_step(opts.walk_step)
                        .max_window_duration(opts.max_transit_duration)
                        .interval(interval.start, interval.end)
                        .build();
  if (drain(recording) != passes) std::abort();
  set_counters(state, predictor, sampled, passes, kDays, cpu_ns / double(state.iterations()),
               [&](Instant t) { return function.sample(t); });
}
BENCHMARK(BM_IssPasses7Days)->Unit(benchmark::kMicrosecond);

// The argument is the walk step in seconds: the walks across each eclipse take most samples.
void BM_IssIllumination30Days(benchmark::State& state) {
  constexpr std::int64_t kDays = 30;
  const Predictor predictor = iss();
  const TimeInterval interval = days_from_epoch(predictor, kDays);
  IlluminationIterOpts opts;
  opts.walk_step = Duration::seconds(state.range(0));

  double cpu_ns = 0;
  std::int64_t windows = 0;
  for (auto _ : state) {
    const double start = thread_cpu_ns();
    auto iter = illumination_iter_with_opts(predictor, interval, opts);
    windows = drain(iter);
    cpu_ns += thread_cpu_ns() - start;
  }

  const ShadowFunction function{predictor};
  std::vector<Instant> sampled;
  auto recording = *window_iter_builder()
                        .function(Recording<ShadowFunction>{function, &sampled})
                        .step_strategy(FixedStep{opts.step})
                        .refinement(predictor.refinement())
                        .walk_step(opts.walk_step)
                        .max_window_duration(opts.max_window_duration)
                        .windows_only(false)
                        .skip_leading_partial(false)
                        .clamp_to_interval(true)
                        .interval(interval.start, interval.end)
                        .build();
  if (drain(recording) != windows) std::abort();
  set_counters(state, predictor, sampled, windows, kDays, cpu_ns / double(state.iterations()),
               [&](Instant t) { return function.sample(t); });
}
BENCHMARK(BM_IssIllumination30Days)->Arg(30)->Arg(120)->Unit(benchmark::kMillisecond);

}  // namespace
