// The event detection engine behind every search over a time interval.
//
// A search is an event function: a scalar function of time that is >= 0 while the condition
// of interest holds (inside) and < 0 otherwise (outside). The engine walks the interval with
// a step strategy, finds sign changes between consecutive samples and refines them with the
// root finder. Two iterations are offered:
//   - CrossingIter: every sign change, with its direction;
//   - WindowIter: every maximal stretch where the function is >= 0 (a positive window),
//     optionally interleaved with the gaps between them.
//
// A search family plugs in by supplying a type with `SampleResult sample(Instant)` (and, if it
// wants its own coarse stride, a type with `std::optional<Instant> next_time(Instant, const
// EventSample*)`); the engine is templated on both, so a coarse sample costs one call of each
// and nothing is allocated per sample. Failures are items: a failed sample or refinement is
// yielded in place of a result and the scan goes on after it. A family is then, for example:
//
//   struct Shadow {
//     Predictor predictor;
//     SampleResult sample(Instant t);  // >= 0 in the Earth's shadow
//   };
//   auto iter = window_iter_builder()
//                   .function(Shadow{predictor})
//                   .step_strategy(FixedStep{step})
//                   .windows_only(false)
//                   .skip_leading_partial(false)
//                   .clamp_to_interval(true)
//                   .interval(start, end)
//                   .build();  // std::expected<WindowIter<Shadow, FixedStep>, Error>
//
// Guarantees, checked against the known windows of 200 random scenarios per step strategy and
// function shape in tests/cpp/test_detect.cpp:
//   - every positive window longer than the coarse step (FixedStep's step, ThresholdStep's
//     max_step) is reported exactly once; a shorter one may be missed;
//   - each reported edge lies within the refinement's time_tolerance (default 1 ms) plus 1 µs
//     of the true sign change (the 1 µs covers seconds held as a double);
//   - windows come in time order and never overlap; with gaps they tile the interval;
//   - a window longer than max_window_duration is an error item, never a truncated window;
//   - sampling and iterating allocate nothing (tests count allocations).
#pragma once

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "satvane/error.hpp"
#include "satvane/roots.hpp"
#include "satvane/time.hpp"

namespace satvane {

// ---------------------------------------------------------------------------------------------
// Event functions and step strategies
// ---------------------------------------------------------------------------------------------

struct EventSample {
  double value;                      // >= 0 inside, < 0 outside
  std::optional<double> derivative;  // value units per second, where the function knows it
  Instant time;                      // the instant sampled
};

using SampleResult = std::expected<EventSample, Error>;

// Must be deterministic: the engine samples some instants more than once. A value that is not
// a number is not < 0, so the engine takes it as inside; refining next to it then fails with
// the root finder's Unbracketed, so such a value surfaces as an error item rather than a window.
template <class F>
concept EventFunction = requires(F& function, Instant t) {
  { function.sample(t) } -> std::same_as<SampleResult>;
};

// Makes an event function of a callable Instant -> std::expected<double, Error>; its samples
// carry no derivative.
template <class Fn>
  requires std::same_as<std::invoke_result_t<Fn&, Instant>, std::expected<double, Error>>
class ValueFn {
 public:
  explicit ValueFn(Fn fn) : fn_(std::move(fn)) {}

  SampleResult sample(Instant t) {
    auto value = fn_(t);
    if (!value) return std::unexpected(std::move(value.error()));
    return EventSample{*value, std::nullopt, t};
  }

 private:
  Fn fn_;
};

// `last` is the most recent outside sample when it was taken at `now`, else null. Nothing
// means the next time lies beyond the representable range, which the scan treats as past the
// interval end. A next time that is not after `now` ends the coarse scan (the interval end is
// still examined), so a strategy that stops advancing cannot hang a search.
template <class S>
concept StepStrategy = requires(S& strategy, Instant now, const EventSample* last) {
  { strategy.next_time(now, last) } -> std::same_as<std::optional<Instant>>;
};

struct FixedStep {
  Duration step = Duration::seconds(60);

