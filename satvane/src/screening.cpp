#include "satvane/screening.hpp"

#include <algorithm>
#include <cmath>
#include <expected>
#include <limits>
#include <numbers>
#include <system_error>
#include <tuple>
#include <utility>

#include "satvane/frames.hpp"
#include "satvane/illumination.hpp"

namespace satvane {
namespace {

// Half a grid step of ground travel is the margin added to the visible angle: a larger margin
// widens the stretches searched, a smaller one makes the grid finer.
constexpr double kGridMargin_rad = 28.0 * kDegToRad;
constexpr std::int64_t kShortestGridStep_s = 10;
constexpr std::int64_t kLongestGridStep_s = 1200;
// Inside a pass the scan strides at most this many walk steps.
constexpr double kInsideStrideCap = 10.0;
// Precision of the decay instant, in whole seconds (a decay is reported at most this late).
constexpr std::int64_t kDecayPrecision_s = 1;

Duration grid_step(double max_ground_rate_rad_s) {
  const double step_s = 2.0 * kGridMargin_rad / max_ground_rate_rad_s;
  if (!(step_s >= double(kShortestGridStep_s))) return Duration::seconds(kShortestGridStep_s);
  return Duration::seconds(std::min(std::int64_t(step_s), kLongestGridStep_s));
}

// Steps below 1 s are raised to 1 s, as the pass iterator does.
double floored_s(Duration step) { return std::max(step, Duration::seconds(1)).as_seconds_f64(); }

// The cosine of a central angle; below -1 for an angle of pi or more, or none (always within it).
double cos_of_angle(double angle_rad) {
  return angle_rad >= std::numbers::pi || std::isnan(angle_rad) ? -2.0 : std::cos(angle_rad);
}

Vec3 unit(const Vec3& v) {
  const double n = norm(v);
  return {v.x / n, v.y / n, v.z / n};
}

// The acceleration of a satellite at this ECEF state as seen in the rotating frame, and its rate
// of change (the jerk): gravity of the Earth's mass and its oblateness (J2, the propagator's
// WGS84 values), plus the Coriolis and centrifugal terms. SGP4's trajectory follows these to
// within a millionth of g or so; what limits the interpolation between grid states is rather
// that SGP4's velocity is not exactly the rate of its position (by up to 3 cm/s for low orbits
// and 1.5 m/s for a Molniya orbit near perigee). Over a day of the benchmark catalogue, septic
// Hermite interpolation with these stays within 8 m of the propagator for low orbits (grid step
// 775 s), 8 m for navigation and 13 m for geostationary orbits (1200 s), and 330 m for Molniya
// and transfer orbits (655 s): far inside the margins of the reach test, and close enough that
// most edges and peaks settle at their first real sample.
struct Motion {
  Vec3 acceleration_m_s2;
  Vec3 jerk_m_s3;
};

Motion ecef_motion(const StateVector<Ecef>& ecef) {
  constexpr double kMu_m3_s2 = 398600.5e9;
  constexpr double kJ2 = 0.00108262998905;
  constexpr double w = kEarthRotation_rad_s;
  const Vec3& r = ecef.position_m;
  const Vec3& v = ecef.velocity_m_s;
  const double r2 = dot(r, r);
  const double s = dot(r, v);  // half the rate of r2
  const double base = -kMu_m3_s2 / (r2 * std::sqrt(r2));
  const double oblate = 1.5 * kJ2 * kWgs84A_m * kWgs84A_m / r2;
  const double z2 = r.z * r.z / r2;
  const double equatorial = base * (1 + oblate * (1 - 5 * z2));
  const double polar = base * (1 + oblate * (3 - 5 * z2));
  // Their rates of change along the motion.
  const double base_rate = -3 * base * s / r2;
  const double oblate_rate = -2 * oblate * s / r2;
  const double z2_rate = 2 * (r.z * v.z - z2 * s) / r2;
  const double equatorial_rate =
      base_rate * (1 + oblate * (1 - 5 * z2)) + base * (oblate_rate * (1 - 5 * z2) - 5 * oblate * z2_rate);
  const double polar_rate =
      base_rate * (1 + oblate * (3 - 5 * z2)) + base * (oblate_rate * (3 - 5 * z2) - 5 * oblate * z2_rate);
  const Vec3 a{equatorial * r.x + 2 * w * v.y + w * w * r.x, equatorial * r.y - 2 * w * v.x + w * w * r.y, polar * r.z};
  const Vec3 j{equatorial_rate * r.x + equatorial * v.x + 2 * w * a.y + w * w * v.x,
               equatorial_rate * r.y + equatorial * v.y - 2 * w * a.x + w * w * v.y, polar_rate * r.z + polar * v.z};
  return {a, j};
}

// Inside the WGS84 ellipsoid. TEME and ECEF differ by a rotation about the polar axis, under
// which the ellipsoid is unchanged, so the TEME position answers this directly.
bool below_surface(const Vec3& r_m) {
  return r_m.x * r_m.x + r_m.y * r_m.y + r_m.z * r_m.z / kWgs84OneMinusE2 < kWgs84A2_m2;
}

// The first instant below the surface, to within two seconds, between one above it and one below
// it (or failing, which the decay would explain as well).
Instant decay_instant(const Predictor& predictor, Instant above, Instant below) {
  while ((below - above).whole_seconds() > kDecayPrecision_s) {
    const Instant mid = *above.checked_add(Duration::seconds((below - above).whole_seconds() / 2));
    const auto state = predictor.propagate(mid);
    (state && !below_surface(state->position_m) ? above : below) = mid;
  }
  return below;
}

// The elevation rate as an event function of its own, for the peak: it falls through zero there.
struct ElevationRate {
  const ElevationAboveMin& elevation;
  SampleResult sample(Instant t) const {
    auto at = elevation.sample(t);
    if (!at) return at;
    return EventSample{*at->derivative, std::nullopt, t};
  }
};

// The row of one pass, or the error that stopped it.
std::expected<ScreenedPass, Error> describe(const Predictor& predictor, const GeodeticPoint& observer, Transit transit) {
  const auto peak = max_elevation_with_opts(predictor, {transit.aos, transit.los}, observer);
  if (!peak) return std::unexpected(peak.error());
  const auto at_aos = predictor.observe_at(transit.aos, observer);
  if (!at_aos) return std::unexpected(at_aos.error());
  const auto at_los = predictor.observe_at(transit.los, observer);
  if (!at_los) return std::unexpected(at_los.error());
  const auto light = predictor.illumination_state(peak->time);
  if (!light) return std::unexpected(light.error());
  const Observation& top = peak->observation;
  return ScreenedPass{0,
                      0,
                      transit.aos,
                      peak->time,
                      transit.los,
                      top.elevation_rad,
                      at_aos->azimuth_rad,
                      top.azimuth_rad,
                      at_los->azimuth_rad,
                      top.range_m,
                      *light == IlluminationState::Sunlit,
                      false};
}

}  // namespace

// Where the elevation rises through or falls back to the minimum, between two scan samples of
// the interpolated ephemeris.
struct SatelliteScreen::Crossing {
  double from_s;
  double to_s;
  bool rising;
  Summit summit;  // of a falling crossing: that of the run it ends
};

// One real sample of a pass as its row needs it: the elevation of the pass search (its event
// function's value) and rate, the look angles and range of observe_at, and the TEME position
// for the sunlight at that instant.
struct SatelliteScreen::Look {
  Instant time;
  double event_elevation_rad;  // ElevationAboveMin's
  double rate_rad_s;
  StateVector<Enu> enu;
  Vec3 teme_position_m;

