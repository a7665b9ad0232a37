#include "satvane/horizon.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "satvane/observe.hpp"

namespace satvane {
namespace {

constexpr Duration kStepFloor = Duration::seconds(1);

// printf's %g writes numbers as Python's :g does, so the texts match the Python HorizonMask's.
template <class... Values>
std::unexpected<std::string> fault(const char* format, Values... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  return std::unexpected(std::string(text));
}

}  // namespace

std::expected<HorizonMask, std::string> HorizonMask::from_points(std::span<const MaskPoint> points) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto [azimuth_deg, elevation_deg] = points[i];
    if (!(azimuth_deg >= 0.0 && azimuth_deg < 360.0))
      return fault("horizon mask point %zu: azimuth %g is outside [0, 360) degrees", i, azimuth_deg);
    if (!(elevation_deg >= -90.0 && elevation_deg <= 90.0))
      return fault("horizon mask point %zu: elevation %g is outside [-90, 90] degrees", i, elevation_deg);
    if (i > 0 && azimuth_deg <= points[i - 1].azimuth_deg)
      return fault("horizon mask point %zu: azimuth %g does not follow %g; azimuths must rise", i, azimuth_deg,
                   points[i - 1].azimuth_deg);
  }
  if (points.size() < 2) return fault("a horizon mask needs at least two points, got %zu", points.size());
  return HorizonMask(std::vector<MaskPoint>(points.begin(), points.end()));
}

HorizonMask::HorizonMask(std::vector<MaskPoint> points) : points_(std::move(points)) {
  const auto [lowest, highest] = std::ranges::minmax(points_, {}, &MaskPoint::elevation_deg);
  lowest_deg_ = lowest.elevation_deg;
  highest_deg_ = highest.elevation_deg;
}

HorizonMask::Limit HorizonMask::at(double azimuth_deg) const {
  double azimuth = std::fmod(azimuth_deg, 360.0);
  if (azimuth < 0.0) azimuth += 360.0;
  const auto after = std::ranges::upper_bound(points_, azimuth, {}, &MaskPoint::azimuth_deg);
  MaskPoint from, to;
  if (after != points_.begin() && after != points_.end()) {
    from = *(after - 1);
    to = *after;
  } else {  // between the last point and the first, across north
    from = points_.back();
    to = {points_.front().azimuth_deg + 360.0, points_.front().elevation_deg};
    if (azimuth < from.azimuth_deg) azimuth += 360.0;
  }
  const double slope = (to.elevation_deg - from.elevation_deg) / (to.azimuth_deg - from.azimuth_deg);
  return {from.elevation_deg + (to.elevation_deg - from.elevation_deg) * (azimuth - from.azimuth_deg) /
                                   (to.azimuth_deg - from.azimuth_deg),
          slope};
}

ElevationAboveMask::ElevationAboveMask(const Predictor& predictor, const GeodeticPoint& observer, HorizonMask mask,
                                       LastElevation* last_elevation)
    : predictor_(predictor), frame_(EnuFrame::of(observer)), mask_(std::move(mask)),
      last_elevation_(last_elevation) {}

SampleResult ElevationAboveMask::sample(Instant t) const {
  const auto teme = predictor_.propagate(t);
  if (!teme) return std::unexpected(teme.error());
  const StateVector<Enu> enu = to_enu(to_ecef(*teme, t), frame_);
  const auto [elevation_rad, elevation_rate_rad_s] = elevation_and_rate(enu);
  *last_elevation_ = {t, elevation_rad, elevation_rate_rad_s};
  const auto [e, n, u] = enu.position_m;
  const auto [ve, vn, vu] = enu.velocity_m_s;
  const double horizontal2_m2 = e * e + n * n;
  const auto [limit_deg, slope] = mask_.at(std::atan2(e, n) * kRadToDeg);
  std::optional<double> rate_rad_s;
  if (horizontal2_m2 > 1e-24) rate_rad_s = elevation_rate_rad_s - slope * (n * ve - e * vn) / horizontal2_m2;
  return EventSample{elevation_rad - limit_deg * kDegToRad, rate_rad_s, t};
}

MaskStep::MaskStep(const Predictor& predictor, const GeodeticPoint& observer, double lowest_rad, Duration min_step,
                   Duration max_step, const LastElevation* last_elevation)
    : below_(predictor, observer, lowest_rad, min_step, max_step), lowest_rad_(lowest_rad),
      min_step_(std::max(min_step, kStepFloor)), last_elevation_(last_elevation) {}

std::optional<Instant> MaskStep::next_time(Instant now, const EventSample* last) const {
  const LastElevation& seen = *last_elevation_;
  if (last && seen.time == now && seen.elevation_rad < lowest_rad_) {
    // Under every part of the mask: the pass scan's stride, on the elevation above the lowest.
    const EventSample above_lowest{seen.elevation_rad - lowest_rad_, seen.rate_rad_s, now};
    return below_.next_time(now, &above_lowest);
  }
  return now.checked_add(min_step_);
}

MaskPassIter::MaskPassIter(const Predictor& predictor, const GeodeticPoint& observer, const HorizonMask& mask,
                           TimeInterval interval, const TransitIterOpts& opts)
    : last_elevation_(std::make_unique<LastElevation>()),
      windows_(*window_iter_builder()
                    .function(ElevationAboveMask(predictor, observer, mask, last_elevation_.get()))
                    .step_strategy(MaskStep(predictor, observer, mask.lowest_deg() * kDegToRad, opts.min_step,
                                            opts.max_step, last_elevation_.get()))
                    .refinement(predictor.refinement())
                    .walk_step(std::min(opts.walk_step, std::max(opts.min_step, kStepFloor)))
                    .max_window_duration(opts.max_transit_duration)
                    .skip_leading_partial(opts.skip_leading_partial)
                    .clamp_to_interval(opts.clamp_to_interval)
                    .interval(interval.start, interval.end)
                    .build()) {}  // cannot fail: the interval is set

std::optional<TransitItem> MaskPassIter::next() {
  auto item = windows_.next();
  if (!item) return std::nullopt;
  if (!*item) return std::unexpected(std::move(item->error()));
  return Transit{(*item)->start, (*item)->end};
}

MaskPassIter mask_passes_with_opts(const Predictor& predictor, const GeodeticPoint& observer,
                                   const HorizonMask& mask, TimeInterval interval, const TransitIterOpts& opts) {
  return MaskPassIter(predictor, observer, mask, interval, opts);
}

}  // namespace satvane