  std::optional<Instant> next_time(Instant now, const EventSample*) const { return now.checked_add(step); }
};

// Strides at max(min_step, max_step) while the function is far below zero or falling; while it
// rises towards zero, strides the predicted time to reach zero in whole seconds, never below
// min_step. Both durations are meant to be positive (the searches raise them to 1 s).
struct ThresholdStep {
  Duration min_step;
  Duration max_step;

  std::optional<Instant> next_time(Instant now, const EventSample* last) const;
};

// The strategy's next coarse time after `cursor`, or nothing when that time is out of range or
// not after `cursor` (a stalled strategy ends the scan instead of hanging it). Marked inline
// because it runs once per coarse sample and GCC would otherwise keep it out of line.
template <StepStrategy S>
inline std::optional<Instant> next_coarse_time(S& step, Instant cursor, const EventSample* last) {
  const auto t = step.next_time(cursor, last);
  if (t && *t <= cursor) return std::nullopt;
  return t;
}

// ---------------------------------------------------------------------------------------------
// Items, intervals and errors
// ---------------------------------------------------------------------------------------------

enum class CrossingDirection : std::uint8_t { Rising, Falling };

struct Crossing {
  Instant time;
  CrossingDirection direction;  // Rising: the earlier sample was negative
  friend bool operator==(const Crossing&, const Crossing&) = default;
};

struct Window {
  Instant start;
  Instant end;
  bool positive;  // false for a gap between positive windows
  friend bool operator==(const Window&, const Window&) = default;
};

// Start and end of a scan. The end itself is examined only by the window iteration's tail.
struct TimeInterval {
  Instant start;
  Instant end;
  friend bool operator==(const TimeInterval&, const TimeInterval&) = default;
};

using CrossingItem = std::expected<Crossing, Error>;
using WindowItem = std::expected<Window, Error>;

namespace detect {

// A walk would have sampled at or beyond its limit.
struct WindowTooLong {
  Instant at;  // the inside instant whose window was being resolved
  Duration max_window_duration;
  friend bool operator==(const WindowTooLong&, const WindowTooLong&) = default;
};

// A limit computed from an absurd max_window_duration left the representable range.
struct Overflow {
  bool subtraction;
  friend bool operator==(const Overflow&, const Overflow&) = default;
};

class Error {
 public:
  using Detail = std::variant<WindowTooLong, Overflow>;

  Error(Detail detail) : detail_(detail) {}

  const Detail& detail() const { return detail_; }
  template <class Kind>
  const Kind* as() const {
    return std::get_if<Kind>(&detail_);
  }

  // "window too long: the positive window containing {at} exceeds the {max} maximum", or the
  // date-time overflow text.
  std::string text() const;
  // The core error's Detect kind.
  satvane::Error to_core() const { return satvane::Error::detect(text()); }

  friend bool operator==(const Error&, const Error&) = default;

