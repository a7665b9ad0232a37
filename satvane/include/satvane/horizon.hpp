// Horizon masks: a minimum elevation that depends on azimuth, for stations behind buildings or
// hills, and the passes of a satellite above one.
//
// A mask is a list of (azimuth, elevation) points in degrees, azimuths rising within [0, 360);
// between two points the minimum elevation runs linearly in azimuth, and from the last point
// it runs on past north to the first. The elevation and azimuth are those of the pass search
// (transits.hpp: geometric, in the observer's ENU frame), with its accuracy.
//
// The pass search above a mask runs the detection engine on the elevation above the mask, with
// the pass scan's stride (TransitStep) at the mask's lowest elevation while the satellite is
// below it, and every min_step while it is above the lowest elevation but under the mask. So a
// pass above the mask that lasts min_step or longer is found, as with a flat minimum, and its
// edges are refined to the predictor's time tolerance.
#pragma once

#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "satvane/detect.hpp"
#include "satvane/error.hpp"
#include "satvane/frames.hpp"
#include "satvane/predictor.hpp"
#include "satvane/transits.hpp"

namespace satvane {

struct MaskPoint {
  double azimuth_deg;
  double elevation_deg;
};

class HorizonMask {
 public:
  // At least two points, azimuths rising within [0, 360), elevations within [-90, 90]; else the
  // text of the first fault, as the Python HorizonMask words it.
  static std::expected<HorizonMask, std::string> from_points(std::span<const MaskPoint> points);

  // The mask's elevation at an azimuth (any value: taken modulo 360), and its slope there in
  // degrees of elevation per degree of azimuth.
  struct Limit {
    double elevation_deg;
    double slope;
  };
  Limit at(double azimuth_deg) const;

  double lowest_deg() const { return lowest_deg_; }
  double highest_deg() const { return highest_deg_; }

 private:
  explicit HorizonMask(std::vector<MaskPoint> points);

  std::vector<MaskPoint> points_;
  double lowest_deg_;
  double highest_deg_;
};

// The elevation and its rate at the instant a mask search sampled last: the event function
// writes it, the step strategy reads it (its samples carry only the value above the mask).
struct LastElevation {
  std::optional<Instant> time;
  double elevation_rad = 0.0;
  double rate_rad_s = 0.0;
};

// Event function of passes above a mask: elevation minus the mask's elevation at the current
// azimuth (radians), with its rate as derivative: the elevation rate less the mask's slope
// times the azimuth rate (none at the zenith, where the azimuth has no rate).
class ElevationAboveMask {
 public:
  ElevationAboveMask(const Predictor& predictor, const GeodeticPoint& observer, HorizonMask mask,
                     LastElevation* last_elevation);

  SampleResult sample(Instant t) const;

 private:
  Predictor predictor_;
  EnuFrame frame_;
  HorizonMask mask_;
  LastElevation* last_elevation_;
};

// Coarse stride of the search above a mask: the pass scan's at the lowest elevation while the
// satellite is below it, every min_step above it (under the mask a window can open at any
// moment as the azimuth turns) or where the elevation at `now` is not known.
class MaskStep {
 public:
  MaskStep(const Predictor& predictor, const GeodeticPoint& observer, double lowest_rad, Duration min_step,
           Duration max_step, const LastElevation* last_elevation);

  std::optional<Instant> next_time(Instant now, const EventSample* last) const;

 private:
  TransitStep below_;
  double lowest_rad_;
  Duration min_step_;
  const LastElevation* last_elevation_;
};

// Passes above the mask in time order, each once, with the options and failures of the plain
// pass iterator. The walks to a pass's edges step at most min_step, so that a dip under the mask
// that lasts min_step splits two passes as the scan would.
class MaskPassIter {
 public:
  MaskPassIter(const Predictor& predictor, const GeodeticPoint& observer, const HorizonMask& mask,
               TimeInterval interval, const TransitIterOpts& opts);

  // Nothing once the interval is exhausted, on every later call too.
  std::optional<TransitItem> next();

 private:
  std::unique_ptr<LastElevation> last_elevation_;  // on the heap: the iterator may move
  WindowIter<ElevationAboveMask, MaskStep> windows_;
};

[[nodiscard]] MaskPassIter mask_passes_with_opts(const Predictor& predictor, const GeodeticPoint& observer,
                                                 const HorizonMask& mask, TimeInterval interval,
                                                 const TransitIterOpts& opts = {});

}  // namespace satvane