  Observation observation() const { return to_observation(enu); }  // observe_at's
};

SatelliteScreen::Scan::Scan(const SatelliteScreen& screen, std::size_t observer, Instant start, double step_s,
                            double inside_step_s)
    : screen(screen), origin_m(screen.frames_[observer].origin_m),
      up{screen.frames_[observer].cos_lat * screen.frames_[observer].cos_lon,
         screen.frames_[observer].cos_lat * screen.frames_[observer].sin_lon, screen.frames_[observer].sin_lat},
      observer_unit(screen.observer_units_[observer]),
      cos_visible_angle(cos_of_angle(screen.visible_angle_rad_[observer])),
      max_elevation_rate_rad_s(screen.max_elevation_rate_rad_s_[observer]),
      start(start), sin_min(std::sin(screen.min_elevation_rad_)), step_s(step_s),
      inside_step_s(inside_step_s) {}

// The sine of the interpolated elevation less the minimum's: no trigonometry per sample.
double SatelliteScreen::Scan::height(double x_s) const { return height_at(screen.position_at(x_s)); }

Vec3 SatelliteScreen::position_at(double x_s) const {
  std::size_t k = x_s > 0 ? std::min(std::size_t(x_s * grid_steps_per_s_), ephemeris_.size() - 1) : 0;
  while (k + 1 < ephemeris_.size() && ephemeris_[k + 1].start_s < x_s) ++k;
  const Segment& segment = ephemeris_[k];
  const double u = (x_s - segment.start_s) * segment.per_length_s;
  const double u2 = u * u, u4 = u2 * u2;
  const auto& c = segment.coefficients;
  // Estrin's scheme: shorter chains of dependent operations than Horner's.
  auto axis = [&](double Vec3::*a) {
    const double low = (c[0].*a + u * c[1].*a) + u2 * (c[2].*a + u * c[3].*a);
    const double high = (c[4].*a + u * c[5].*a) + u2 * (c[6].*a + u * c[7].*a);
    return low + u4 * high;
  };
  return {axis(&Vec3::x), axis(&Vec3::y), axis(&Vec3::z)};
}

SatelliteScreen::Scan::Sample SatelliteScreen::Scan::sample(double x_s) const {
  const Vec3 r = screen.position_at(x_s);
  // Out of reach, the central angle psi must first close by the gap to the visible angle, no
  // faster than the ground rate. Without an arc cosine: the gap is at least the gap in cosines
  // over sin(psi) (up to a right angle; over 1 beyond), the steepest slope of the cosine on it.
  // Scaled by the radius, which spares two divisions on the path from one sample to the next.
  const double r2 = dot(r, r);
  const double toward_m = dot(r, observer_unit);  // |r| cos(psi)
  const double r_m = std::sqrt(r2);
  if (const double lead_m = cos_visible_angle * r_m - toward_m; lead_m > 0) {
    const double across_m = toward_m > 0 ? std::sqrt(r2 - toward_m * toward_m) : r_m;  // |r| sin(psi)
    return {kOutOfReach, lead_m / across_m * screen.seconds_per_ground_rad_};
  }
  return {height_at(r), 0.0};
}

double SatelliteScreen::Scan::height_at(const Vec3& r) const {
  const Vec3 d{r.x - origin_m.x, r.y - origin_m.y, r.z - origin_m.z};
  return dot(d, up) / norm(d) - sin_min;
}

double SatelliteScreen::Scan::stride_s(const Sample& at, bool inside) const {
  if (!inside) return std::max(step_s, at.out_of_reach_s);
  // The elevation cannot fall by more than the height (a difference of sines) in less than
  // height / max_elevation_rate; the walk step is the floor, and a cap keeps the shape of long
  // passes sampled for their peak.
  const double safe_s = at.height / max_elevation_rate_rad_s;
  return safe_s > inside_step_s ? std::min(safe_s, kInsideStrideCap * inside_step_s) : inside_step_s;
}

double SatelliteScreen::Scan::crossing_s(double a_s, double b_s, bool rising) const {
  // False position with the Illinois rule, to ten microseconds: with the interpolation that
  // close to the propagator, the real elevation there is usually within its tolerance already.
  double fa = height(a_s), fb = height(b_s);
  int kept = 0;  // +1 when a stayed last time, -1 when b did
  double x = (a_s + b_s) / 2;
  for (int k = 0; k < 64 && b_s - a_s > 1e-5; ++k) {
    x = fa == fb ? (a_s + b_s) / 2 : (a_s * fb - b_s * fa) / (fb - fa);
    if (!(x > a_s && x < b_s)) x = (a_s + b_s) / 2;
    const double fx = height(x);
    if ((fx >= 0) == rising) {
      b_s = x, fb = fx;
      if (kept == 1) fa /= 2;
      kept = 1;
    } else {
      a_s = x, fa = fx;
      if (kept == -1) fb /= 2;
      kept = -1;
    }
    if (std::abs(fx) < 1e-12) break;
  }
  return x;
}

SatelliteScreen::Scan::Peak SatelliteScreen::Scan::peak(double a_s, double b_s) const {
  constexpr double kDifference_s = 0.25;
  // Newton steps on central differences, from the vertex of the parabola through the bracket's
  // ends and middle; a golden-section search first where they do not settle.
  auto newton = [&](double at_s, int steps) -> std::optional<Peak> {
    for (int k = 0; k < steps; ++k) {
      const double before = height(at_s - kDifference_s), at = height(at_s);
      const double after = height(at_s + kDifference_s);
      const double curvature_s2 = (before - 2 * at + after) / (kDifference_s * kDifference_s);
      const double step_s = -(after - before) / (2 * kDifference_s) / curvature_s2;
      if (!(curvature_s2 < 0 && std::abs(step_s) < b_s - a_s)) return std::nullopt;
      at_s += step_s;
      if (std::abs(step_s) < 1e-3) return Peak{at_s, curvature_s2};
    }
    return std::nullopt;
  };
  const double m_s = (a_s + b_s) / 2, half_s = (b_s - a_s) / 2;
  const double ha = height(a_s), hm = height(m_s), hb = height(b_s);
  if (const double bend = ha - 2 * hm + hb; bend < 0) {
    if (auto peak = newton(m_s + half_s * (ha - hb) / (2 * bend), 3)) return *peak;
  }
  constexpr double kInverseGolden = 0.6180339887498949;
  double c = b_s - kInverseGolden * (b_s - a_s), d = a_s + kInverseGolden * (b_s - a_s);
  double hc = height(c), hd = height(d);
  while (b_s - a_s > 0.5) {
    if (hc > hd) {
      b_s = d, d = c, hd = hc;
      c = b_s - kInverseGolden * (b_s - a_s), hc = height(c);
    } else {
      a_s = c, c = d, hc = hd;
      d = a_s + kInverseGolden * (b_s - a_s), hd = height(d);
    }
  }
  return newton((a_s + b_s) / 2, 3).value_or(Peak{(a_s + b_s) / 2, 0.0});  // 0: not a clear peak
}

double SatelliteScreen::Scan::offset_s(Instant t) const { return (t - start).as_seconds_f64(); }

Instant SatelliteScreen::Scan::instant(double x_s) const { return f64_to_datetime(datetime_to_f64(start) + x_s); }

std::expected<SatelliteScreen::Look, Error> SatelliteScreen::look(const Predictor& predictor, std::size_t observer,
                                                                   Instant t) const {
  const auto teme = predictor.propagate(t);
  if (!teme) return std::unexpected(teme.error());
  const StateVector<Enu> enu = to_enu(to_ecef(*teme, t), frames_[observer]);
  const ElevationAndRate elevation = elevation_and_rate(enu);
  return Look{t, elevation.elevation_rad, elevation.rate_rad_s, enu, teme->position_m};
}

// The instant at which the elevation crosses the minimum, between two scan samples. The
// interpolated ephemeris places it within milliseconds at most, and Newton steps on the real
// elevation from there converge on it: the edge is the first sample whose Newton step is below
// the time tolerance (which bounds its distance from the crossing to first order). When
// the second sample is not yet that close, two real samples closer than the tolerance that
// straddle the crossing prove it instead (the propagator takes whole milliseconds, so the pair
// may have to step along once or twice), and the end nearer the crossing is the edge, as the
// root finder's rule has it. Nothing when that does not settle it: the root finder takes over.
std::expected<std::optional<SatelliteScreen::Look>, Error> SatelliteScreen::settle_edge(
    const Predictor& predictor, const Scan& scan, std::size_t observer, const Crossing& crossing) const {
  const double tolerance_s = predictor.refinement().time_tolerance;
  if (!(tolerance_s >= 1e-5 && tolerance_s <= scan.step_s)) return std::nullopt;
  const double half_s = 0.45 * tolerance_s;
  auto newton_step_s = [this](const Look& at) {
    return -(at.event_elevation_rad - min_elevation_rad_) / at.rate_rad_s;
  };
  const double x0 = scan.crossing_s(crossing.from_s, crossing.to_s, crossing.rising);
  const auto start = look(predictor, observer, scan.instant(x0));
  if (!start) return std::unexpected(start.error());
  if (std::abs(newton_step_s(*start)) < tolerance_s) return *start;
  const double x1 = x0 + newton_step_s(*start);
  if (!(std::abs(x1 - x0) <= scan.step_s)) return std::nullopt;  // also a rate of 0 or NaN
  const auto next = look(predictor, observer, scan.instant(x1));
  if (!next) return std::unexpected(next.error());
  const double step_s = newton_step_s(*next);
  if (std::abs(step_s) < tolerance_s) return *next;
  if (!(std::abs(step_s) <= scan.step_s)) return std::nullopt;
  double a_s = x1 + step_s - half_s, b_s = x1 + step_s + half_s;
  auto a = look(predictor, observer, scan.instant(a_s));
  if (!a) return std::unexpected(a.error());
  auto b = look(predictor, observer, scan.instant(b_s));
  if (!b) return std::unexpected(b.error());
  for (int shift = 0;; ++shift) {
    const double value_a = a->event_elevation_rad - min_elevation_rad_;
    const double value_b = b->event_elevation_rad - min_elevation_rad_;
    if ((value_a > 0) != (value_b > 0)) return std::abs(value_a) <= std::abs(value_b) ? *a : *b;
    if (shift == 2) return std::nullopt;
    // Both before the crossing (on the side it leaves) or both after it.
    if ((value_a > 0) != crossing.rising) {
      a = b, a_s = b_s, b_s += 2 * half_s;
      b = look(predictor, observer, scan.instant(b_s));
      if (!b) return std::unexpected(b.error());
    } else {
      b = a, b_s = a_s, a_s -= 2 * half_s;
      a = look(predictor, observer, scan.instant(a_s));
      if (!a) return std::unexpected(a.error());
    }
  }
}

// The peak, where the real elevation rate falls through zero next to the interpolated peak.
// The interpolation's curvature there turns the real rate into a Newton step, and a sample
// whose step is below the time tolerance is the peak (usually the first). Otherwise, or with no
// usable curvature (near the zenith, where the elevation has a corner, or on a flat peak), two
// real rates a little either side and their secant find it; where the interpolation put the
// peak further off than that (the flat peaks of slow satellites), the secant points at it, and
// the pair moves there, a few times at most. Nothing when that does not settle it either (a
// peak at an end of a clamped pass, a flat one): the widening search takes over.
std::expected<std::optional<SatelliteScreen::Look>, Error> SatelliteScreen::settle_peak(
    const Predictor& predictor, const Scan& scan, std::size_t observer, const Summit& summit, double aos_s,
    double los_s) const {
  // The secant's own error is some tens of microseconds: finer tolerances go to the root finder.
  const double tolerance_s = predictor.refinement().time_tolerance;
  if (!(tolerance_s >= 1e-4)) return std::nullopt;
  const Scan::Peak interpolated = scan.peak(std::max(summit.before_s, aos_s), std::min(summit.after_s, los_s));
  double p = interpolated.at_s;
  for (int newton = 0; newton < 2 && interpolated.curvature_s2 < 0 && p > aos_s && p < los_s; ++newton) {
    const auto at = look(predictor, observer, scan.instant(p));
    if (!at) return std::unexpected(at.error());
    // At the peak the sine's curvature is the elevation's times its cosine.
    const double cos_elevation = std::cos(at->event_elevation_rad);
    if (!(cos_elevation > 0.1)) break;
    const double step_s = -at->rate_rad_s * cos_elevation / interpolated.curvature_s2;
    if (std::abs(step_s) < tolerance_s) return *at;
    if (!(std::abs(step_s) < scan.step_s)) break;
    p += step_s;
  }
  constexpr double kProbe_s = 0.25;
  for (int move = 0; move < 4; ++move) {
    if (!(p - kProbe_s > aos_s && p + kProbe_s < los_s)) return std::nullopt;
    const auto rising = look(predictor, observer, scan.instant(p - kProbe_s));
    if (!rising) return std::unexpected(rising.error());
    const auto falling = look(predictor, observer, scan.instant(p + kProbe_s));
    if (!falling) return std::unexpected(falling.error());
    const double r1 = rising->rate_rad_s, r2 = falling->rate_rad_s;
    if (!(r1 > r2)) return std::nullopt;  // not a peak the secant can find
    const double zero_s = p - kProbe_s + 2 * kProbe_s * r1 / (r1 - r2);
    if (r1 > 0 && r2 < 0) {
      const auto top = look(predictor, observer, scan.instant(zero_s));
      if (!top) return std::unexpected(top.error());
      return *top;
    }
    p = zero_s;
  }
  return std::nullopt;
}

// The row of a pass whose edges are known. Its peak is where the elevation rate falls through
// zero (max_elevation's rule); a pass clamped while still rising or already falling peaks at
// that end.
std::expected<ScreenedPass, Error> SatelliteScreen::describe_fast(const Predictor& predictor, std::size_t observer,
                                                                 const Look& aos, const Look& los,
                                                                 const Summit& summit, const Scan& scan) {
  const double aos_s = scan.offset_s(aos.time);
  const double los_s = scan.offset_s(los.time);
  auto row = [&](const Look& top) {
    const Observation peak = top.observation();
    return ScreenedPass{0, 0, aos.time, top.time, los.time, peak.elevation_rad, aos.observation().azimuth_rad,
                        peak.azimuth_rad, los.observation().azimuth_rad, peak.range_m,
                        shadow_value(top.teme_position_m, top.time) < 0.0, false};
  };
  const auto quick = settle_peak(predictor, scan, observer, summit, aos_s, los_s);
  if (!quick) return std::unexpected(quick.error());
  if (*quick) return row(**quick);

  // Widened while the interpolation's peak is off the real one (on flat peaks of slow satellites).
  const ElevationAboveMin elevation(predictor, request_.observers[observer], min_elevation_rad_);
  double best_s = summit.best_s;
  if (scan.height(aos_s) >= scan.height(best_s)) best_s = aos_s;
  if (scan.height(los_s) > scan.height(best_s)) best_s = los_s;
  Instant peak_time = best_s == aos_s ? aos.time : los.time;
  bool settled = false;
  for (double reach_s = scan.step_s; !settled && reach_s < 128 * scan.step_s; reach_s *= 4) {
    const Instant from = best_s - reach_s > aos_s ? scan.instant(best_s - reach_s) : aos.time;
    const Instant to = best_s + reach_s < los_s ? scan.instant(best_s + reach_s) : los.time;
    const auto rise = elevation.sample(from);
    if (!rise) return std::unexpected(rise.error());
    const auto fall = elevation.sample(to);
    if (!fall) return std::unexpected(fall.error());
    if (*rise->derivative > 0 && *fall->derivative < 0) {
      ElevationRate rate{elevation};
      const auto root = refine_crossing(rate, predictor.refinement(), from, to);
      if (!root) break;
      peak_time = *root;
      settled = true;
    } else if (best_s == aos_s || best_s == los_s) {
      settled = true;  // highest at an end of a clamped pass
    }
  }
  if (!settled) return describe(predictor, request_.observers[observer], {aos.time, los.time});  // the full scan
  const auto top = look(predictor, observer, peak_time);
  if (!top) return std::unexpected(top.error());
  return row(*top);
}

SatelliteScreen::SatelliteScreen(const ScreeningRequest& request)
    : request_(request), min_elevation_rad_(request.min_elevation_deg * kDegToRad),
      cos_threshold_(request.observers.size()), visible_angle_rad_(request.observers.size()),
      max_elevation_rate_rad_s_(request.observers.size()),
      open_(request.observers.size()) {
  observer_units_.reserve(request.observers.size());
  frames_.reserve(request.observers.size());
  for (const GeodeticPoint& observer : request.observers) {
    frames_.push_back(EnuFrame::of(observer));
    observer_units_.push_back(unit(frames_.back().origin_m));
  }
}

void SatelliteScreen::screen(std::size_t satellite, ScreeningResult& out, const std::atomic<bool>& cancelled) {
  const Predictor& predictor = *request_.satellites[satellite];
  const auto& observers = request_.observers;
  const TransitIterOpts& opts = request_.opts;
  if (observers.empty()) return;

  // The thresholds: a satellite whose sub-point lies further than this from an observer at both
  // ends of a grid step cannot be above the minimum anywhere in that step.
  double max_rate_rad_s = 0;
  for (std::size_t o = 0; o < observers.size(); ++o) {
    const TransitStep bounds(predictor, observers[o], min_elevation_rad_, opts.min_step, opts.max_step);
    max_rate_rad_s = bounds.max_ground_rate_rad_s();  // the satellite's alone, the same for every observer
    const Duration step = grid_step(max_rate_rad_s);
    visible_angle_rad_[o] = bounds.visible_angle_rad();
    // The line of sight turns no faster than the satellite's speed over the range: its speed
    // relative to the ground is at most the highest ground rate times the highest radius, and
    // the range at least the lowest radius less the observer's (no bound when that is not
    // positive).
    const double nearest_m = bounds.lowest_radius_m() - norm(frames_[o].origin_m);
    max_elevation_rate_rad_s_[o] = nearest_m > 0 ? max_rate_rad_s * bounds.highest_radius_m() / nearest_m
                                                 : std::numeric_limits<double>::infinity();
    const double angle_rad = bounds.visible_angle_rad() + max_rate_rad_s * step.as_seconds_f64() / 2;
    cos_threshold_[o] = cos_of_angle(angle_rad);
  }
  seconds_per_ground_rad_ = 1 / max_rate_rad_s;
  const Duration step = grid_step(max_rate_rad_s);
  grid_steps_per_s_ = 1 / step.as_seconds_f64();

  // The grid scan: stretches open one grid step before the first sample within reach and close
  // at the first sample out of reach again, so that both ends are provably below the minimum.
  const TimeInterval interval = request_.interval;
  std::fill(open_.begin(), open_.end(), std::nullopt);
  stretches_.clear();
  Instant end = interval.end;  // of this satellite's search: earlier if it fails or decays
  ephemeris_.clear();
  std::optional<ScreeningError> failure;
  std::optional<Instant> previous;
  GridState last_state{};
  for (Instant t = interval.start;; t = std::min(t.checked_add(step).value_or(interval.end), interval.end)) {
    const auto teme = predictor.propagate(t);
    if (!teme || below_surface(teme->position_m)) {
      const Instant failed_at = !teme || !previous ? t : decay_instant(predictor, *previous, t);
      // The search goes up to the decay, or to the last instant that propagated.
      end = teme ? failed_at : previous.value_or(t);
      failure = ScreeningError{satellite, std::nullopt, failed_at, teme ? kDecayedText : teme.error().display()};
      break;
    }
    const StateVector<Ecef> ecef = to_ecef(*teme, t);
    const Motion motion = ecef_motion(ecef);
    const GridState state{(t - interval.start).as_seconds_f64(), ecef.position_m, ecef.velocity_m_s,
                          motion.acceleration_m_s2, motion.jerk_m_s3};
    if (previous) ephemeris_.push_back(Segment::between(last_state, state));
    last_state = state;
    const Vec3 direction = unit(ecef.position_m);
    for (std::size_t o = 0; o < observers.size(); ++o) {
      const bool within_reach = dot(direction, observer_units_[o]) >= cos_threshold_[o];
      if (within_reach && !open_[o]) {
        open_[o] = previous.value_or(t);
      } else if (!within_reach && open_[o]) {
        stretches_.push_back({o, *open_[o], t, false});
        open_[o] = std::nullopt;
      }
    }
    previous = t;
    if (t == interval.end) break;
  }
  for (std::size_t o = 0; o < observers.size(); ++o) {
    if (open_[o] && *open_[o] < end) stretches_.push_back({o, *open_[o], end, failure.has_value()});
  }

  // In time order, so that a failure part way ends the satellite's passes at one instant.
  std::sort(stretches_.begin(), stretches_.end(),
            [](const Stretch& a, const Stretch& b) { return std::tie(a.start, a.observer) < std::tie(b.start, b.observer); });
  const auto first_pass = std::ptrdiff_t(out.passes.size());
  for (const Stretch& stretch : stretches_) {
    if (cancelled.load(std::memory_order_relaxed)) return;
    if (auto error = search_stretch(satellite, stretch, ScreeningRun{predictor, opts}, out)) {
      failure = ScreeningError{satellite, std::nullopt, stretch.start, error->display()};
      const auto from = std::remove_if(out.passes.begin() + first_pass, out.passes.end(),
                                       [&](const ScreenedPass& p) { return !(p.aos < stretch.start); });
      out.passes.erase(from, out.passes.end());
      break;
    }
  }
  if (failure) out.errors.push_back(std::move(*failure));
  std::sort(out.passes.begin() + first_pass, out.passes.end(),
            [](const ScreenedPass& a, const ScreenedPass& b) { return std::tie(a.observer, a.aos) < std::tie(b.observer, b.aos); });
}


// Septic Hermite interpolation from the positions, velocities, accelerations and jerks at both
// ends, in the power basis so that each position is three Horner evaluations.
SatelliteScreen::Segment SatelliteScreen::Segment::between(const GridState& a, const GridState& b) {
  const double h = b.x_s - a.x_s, h2 = h * h, h3 = h2 * h;
  // With the derivatives scaled to u: p, v h, a h^2, j h^3 at either end.
  auto combine = [&](double p0, double v0, double a0, double j0, double p1, double v1, double a1, double j1) {
    auto axis = [&](double Vec3::*c) {
      return p0 * a.position_m.*c + v0 * h * a.velocity_m_s.*c + a0 * h2 * a.acceleration_m_s2.*c +
             j0 * h3 * a.jerk_m_s3.*c + p1 * b.position_m.*c + v1 * h * b.velocity_m_s.*c +
             a1 * h2 * b.acceleration_m_s2.*c + j1 * h3 * b.jerk_m_s3.*c;
    };
    return Vec3{axis(&Vec3::x), axis(&Vec3::y), axis(&Vec3::z)};
  };
  return {a.x_s,
          1 / h,
          {combine(1, 0, 0, 0, 0, 0, 0, 0), combine(0, 1, 0, 0, 0, 0, 0, 0), combine(0, 0, 0.5, 0, 0, 0, 0, 0),
           combine(0, 0, 0, 1.0 / 6, 0, 0, 0, 0), combine(-35, -20, -5, -2.0 / 3, 35, -15, 2.5, -1.0 / 6),
           combine(84, 45, 10, 1, -84, 39, -7, 0.5), combine(-70, -36, -7.5, -2.0 / 3, 70, -34, 6.5, -0.5),
           combine(20, 10, 2, 1.0 / 6, -20, 10, -2, 1.0 / 6)}};
}



std::optional<Error> SatelliteScreen::search_stretch(std::size_t satellite, const Stretch& stretch,
                                                    const ScreeningRun& run, ScreeningResult& out) {
  const TimeInterval& interval = request_.interval;
  const TransitIterOpts& opts = run.opts;
  const bool at_start = stretch.start == interval.start;
  // The interpolated scan does not reach past the grid, nor find the true edges of a pass in
  // progress at an end of the interval: those stretches are searched sample by sample.
  const bool exact_only = stretch.cut_at_end || ephemeris_.empty() ||
                          (at_start && !opts.skip_leading_partial && !opts.clamp_to_interval);
  if (exact_only) return search_stretch_exact(satellite, stretch, out);

  const std::size_t observer = stretch.observer;
  const Scan scan(*this, observer, interval.start, floored_s(opts.min_step), floored_s(opts.walk_step));
  const double from_s = scan.offset_s(stretch.start);
  const double to_s = scan.offset_s(stretch.end);
  // Samples every step within reach of the observer, strides over what is provably out of reach,
  // and walks through a pass at the walk step, as the pass iterator does. Each falling crossing
  // carries the highest sample of the run it ends.
  crossings_.clear();
  Scan::Sample at = scan.sample(from_s);
  bool inside = at.height >= 0;
  const bool leading = inside;  // only at the interval start: elsewhere a stretch starts low
  Summit summit{from_s, from_s, from_s};
  double best = at.height;
  for (double x = from_s; x < to_s;) {
    const double next = std::min(x + scan.stride_s(at, inside), to_s);
    at = scan.sample(next);
    if (summit.best_s == x) summit.after_s = next;
    if ((at.height >= 0) != inside) {
      inside = !inside;
      crossings_.push_back({x, next, inside, summit});
      best = -std::numeric_limits<double>::infinity();
    }
    if (inside && at.height > best) best = at.height, summit = {next, x, next};
    x = next;
  }
  // A pass still up at the interval end has its true LoS beyond it unless clamped.
  if (inside && !opts.clamp_to_interval) return search_stretch_exact(satellite, stretch, out);

  const Predictor& predictor = run.predictor;
  const double step_s = scan.step_s;
  // An edge: settled next to the interpolation's crossing, else refined by the root finder
  // (widening the bracket where the interpolation put it a little off); nothing when that does
  // not bracket it either. A settled edge never leaves the stretch (whose ends are provably low,
  // or the interval's ends): one that would goes to the root finder, which keeps to it.
  auto refine = [&](const Crossing& c) -> std::expected<std::optional<Look>, Error> {
    auto settled = settle_edge(predictor, scan, observer, c);
    if (!settled) return settled;
    if (*settled && stretch.start <= (*settled)->time && (*settled)->time <= stretch.end) return settled;
    const ElevationAboveMin elevation(predictor, request_.observers[observer], min_elevation_rad_);
    for (int widen = 0; widen < 3; ++widen) {
      const double a = std::max(c.from_s - widen * step_s, from_s);
      const double b = std::min(c.to_s + widen * step_s, to_s);
      auto root = refine_crossing(elevation, predictor.refinement(), scan.instant(a), scan.instant(b));
      if (root) return look(predictor, observer, *root);
      if (root.error().kind() == ErrorKind::Sgp4) return std::unexpected(root.error());
    }
    return std::nullopt;
  };
  auto clamped = [&](Instant t) -> std::expected<std::optional<Look>, Error> { return look(predictor, observer, t); };

  // Crossings alternate, rising first unless the stretch starts inside (at the interval start),
  // where the pass in progress is skipped or clamped there.
  std::size_t k = 0;
  bool clamp_first = false;
  if (leading && opts.skip_leading_partial) k = 1;
  if (leading && !opts.skip_leading_partial) clamp_first = true;
  const std::size_t first_row = out.passes.size();
  while (clamp_first || k < crossings_.size()) {
    auto aos = clamp_first ? clamped(interval.start) : refine(crossings_[k++]);
    clamp_first = false;
    if (!aos) return aos.error();
    if (!*aos) return retry_exact(satellite, stretch, first_row, out);
    const bool falls = k < crossings_.size();
    const Summit& run_summit = falls ? crossings_[k].summit : summit;
    auto los = falls ? refine(crossings_[k++]) : clamped(stretch.end);  // clamped there when still up
    if (!los) return los.error();
    if (!*los) return retry_exact(satellite, stretch, first_row, out);
    if (!((*aos)->time < (*los)->time) || (*los)->time - (*aos)->time > opts.max_transit_duration)
      return retry_exact(satellite, stretch, first_row, out);
    auto pass = describe_fast(predictor, observer, **aos, **los, run_summit, scan);
    if (!pass) {
      if (pass.error().kind() == ErrorKind::Sgp4) return pass.error();
      return retry_exact(satellite, stretch, first_row, out);
    }
    pass->satellite = satellite;
    pass->observer = observer;
    pass->cut = opts.clamp_to_interval && (pass->aos == interval.start || pass->los == interval.end);
    out.passes.push_back(*pass);
  }
  return std::nullopt;
}

// Drops what the interpolated scan found in the stretch and searches it sample by sample.
std::optional<Error> SatelliteScreen::retry_exact(std::size_t satellite, const Stretch& stretch, std::size_t first_row,
                                                 ScreeningResult& out) {
  out.passes.resize(first_row);
  return search_stretch_exact(satellite, stretch, out);
}

std::optional<Error> SatelliteScreen::search_stretch_exact(std::size_t satellite, const Stretch& stretch,
                                                          ScreeningResult& out) {
  const Predictor& predictor = *request_.satellites[satellite];
  const GeodeticPoint& observer = request_.observers[stretch.observer];
  TransitIterOpts opts = request_.opts;
  // Nothing of a satellite is reported past its decay or failure.
  opts.clamp_to_interval = opts.clamp_to_interval || stretch.cut_at_end;
  TransitIter transits(predictor, observer, {stretch.start, stretch.end}, opts, min_elevation_rad_,
                       predictor.refinement());
  while (auto item = transits.next()) {
    auto pass = *item ? describe(predictor, observer, **item)
                      : std::expected<ScreenedPass, Error>(std::unexpect, item->error());
    if (!pass) {
      if (pass.error().kind() == ErrorKind::Sgp4) return pass.error();
      out.errors.push_back({satellite, stretch.observer, stretch.start, pass.error().display()});
      continue;
    }
    pass->satellite = satellite;
    pass->observer = stretch.observer;
    // A stretch starts and ends provably below the minimum, except at the interval's ends and
    // a satellite's failure: a pass clamped to one of those was cut there.
    pass->cut = opts.clamp_to_interval && (pass->aos == stretch.start || pass->los == stretch.end);
    out.passes.push_back(*pass);
  }
  return std::nullopt;
}

ScreeningJob::ScreeningJob(const ScreeningRequest& request, std::size_t threads)
    : request_(request), per_satellite_(request.satellites.size()) {
  threads = std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(request.satellites.size(), 1));
  running_ = threads;
  std::size_t started = 0;
  try {
    for (; started < threads; ++started) threads_.emplace_back([this] { work(); });
  } catch (const std::system_error&) {
    // No more threads to be had: fewer do the work, or this one if none started.
    std::lock_guard lock(mutex_);
    running_ = started;
  }
  if (started == 0) {
    running_ = 1;
    work();
  }
}