 private:
  Detail detail_;
};

}  // namespace detect

// The core Interval error of a builder whose interval was never set.
Error missing_interval(std::string_view name);

// ---------------------------------------------------------------------------------------------
// Refining and walking
// ---------------------------------------------------------------------------------------------

// The sign change of `function` between a (the sample taken earlier in the walk or scan) and b
// (the one just taken); in a backward walk a is the later instant.
template <EventFunction F>
[[nodiscard]] std::expected<Instant, Error> refine_crossing(F& function, const Refinement& refinement,
                                                            Instant a, Instant b) {
  const double a_s = datetime_to_f64(a), b_s = datetime_to_f64(b);
  // The ends are sampled at the very instants whose signs bracket the crossing. Their seconds read
  // back as an instant up to a few hundred nanoseconds off, and that instant can fall in the
  // millisecond before, where SGP4 (evaluated at whole milliseconds) may give the other sign.
  auto cost = [&](double t) { return function.sample(t == a_s ? a : t == b_s ? b : f64_to_datetime(t)); };
  const auto root = refinement.solve(cost, a_s, b_s);
  if (!root) return std::unexpected(root.error().to_core());
  return *root == a_s ? a : *root == b_s ? b : f64_to_datetime(*root);
}

enum class WalkDirection : std::uint8_t { Backward, Forward };

// A walk from an inside instant towards a window edge.
struct Walk {
  WalkDirection direction;
  Duration walk_step;             // raised to 1 s where smaller
  Instant limit;                  // sampling at or beyond it fails with WindowTooLong
  std::optional<Instant> bound;   // reaching it samples the bound itself, once, and stops there
  Instant at;                     // reported by WindowTooLong
  Duration max_window_duration;   // reported by WindowTooLong
  // An instant already sampled outside. A walk that steps over it still inside, or whose
  // refined edge lands beyond it, would carry the window across a known outside stretch
  // (into a window reported before); the edge is then refined between it and the last inside
  // walk sample instead. A walk that does not pass it is unaffected.
  std::optional<Instant> outside = std::nullopt;
};

struct WalkEnd {
  Instant crossing;  // refined edge, or the bound when the window is cut there
  // The outside end of the last refinement: the last walk sample, or the known outside instant
  // the walk carried past; the bound itself when the window is cut there.
  Instant bracket;
};

inline Duration effective_walk_step(Duration walk_step) { return std::max(walk_step, Duration::seconds(1)); }

Error window_too_long(Instant at, Duration max_window_duration);

// Steps from `from` until the function turns negative and refines that edge. The bound is
// tested before the limit: the step that reaches the bound never fails on the limit.
template <EventFunction F>
[[nodiscard]] std::expected<WalkEnd, Error> walk_to_crossing(F& function, Instant from, const Walk& walk,
                                                             const Refinement& refinement) {
  const Duration step = effective_walk_step(walk.walk_step);
  const bool forward = walk.direction == WalkDirection::Forward;
  const auto reached = [forward](Instant t, Instant mark) { return forward ? t >= mark : t <= mark; };
  const auto beyond_outside = [&walk, forward](Instant t) {
    return walk.outside && (forward ? t > *walk.outside : t < *walk.outside);
  };
  Instant previous = from;
  for (;;) {
    const std::optional<Instant> next = forward ? previous.checked_add(step) : previous.checked_sub(step);
    // A step out of the representable range has passed every bound and limit.
    const bool final_sample = walk.bound && (!next || reached(*next, *walk.bound));
    if (!final_sample && (!next || reached(*next, walk.limit))) {
      return std::unexpected(window_too_long(walk.at, walk.max_window_duration));
    }
    const Instant point = final_sample ? *walk.bound : *next;
    auto sample = function.sample(point);
    if (!sample) return std::unexpected(std::move(sample.error()));
    if (sample->value < 0) {
      auto crossing = refine_crossing(function, refinement, previous, point);
      if (!crossing) return std::unexpected(std::move(crossing.error()));
      if (!beyond_outside(*crossing)) return WalkEnd{*crossing, point};
    } else if (!beyond_outside(point)) {
      if (final_sample) return WalkEnd{point, point};
      previous = point;
      continue;
    }
    // The walk has carried past the known outside instant: the edge lies between the last
    // inside sample and that instant.
    auto crossing = refine_crossing(function, refinement, previous, *walk.outside);
    if (!crossing) return std::unexpected(std::move(crossing.error()));
    return WalkEnd{*crossing, *walk.outside};
  }
}

// Both edges of the positive window around an inside instant.
struct WindowEdges {
  Instant start;
  Instant end;
  Instant resume_at;  // the forward walk's bracket point: the first outside sample after end
};

struct EdgeBounds {
  std::optional<Instant> lower;  // the backward walk stops here (the window is cut there)
  std::optional<Instant> upper;  // likewise for the forward walk
  std::optional<Instant> outside_before;  // sampled outside before t: the start never precedes it
};

// Walks back from the inside instant t to the window start (limit t - max_window_duration),
// then forward to its end (limit start + max_window_duration); WindowTooLong names t. Without
// bounds the window is never cut: the searches that ask "is a window in progress at t" use
// this directly.
template <EventFunction F>
[[nodiscard]] std::expected<WindowEdges, Error> resolve_positive_window(F& function, Instant t,
                                                                        Duration walk_step,
                                                                        Duration max_window_duration,
                                                                        const Refinement& refinement,
                                                                        EdgeBounds bounds = {}) {
  const auto back_limit = minus(t, max_window_duration);
  if (!back_limit) return std::unexpected(back_limit.error());
  const Walk back{WalkDirection::Backward, walk_step, *back_limit, bounds.lower, t, max_window_duration,
                  bounds.outside_before};
  const auto start = walk_to_crossing(function, t, back, refinement);
  if (!start) return std::unexpected(start.error());

  const auto forward_limit = plus(start->crossing, max_window_duration);
  if (!forward_limit) return std::unexpected(forward_limit.error());
  const Walk forward{WalkDirection::Forward, walk_step, *forward_limit, bounds.upper, t, max_window_duration};
  const auto end = walk_to_crossing(function, t, forward, refinement);
  if (!end) return std::unexpected(end.error());
  return WindowEdges{start->crossing, end->crossing, end->bracket};
}

// ---------------------------------------------------------------------------------------------
// Crossing iteration
// ---------------------------------------------------------------------------------------------

template <EventFunction F, StepStrategy S = FixedStep>
struct CrossingDetector {
  F function;
  S step;
  TimeInterval interval;
  Refinement refinement{};
};

// Every sign change of the function, once. A change counts only between two samples of
// opposite strict signs: an exact zero or a NaN produces no crossing on either side. The
// interval end is never sampled.
template <EventFunction F, StepStrategy S = FixedStep>
class CrossingIter {
 public:
  explicit CrossingIter(CrossingDetector<F, S> detector) : detector_(std::move(detector)) {}

