// Passes of a satellite over a ground observer: the passes above a minimum elevation in an
// interval, the pass in progress at an instant, and the peak elevation in an interval.
//
// All three search the geometric elevation of the satellite in the observer's ENU frame (SGP4
// in TEME, rotated to ECEF by the IAU 1982 sidereal angle with UTC standing in for UT1, no
// polar motion, no refraction, no terrain). A pass starts at its acquisition of signal (AoS),
// when the elevation rises through the minimum, and ends at its loss of signal (LoS), when it
// falls back through it.
//
// Accuracy: AoS and LoS are roots of that elevation to the predictor's Refinement time
// tolerance (1 ms by default); the model itself differs from one with UT1 and polar motion by
// a fraction of a second at the horizon. A pass that stays above the minimum for less than
// `min_step` can fall between two coarse samples and go unseen; longer passes are seen
// (TransitStep below), as long as the orbit stays within 0.5 % of the semi-major axis of its
// element set (a satellite decaying fast, propagated far from its epoch, may not).
#pragma once

#include <expected>
#include <optional>

#include "satvane/detect.hpp"
#include "satvane/error.hpp"
#include "satvane/frames.hpp"
#include "satvane/observe.hpp"
#include "satvane/predictor.hpp"
#include "satvane/time.hpp"
#include "satvane/vectors.hpp"

namespace satvane {

// Event function of passes: elevation minus the minimum (radians), with the elevation rate
// (radians per second) as derivative, so that refinement takes Newton steps.
class ElevationAboveMin {
 public:
  ElevationAboveMin(const Predictor& predictor, const GeodeticPoint& observer, double min_elevation_rad);

  SampleResult sample(Instant t) const;

  const Predictor& predictor() const { return predictor_; }
  const GeodeticPoint& observer() const { return observer_; }
  double min_elevation_rad() const { return min_elevation_rad_; }

 private:
  Predictor predictor_;
  GeodeticPoint observer_;
  EnuFrame frame_;  // the observer's axes, computed once instead of per sample
  double min_elevation_rad_;
};

// Coarse stride of the pass scan. While the elevation falls, or has no rate, it is the
// ThresholdStep rule's. While it rises, the threshold rule extrapolates the elevation linearly,
// but the elevation climbs ever faster as the satellite approaches, so that stride can carry a
// whole short pass between two samples (an ISS pass above 30° is skipped that way). The rising
// stride is therefore also capped by the time the satellite needs, at its highest possible
// angular rate over the ground, to close the central angle between it and the farthest point
// from which it can stand at the minimum elevation. Central angles follow from the elevation on
// a sphere, with bounds that hold for any SGP4 state of the element set: the satellite's radius
// within 0.5 % of the semi-major axis beyond perigee and apogee (SGP4 strays about 0.1 %), the
// geodetic vertical within 0.2° of the geocentric one (at most 0.19°), the ground rate that of
// perigee plus the Earth's rotation, with 2 % to spare.
class TransitStep {
 public:
  TransitStep(const Predictor& predictor, const GeodeticPoint& observer, double min_elevation_rad,
              Duration min_step, Duration max_step);

  std::optional<Instant> next_time(Instant now, const EventSample* last) const;

  // The bounds the stride rests on, for screens that skip whole stretches of time: the largest
  // central angle between the observer and the sub-satellite point at which the satellite can
  // stand at the minimum elevation (pi or more: always), and the highest rate of that angle.
  double visible_angle_rad() const { return visible_angle_rad_; }
  double max_ground_rate_rad_s() const { return max_ground_rate_rad_s_; }
  // The satellite's distance from the Earth's centre stays within these (with the margin above).
  double lowest_radius_m() const { return lowest_radius_m_; }
  double highest_radius_m() const { return highest_radius_m_; }

 private:
  double central_angle_rad(double elevation_rad, double satellite_radius_m) const;
  // The shortest time in which the satellite, now at this elevation, can reach the minimum.
  Duration rising_cap(double elevation_rad) const;

  ThresholdStep threshold_;
  double min_elevation_rad_;
  double observer_radius_m_;
  double lowest_radius_m_;
  double highest_radius_m_;
  double visible_angle_rad_;  // the largest central angle at which the minimum can be reached
  double max_ground_rate_rad_s_;
};

// Options of the pass iterator; transit detection reads only walk_step and
// max_transit_duration. Steps below 1 s are raised to 1 s.
struct TransitIterOpts {
  Duration min_step = Duration::seconds(10);    // shortest coarse stride
  Duration max_step = Duration::seconds(600);   // longest coarse stride; raised to min_step
  Duration walk_step = Duration::seconds(30);   // step of the walks from inside a pass to its edges
  Duration max_transit_duration = Duration::seconds(3600);  // a longer pass is a WindowTooLong error
  bool skip_leading_partial = true;  // false: a pass in progress at the start gets its true AoS
  bool clamp_to_interval = false;    // true: a pass in progress at either end is cut there
  friend bool operator==(const TransitIterOpts&, const TransitIterOpts&) = default;
};

struct MaxElevationOpts {
  Duration scan_step = Duration::seconds(10);  // fixed step of the elevation-rate scan; floor 1 s
  friend bool operator==(const MaxElevationOpts&, const MaxElevationOpts&) = default;
};

// One pass.
struct Transit {
  Instant aos;
  Instant los;
  friend bool operator==(const Transit&, const Transit&) = default;
};

using TransitItem = std::expected<Transit, Error>;

// The highest point of the satellite over an interval.
struct ElevationPeak {
  Instant time;
  Observation observation;  // as observe_at gives it at `time`
  friend bool operator==(const ElevationPeak&, const ElevationPeak&) = default;
};

// Passes in time order, each once; a failure (propagation, refinement, a pass reaching
// max_transit_duration) is an item and the scan goes on after it. Owns its copy of the
// predictor.
class TransitIter {
 public:
  TransitIter(const Predictor& predictor, const GeodeticPoint& observer, TimeInterval interval,
              const TransitIterOpts& opts, double min_elevation_rad, const Refinement& refinement);

  // Nothing once the interval is exhausted, on every later call too.
  std::optional<TransitItem> next();

 private:
  WindowIter<ElevationAboveMin, TransitStep> windows_;
};

// Passes above min_elevation_deg over the observer in the interval, refined with the
// predictor's Refinement.
[[nodiscard]] TransitIter transits_iter_with_opts(const Predictor& predictor, const GeodeticPoint& observer,
                                                  TimeInterval interval, double min_elevation_deg,
                                                  const TransitIterOpts& opts = {});

// The pass in progress at t, never cut (its AoS and LoS may lie anywhere within
// max_transit_duration of t), or nothing when the elevation at t is below the minimum. Fails
// with WindowTooLong for a satellite that stays above the minimum (a geostationary one).
[[nodiscard]] std::expected<std::optional<Transit>, Error> detect_transit_with_opts(
    const Predictor& predictor, Instant t, const GeodeticPoint& observer, double min_elevation_deg,
    const TransitIterOpts& opts = {});

// The instant of highest elevation in the interval: the local maxima found by a fixed-step scan
// of the elevation rate (refined by false position and bisection), and the interval ends. A
// maximum between the last scan sample and the interval end is represented by the end itself.
[[nodiscard]] std::expected<ElevationPeak, Error> max_elevation_with_opts(const Predictor& predictor,
                                                                          TimeInterval interval,
                                                                          const GeodeticPoint& observer,
                                                                          const MaxElevationOpts& opts = {});

}  // namespace satvane