ScreeningJob::~ScreeningJob() {
  cancel();
  for (std::thread& thread : threads_) thread.join();
}

void ScreeningJob::work() {
  SatelliteScreen screen(request_);
  const std::size_t count = request_.satellites.size();
  for (std::size_t s = next_++; s < count && !cancelled_.load(std::memory_order_relaxed); s = next_++) {
    screen.screen(s, per_satellite_[s], cancelled_);
    done_.fetch_add(1, std::memory_order_relaxed);
  }
  std::lock_guard lock(mutex_);
  if (--running_ == 0) finished_.notify_all();
}

bool ScreeningJob::wait_for(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return finished_.wait_for(lock, timeout, [this] { return running_ == 0; });
}

ScreeningResult ScreeningJob::take() {
  ScreeningResult merged;
  std::size_t passes = 0;
  for (const ScreeningResult& r : per_satellite_) passes += r.passes.size();
  merged.passes.reserve(passes);
  for (ScreeningResult& r : per_satellite_) {
    merged.passes.insert(merged.passes.end(), r.passes.begin(), r.passes.end());
    std::stable_sort(r.errors.begin(), r.errors.end(), [](const ScreeningError& a, const ScreeningError& b) {
      return std::tuple(a.observer.has_value(), a.observer.value_or(0), a.time) <
             std::tuple(b.observer.has_value(), b.observer.value_or(0), b.time);
    });
    for (ScreeningError& e : r.errors) merged.errors.push_back(std::move(e));
    r = {};
  }
  return merged;
}

ScreeningResult screen(const ScreeningRequest& request, std::size_t threads) {
  ScreeningJob job(request, threads);
  while (!job.wait_for(std::chrono::seconds(1))) {
  }
  return job.take();
}

}  // namespace satvane