  std::optional<CrossingItem> next();

  bool done() const { return done_; }
  const CrossingDetector<F, S>& detector() const { return detector_; }

 private:
  std::optional<Instant> next_scan_time();

  CrossingDetector<F, S> detector_;
  std::optional<Instant> cursor_;
  std::optional<EventSample> previous_;
  bool done_ = false;
};

inline bool opposite_signs(double a, double b) { return (a < 0 && b > 0) || (a > 0 && b < 0); }

template <EventFunction F, StepStrategy S>
std::optional<Instant> CrossingIter<F, S>::next_scan_time() {
  if (!cursor_) return detector_.interval.start;
  const EventSample* last = previous_ && previous_->value < 0 && previous_->time == *cursor_ ? &*previous_ : nullptr;
  return next_coarse_time(detector_.step, *cursor_, last);
}

template <EventFunction F, StepStrategy S>
std::optional<CrossingItem> CrossingIter<F, S>::next() {
  while (!done_) {
    const auto t = next_scan_time();
    if (!t || *t < detector_.interval.start || *t >= detector_.interval.end) {
      done_ = true;
      break;
    }
    cursor_ = *t;
    auto sample = detector_.function.sample(*t);
    if (!sample) return std::unexpected(std::move(sample.error()));
    const std::optional<EventSample> previous = std::exchange(previous_, *sample);
    if (previous && opposite_signs(previous->value, sample->value)) {
      const auto direction = previous->value < 0 ? CrossingDirection::Rising : CrossingDirection::Falling;
      const auto time = refine_crossing(detector_.function, detector_.refinement, previous->time, *t);
      if (!time) return std::unexpected(time.error());
      return Crossing{*time, direction};
    }
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Window iteration
// ---------------------------------------------------------------------------------------------

struct WindowOptions {
  Refinement refinement{};
  Duration walk_step = Duration::seconds(30);             // raised to 1 s where smaller
  Duration max_window_duration = Duration::seconds(3600);
  bool windows_only = true;           // false: also yield the gaps between positive windows
  bool skip_leading_partial = true;   // skip a window in progress at the interval start
  bool clamp_to_interval = false;     // cut windows in progress at either end at that end
};

template <EventFunction F, StepStrategy S = FixedStep>
struct WindowDetector {
  F function;
  S step;
  TimeInterval interval;
  WindowOptions options{};
};

// Positive windows (and, in gaps mode, the gaps between them) in time order. A window is
// never reported twice, and a window that begins between the last coarse sample and the
// interval end is found by one sample at the interval end. In gaps mode with clamping and no
// leading skip the items tile the interval exactly. Windows separated by less than the walk
// step may be merged by the walk; a window wholly between two coarse samples is not seen.
template <EventFunction F, StepStrategy S = FixedStep>
class WindowIter {
 public:
  enum class Phase : std::uint8_t { Scanning, Finishing, Done };

  explicit WindowIter(WindowDetector<F, S> detector) : detector_(std::move(detector)) {}

  std::optional<WindowItem> next();

  Phase phase() const { return phase_; }
  const WindowDetector<F, S>& detector() const { return detector_; }

 private:
  std::optional<WindowItem> scan();
  std::optional<WindowItem> finish();
  std::optional<Instant> next_scan_time();
  std::optional<WindowItem> skip_leading_window(Instant t);
  WindowItem resolve_window(Instant t, bool leading);
  EdgeBounds edge_bounds(Instant t, bool leading) const;
  std::optional<Instant> end_bound() const;
  Window take_pending() { return *std::exchange(pending_, std::nullopt); }

  WindowDetector<F, S> detector_;
  std::optional<Instant> cursor_;          // the last coarse sample time
  std::optional<EventSample> last_;        // the last coarse sample that was outside
  std::optional<Instant> outside_since_;   // start of the current outside stretch
  // An instant sampled outside at the start of the current outside stretch (the first outside
  // coarse sample, or the first outside walk sample after a window). The start of the next
  // window is never placed before it, so that window never runs back into the one before.
  std::optional<Instant> outside_anchor_;
  std::optional<Instant> resume_at_;       // where the scan resumes after a window
  std::optional<Window> pending_;          // a window waiting behind the gap just yielded
  bool tail_done_ = false;
  Phase phase_ = Phase::Scanning;
};

template <EventFunction F, StepStrategy S>
std::optional<WindowItem> WindowIter<F, S>::next() {
  if (phase_ == Phase::Scanning) {
    if (auto item = scan()) return item;
  }
  if (phase_ == Phase::Finishing) return finish();
  return std::nullopt;
}

template <EventFunction F, StepStrategy S>
std::optional<Instant> WindowIter<F, S>::next_scan_time() {
  if (!cursor_) return detector_.interval.start;
  if (pending_) return cursor_;
  if (resume_at_) return std::exchange(resume_at_, std::nullopt);
  const EventSample* last = last_ && last_->time == *cursor_ ? &*last_ : nullptr;
  return next_coarse_time(detector_.step, *cursor_, last);
}

// Runs the coarse scan until an item is due (returned) or the scan leaves the interval
// (nothing returned, phase Finishing).
template <EventFunction F, StepStrategy S>
std::optional<WindowItem> WindowIter<F, S>::scan() {
  const TimeInterval& interval = detector_.interval;
  for (;;) {
    const auto t = next_scan_time();
    if (!t || *t < interval.start || *t >= interval.end) {
      phase_ = Phase::Finishing;
      return std::nullopt;
    }
    cursor_ = *t;
    if (pending_) return take_pending();
    auto sample = detector_.function.sample(*t);
    if (!sample) return std::unexpected(std::move(sample.error()));
    if (sample->value < 0) {
      if (!outside_since_) outside_since_ = outside_anchor_ = *t;
      last_ = *sample;
      continue;
    }
    if (outside_since_) return resolve_window(*t, false);
    if (!detector_.options.skip_leading_partial) return resolve_window(*t, true);
    if (auto failure = skip_leading_window(*t)) return failure;
  }
}

// Examines the interval end once, for a window that began after the last coarse sample (or,
// in gaps mode, for the trailing gap). A failure here ends the iteration.
template <EventFunction F, StepStrategy S>
std::optional<WindowItem> WindowIter<F, S>::finish() {
  if (pending_) return take_pending();
  const Instant end = detector_.interval.end;
  if (tail_done_ || !outside_since_ || *outside_since_ >= end) {
    phase_ = Phase::Done;
    return std::nullopt;
  }
  tail_done_ = true;
  auto sample = detector_.function.sample(end);
  if (!sample) {
    phase_ = Phase::Done;
    return std::unexpected(std::move(sample.error()));
  }
  if (sample->value < 0) {
    if (detector_.options.windows_only) {
      phase_ = Phase::Done;
      return std::nullopt;
    }
    return Window{*outside_since_, end, false};
  }
  auto item = resolve_window(end, false);
  if (!item) phase_ = Phase::Done;
  return item;
}

template <EventFunction F, StepStrategy S>
std::optional<WindowItem> WindowIter<F, S>::skip_leading_window(Instant t) {
  const WindowOptions& options = detector_.options;
  const auto limit = plus(t, options.max_window_duration);
  if (!limit) return std::unexpected(limit.error());
  const Walk walk{WalkDirection::Forward, options.walk_step, *limit, end_bound(), t, options.max_window_duration};
  const auto end = walk_to_crossing(detector_.function, t, walk, options.refinement);
  if (!end) return std::unexpected(end.error());
  outside_since_ = end->crossing;
  outside_anchor_ = resume_at_ = end->bracket;
  return std::nullopt;
}

template <EventFunction F, StepStrategy S>
EdgeBounds WindowIter<F, S>::edge_bounds(Instant t, bool leading) const {
  EdgeBounds bounds{std::nullopt, end_bound(), std::nullopt};
  if (detector_.options.clamp_to_interval) bounds.lower = detector_.interval.start;
  if (leading || !outside_since_) return bounds;
  if (outside_anchor_ && *outside_anchor_ <= t) {
    bounds.outside_before = outside_anchor_;
  } else {
    // The tail sample, taken between the last window's end and the first outside walk sample
    // after it: no outside instant is known in between, so the window is cut at that end.
    bounds.lower = bounds.lower ? std::max(*bounds.lower, *outside_since_) : *outside_since_;
  }
  return bounds;
}

template <EventFunction F, StepStrategy S>
std::optional<Instant> WindowIter<F, S>::end_bound() const {
  if (detector_.options.clamp_to_interval) return detector_.interval.end;
  return std::nullopt;
}

// Finds both edges of the positive window containing the inside instant t. Yields the window,
// or in gaps mode (unless leading) the gap before it, keeping the window as pending.
template <EventFunction F, StepStrategy S>
WindowItem WindowIter<F, S>::resolve_window(Instant t, bool leading) {
  const WindowOptions& options = detector_.options;
  const auto edges = resolve_positive_window(detector_.function, t, options.walk_step, options.max_window_duration,
                                             options.refinement, edge_bounds(t, leading));
  if (!edges) return std::unexpected(edges.error());

  outside_anchor_ = resume_at_ = edges->resume_at;
  const std::optional<Instant> previous = std::exchange(outside_since_, edges->end);
  const Window window{edges->start, edges->end, true};
  if (leading || options.windows_only || !previous) return window;
  pending_ = window;
  return Window{*previous, edges->start, false};
}

// ---------------------------------------------------------------------------------------------
// Builders
// ---------------------------------------------------------------------------------------------

// The event function of a builder that has not been given one; build() needs a real one.
struct Missing {};

template <class F = Missing, class S = FixedStep>
class CrossingIterBuilder {
 public:
  CrossingIterBuilder() = default;

  template <EventFunction G>
  [[nodiscard]] CrossingIterBuilder<G, S> function(G function) const {
    return {std::move(function), step_, refinement_, interval_};
  }
  template <StepStrategy T>
  [[nodiscard]] CrossingIterBuilder<F, T> step_strategy(T step) const {
    return {function_, std::move(step), refinement_, interval_};
  }
  [[nodiscard]] CrossingIterBuilder refinement(Refinement refinement) const {
    return with([&](CrossingIterBuilder& b) { b.refinement_ = refinement; });
  }
  [[nodiscard]] CrossingIterBuilder interval(Instant start, Instant end) const {
    return with([&](CrossingIterBuilder& b) { b.interval_ = TimeInterval{start, end}; });
  }

  template <EventFunction G = F>  // a template so the builder can exist while F is Missing
  [[nodiscard]] std::expected<CrossingIter<G, S>, Error> build() const {
    if (!interval_) return std::unexpected(missing_interval("EventIter"));
    return CrossingIter<G, S>(CrossingDetector<G, S>{function_, step_, *interval_, refinement_});
  }

 private:
  // A copy of this builder with one change: every setter leaves the builder it is called on as
  // it was and returns the changed copy, so chained calls read the same for every setter.
  template <class Change>
  CrossingIterBuilder with(Change change) const {
    CrossingIterBuilder next = *this;
    change(next);
    return next;
  }

  template <class, class>
  friend class CrossingIterBuilder;

  CrossingIterBuilder(F function, S step, Refinement refinement, std::optional<TimeInterval> interval)
      : function_(std::move(function)), step_(std::move(step)), refinement_(refinement), interval_(interval) {}

  F function_{};
  S step_{};
  Refinement refinement_{};
  std::optional<TimeInterval> interval_;
};

template <class F = Missing, class S = FixedStep>
class WindowIterBuilder {
 public:
  WindowIterBuilder() = default;

  template <EventFunction G>
  [[nodiscard]] WindowIterBuilder<G, S> function(G function) const {
    return {std::move(function), step_, options_, interval_};
  }
  template <StepStrategy T>
  [[nodiscard]] WindowIterBuilder<F, T> step_strategy(T step) const {
    return {function_, std::move(step), options_, interval_};
  }
  [[nodiscard]] WindowIterBuilder refinement(Refinement refinement) const {
    return with([&](WindowIterBuilder& b) { b.options_.refinement = refinement; });
  }
  [[nodiscard]] WindowIterBuilder walk_step(Duration walk_step) const {
    return with([&](WindowIterBuilder& b) { b.options_.walk_step = walk_step; });
  }
  [[nodiscard]] WindowIterBuilder max_window_duration(Duration max_window_duration) const {
    return with([&](WindowIterBuilder& b) { b.options_.max_window_duration = max_window_duration; });
  }
  [[nodiscard]] WindowIterBuilder windows_only(bool windows_only) const {
    return with([&](WindowIterBuilder& b) { b.options_.windows_only = windows_only; });
  }
  [[nodiscard]] WindowIterBuilder skip_leading_partial(bool skip_leading_partial) const {
    return with([&](WindowIterBuilder& b) { b.options_.skip_leading_partial = skip_leading_partial; });
  }
  [[nodiscard]] WindowIterBuilder clamp_to_interval(bool clamp_to_interval) const {
    return with([&](WindowIterBuilder& b) { b.options_.clamp_to_interval = clamp_to_interval; });
  }
  [[nodiscard]] WindowIterBuilder interval(Instant start, Instant end) const {
    return with([&](WindowIterBuilder& b) { b.interval_ = TimeInterval{start, end}; });
  }

  template <EventFunction G = F>  // a template so the builder can exist while F is Missing
  [[nodiscard]] std::expected<WindowIter<G, S>, Error> build() const {
    if (!interval_) return std::unexpected(missing_interval("WindowIter"));
    WindowOptions options = options_;
    options.walk_step = effective_walk_step(options.walk_step);
    return WindowIter<G, S>(WindowDetector<G, S>{function_, step_, *interval_, options});
  }

 private:
  // A copy of this builder with one change: every setter leaves the builder it is called on as
  // it was and returns the changed copy, so chained calls read the same for every setter.
  template <class Change>
  WindowIterBuilder with(Change change) const {
    WindowIterBuilder next = *this;
    change(next);
    return next;
  }

  template <class, class>
  friend class WindowIterBuilder;

  WindowIterBuilder(F function, S step, WindowOptions options, std::optional<TimeInterval> interval)
      : function_(std::move(function)), step_(std::move(step)), options_(options), interval_(interval) {}

  F function_{};
  S step_{};
  WindowOptions options_{};
  std::optional<TimeInterval> interval_;
};

// Builders with the defaults: FixedStep of 60 s, Refinement{0.001 s, 100}, and for windows a
// 30 s walk step, a 3600 s longest window, positive windows only, a leading partial window
// skipped and no clamping.
inline CrossingIterBuilder<> crossing_iter_builder() { return {}; }
inline WindowIterBuilder<> window_iter_builder() { return {}; }

}  // namespace satvane
