// Fixed-step series over [start, end): TEME states, ground-track points and what a ground
// observer sees. The fixed-step counterpart of the event searches: every sample is computed
// exactly as the point queries of Predictor compute it (same propagation, same frames), one per
// next(), with nothing allocated per sample and constant memory however long the series.
#pragma once

#include <expected>
#include <optional>
#include <utility>

#include "satvane/error.hpp"
#include "satvane/frames.hpp"
#include "satvane/predictor.hpp"
#include "satvane/time.hpp"

namespace satvane {

// One sample: the instant and what was computed there, or the propagation error at that instant.
template <class T>
using SampleItem = std::expected<std::pair<Instant, T>, Error>;

// A step of zero or below would never advance: such a step walks by exactly one second.
Duration effective_sample_step(Duration step);

// The walk shared by the three series: the instants start, start + step, ... strictly before
// end. An empty or reversed interval yields nothing. A failed sample does not end the walk: the
// cursor has already moved on, so the following next() samples the following instant.
class SampleWalk {
 public:
  SampleWalk(const Predictor& predictor, Instant start, Instant end, Duration step)
      : predictor_(predictor), times_(start, end, effective_sample_step(step)) {}

 protected:
  // Nothing once the walk is over; otherwise `compute(t)` (a std::expected<T, Error>) at the
  // next instant t.
  template <class T, class Compute>
  std::optional<SampleItem<T>> next_with(Compute compute);

  Predictor predictor_;  // a copy: the series outlives and ignores the predictor it came from

 private:
  DateTimeIter times_;
};

// TEME state vectors (metres, m/s).
class PredictionIter : public SampleWalk {
 public:
  using SampleWalk::SampleWalk;
  std::optional<SampleItem<StateVector<Teme>>> next();
};

// Sub-satellite points, altitude above the WGS84 ellipsoid: the walk of a PredictionIter, each
// step computing the point beneath the satellite instead of its state.
class GroundTrackIter : public SampleWalk {
 public:
  explicit GroundTrackIter(PredictionIter walk) : SampleWalk(std::move(walk)) {}
  std::optional<SampleItem<GeodeticPoint>> next();
};

// Observations from one ground observer; samples below the horizon are yielded too (negative
// elevation).
class ObservationIter : public SampleWalk {
 public:
  ObservationIter(const Predictor& predictor, const GeodeticPoint& observer, Instant start, Instant end,
                  Duration step)
      : SampleWalk(predictor, start, end, step), observer_(EnuFrame::of(observer)) {}
  std::optional<SampleItem<Observation>> next();

 private:
  EnuFrame observer_;  // the observer's axes, computed once (same bits as per-sample)
};

}  // namespace satvane
