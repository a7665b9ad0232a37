// What the detection engine costs beyond the event function it drives: window iteration over a
// cheap synthetic function, timed against the same function called alone on exactly the
// instants the iteration sampled. The difference, divided by the coarse samples, is the
// engine's overhead per coarse sample (counter `overhead_ns_per_coarse`).
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "satvane/detect.hpp"

namespace {

using namespace satvane;

const Instant kStart = *Instant::from_civil({2024, 3, 1, 0, 0, 0, 0});

// Inside for the first `window_s` seconds of every hour (a tent peaking at window_s / 2),
// outside elsewhere; window_s = 0 is never inside. A few integer operations per sample.
struct HourlyTent {
  std::int64_t window_s;

  SampleResult sample(Instant t) const {
    const double into_hour = double(t.unix_seconds() % 3600) + double(t.nanosecond()) * 1e-9;
    const double half = double(window_s) / 2;
    const double value = window_s == 0 ? -1.0 : half - std::abs(into_hour - half);
    return EventSample{value, std::nullopt, t};
  }
};

// Records the instants the engine asks for, outside the timed runs.
struct Recording {
  HourlyTent function;
  std::vector<Instant>* sampled;

  SampleResult sample(Instant t) {
    sampled->push_back(t);
    return function.sample(t);
  }
};

template <EventFunction F>
WindowIter<F> make_iter(F function, std::int64_t coarse_samples) {
  auto iter = window_iter_builder()
                  .function(function)
                  .interval(kStart, *kStart.checked_add(Duration::seconds(60 * coarse_samples)))
                  .build();
  if (!iter) std::abort();
  return *std::move(iter);
}

// Drains an iterator, counting what it yielded so the work cannot be optimised away.
template <EventFunction F>
std::int64_t drain(WindowIter<F>& iter) {
  std::int64_t windows = 0;
  while (auto item = iter.next()) windows += item->has_value();
  return windows;
}

// CPU time of this thread: the machine is shared, and wall time would count other processes.
double thread_cpu_ns() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e9 + double(now.tv_nsec);
}

void BM_WindowIterOverhead(benchmark::State& state) {
  const std::int64_t window_s = state.range(0);
  constexpr std::int64_t kCoarseSamples = 24 * 60;  // one day in 60 s steps

  std::vector<Instant> sampled;
  {
    auto recording = make_iter(Recording{HourlyTent{window_s}, &sampled}, kCoarseSamples);
    benchmark::DoNotOptimize(drain(recording));
  }

  double function_ns = 0;
  double iteration_ns = 0;
  for (auto _ : state) {
    const HourlyTent alone{window_s};
    const double function_start = thread_cpu_ns();
    for (const Instant t : sampled) benchmark::DoNotOptimize(alone.sample(t));
    const double iteration_start = thread_cpu_ns();
    auto iter = make_iter(HourlyTent{window_s}, kCoarseSamples);
    benchmark::DoNotOptimize(drain(iter));
    const double iteration_end = thread_cpu_ns();
    function_ns += iteration_start - function_start;
    iteration_ns += iteration_end - iteration_start;
  }
  const double runs = double(state.iterations());
  state.counters["samples_per_coarse"] = double(sampled.size()) / kCoarseSamples;
  state.counters["function_ns_per_sample"] = function_ns / runs / double(sampled.size());
  state.counters["iteration_ns_per_coarse"] = iteration_ns / runs / kCoarseSamples;
  state.counters["overhead_ns_per_coarse"] = (iteration_ns - function_ns) / runs / kCoarseSamples;
}

// 0: a scan that never meets a window; 120: one two-minute window an hour, so walks and
// refinements are part of the cost.
BENCHMARK(BM_WindowIterOverhead)->Arg(0)->Arg(120)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
