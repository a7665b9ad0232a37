// SGP4 initialisation and propagation. Near-earth terms live here; the deep-space terms
// are in propagator_deep_space.cpp. The expressions keep the published evaluation order, but
// for the sines and cosines derived from known ones (see propagator.hpp).
#include "sgp4/propagator.hpp"

#include <cmath>
#include <optional>
#include <utility>

#include "propagator_model.hpp"
#include "resonance_steps.hpp"
#include "sgp4/format.hpp"

namespace sgp4 {

using detail::pi;
using detail::rotated;
using detail::sin_cos;
using detail::SinCos;
using detail::two_pi;
using detail::two_thirds;
using detail::wrap_two_pi;

std::string ElementsError::text() const {
  switch (kind) {
    case Kind::OutOfRangeEccentricity:
      return "The epoch eccentricity (" + format_double(eccentricity) + ") is outside the range [0, 1[";
    case Kind::NegativeKozaiMeanMotion:
      return "The Kozai mean motion calculated from epoch elements is negative";
    case Kind::NegativeBrouwerMeanMotion:
      return "The Brouwer mean motion calculated from epoch elements is negative";
    case Kind::NonFiniteField:
      return std::string("The element ") + field + " (" + format_double(value) + ") is not finite";
  }
  return {};
}

std::string PropagationError::text() const {
  switch (kind) {
    case Kind::EccentricityBeforePerturbations:
    case Kind::EccentricityAfterPerturbations:
      return "The propagated eccentricity (" + format_double(eccentricity) + ") is outside the range [0, 1[ " +
             format_double(minutes) + " minutes after epoch (" +
             (kind == Kind::EccentricityBeforePerturbations ? "before" : "after") +
             " adding third-body perturbations)";
    case Kind::NegativeSemiLatusRectum:
      return "The propagated semi-latus rectum is negative " + format_double(minutes) + " minutes after epoch";
    case Kind::NonFiniteState:
      return "The propagated state is not finite " + format_double(minutes) + " minutes after epoch";
  }
  return {};
}

namespace {

constexpr std::int64_t seconds_per_day = 86'400;
// Julian date of 1970-01-01 00:00 UTC and of the model's day 0, 1949-12-31 00:00 UTC.
constexpr double unix_epoch_jd = 2'440'587.5;
constexpr double model_epoch_jd = 2'433'281.5;

// Smallest 1 + cos(i) still divided by (the retrograde equatorial limit).
constexpr double min_one_plus_cos_inclination = 1.5e-12;

detail::Geopotential geopotential(Mode mode) {
  // ke follows from mu exactly as the model defines it.
  const auto make = [](double mu_km3_s2, double radius_km, double j2, double j3, double j4) {
    const double ke = 60.0 / std::sqrt(radius_km * radius_km * radius_km / mu_km3_s2);
    return detail::Geopotential{radius_km, ke, j2, j3 / j2, j4};
  };
  if (mode == Mode::Afspc72) return make(398600.8, 6378.135, 0.001082616, -0.00000253881, -0.00000165597);
  return make(398600.5, 6378.137, 0.00108262998905, -0.00000253215306, -0.00000161098761);
}

// The epoch as the model takes it: one Julian date, the midnight that starts the UTC day
// (exact) plus the day fraction (exact to the nanosecond, then rounded once). The sum rounds
// to about 20 us; forming it exactly like the reference implementation keeps the sidereal
// time and the lunar-solar terms bit-compatible with it, which matters for orbits far out.
double epoch_julian_date(const UtcInstant& epoch) {
  const std::int64_t day = epoch.unix_seconds / seconds_per_day -
                           (epoch.unix_seconds % seconds_per_day < 0 ? 1 : 0);
  const std::int64_t second_of_day = epoch.unix_seconds - day * seconds_per_day;
  const std::int64_t nanos_of_day = second_of_day * 1'000'000'000 + std::int64_t(epoch.nanosecond);
  const double midnight_jd = unix_epoch_jd + double(day);
  return midnight_jd + double(nanos_of_day) / 86'400e9;
}

// Greenwich mean sidereal time, IAU 1982 expression.
double iau_sidereal_time(double jd_ut1) {
  const double tut1 = (jd_ut1 - 2451545.0) / 36525.0;
  double temp = -6.2e-6 * tut1 * tut1 * tut1 + 0.093104 * tut1 * tut1 +
                (876600.0 * 3600 + 8640184.812866) * tut1 + 67310.54841;  // seconds
  temp = std::fmod(temp * (pi / 180.0) / 240.0, two_pi);
  if (temp < 0.0) temp += two_pi;
  return temp;
}

// Sidereal time of the AFSPC operational code, counted from 1970-01-00.
double afspc_sidereal_time(double epoch_days_since_1950) {
  const double ts70 = epoch_days_since_1950 - 7305.0;
  const double ds70 = std::floor(ts70 + 1.0e-8);
  const double tfrac = ts70 - ds70;
  constexpr double c1 = 1.72027916940703639e-2;
  constexpr double thgr70 = 1.7321343856509374;
  constexpr double fk5r = 5.07551419432269442e-15;
  constexpr double c1p2p = c1 + two_pi;
  double gsto = std::fmod(thgr70 + c1 * ds70 + c1p2p * tfrac + ts70 * ts70 * fk5r, two_pi);
  if (gsto < 0.0) gsto += two_pi;
  return gsto;
}

// The first field, in OMM order, that is NaN or infinite. The eccentricity has its own range
// check, which a NaN fails as well.
std::optional<ElementsError> non_finite_field(const Elements& e) {
  const std::pair<const char*, double> fields[] = {
      {"MEAN_MOTION_DOT", e.mean_motion_dot},   {"MEAN_MOTION_DDOT", e.mean_motion_ddot},
      {"BSTAR", e.drag_term},                   {"INCLINATION", e.inclination},
      {"RA_OF_ASC_NODE", e.right_ascension},    {"ARG_OF_PERICENTER", e.argument_of_perigee},
      {"MEAN_ANOMALY", e.mean_anomaly},         {"MEAN_MOTION", e.mean_motion},
  };
  for (const auto& [name, value] : fields) {
    if (!std::isfinite(value)) return ElementsError{ElementsError::Kind::NonFiniteField, 0.0, name, value};
  }
  return std::nullopt;
}

bool is_finite(const Prediction& p) {
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(p.position_km[axis]) || !std::isfinite(p.velocity_km_s[axis])) return false;
  }
  return true;
}

detail::EpochElements epoch_elements(const Elements& e) {
  constexpr double deg_to_rad = pi / 180.0;
  constexpr double rev_per_day_to_rad_per_min = 1440.0 / (2.0 * pi);  // divisor, as the model
  detail::EpochElements out{};
  out.inclination = e.inclination * deg_to_rad;
  out.right_ascension = e.right_ascension * deg_to_rad;
  out.eccentricity = e.eccentricity;
  out.argument_of_perigee = e.argument_of_perigee * deg_to_rad;
  out.mean_anomaly = e.mean_anomaly * deg_to_rad;
  out.kozai_mean_motion = e.mean_motion / rev_per_day_to_rad_per_min;
  out.drag_term = e.drag_term;
  return out;
}

detail::InclinationTerms inclination_terms(double sin_i, double cos_i, double j3_over_j2) {
  const double cos_sq = cos_i * cos_i;
  detail::InclinationTerms t{};
  t.sin_inclination = sin_i;
  t.cos_inclination = cos_i;
  t.con41 = 3.0 * cos_sq - 1.0;
  t.x1mth2 = 1.0 - cos_sq;
  t.x7thm1 = 7.0 * cos_sq - 1.0;
  const double one_plus_cos = std::fabs(cos_i + 1.0) > min_one_plus_cos_inclination ? 1.0 + cos_i
                                                                                      : min_one_plus_cos_inclination;
  t.xlcof = -0.25 * j3_over_j2 * sin_i * (3.0 + 5.0 * cos_i) / one_plus_cos;
  t.aycof = -0.5 * j3_over_j2 * sin_i;
  return t;
}

// Quantities of the epoch orbit that the drag and secular coefficients are built from, with
// the Brouwer mean motion recovered from the Kozai one (initl).
struct EpochOrbit {
  double cosio, cosio2, sinio;
  double omeosq, rteosq;
  double brouwer_mean_motion;  // rad/min; not positive for a record that is no orbit
  double ao;   // semi-major axis, earth radii
  double con41, con42;
  double posq;
  double rp;   // perigee radius, earth radii
};

EpochOrbit epoch_orbit(const detail::EpochElements& el, const detail::Geopotential& geo) {
  EpochOrbit o{};
  const double eccsq = el.eccentricity * el.eccentricity;
  o.omeosq = 1.0 - eccsq;
  o.rteosq = std::sqrt(o.omeosq);
  o.cosio = std::cos(el.inclination);
  o.cosio2 = o.cosio * o.cosio;
  o.sinio = std::sin(el.inclination);

  const double ak = std::pow(geo.ke / el.kozai_mean_motion, two_thirds);
  const double d1 = 0.75 * geo.j2 * (3.0 * o.cosio2 - 1.0) / (o.rteosq * o.omeosq);
  double del = d1 / (ak * ak);
  const double adel = ak * (1.0 - del * del - del * (1.0 / 3.0 + 134.0 * del * del / 81.0));
  del = d1 / (adel * adel);
  const double no = el.kozai_mean_motion / (1.0 + del);
  o.brouwer_mean_motion = no;

  o.ao = std::pow(geo.ke / no, two_thirds);
  const double po = o.ao * o.omeosq;
  o.con42 = 1.0 - 5.0 * o.cosio2;
  o.con41 = -o.con42 - o.cosio2 - o.cosio2;
  o.posq = po * po;
  o.rp = o.ao * (1.0 - el.eccentricity);
  return o;
}

// Atmospheric density model: the s and q0 - s parameters, lowered for low perigees.
struct DensityParameters {
  double sfour;   // s, earth radii from the centre
  double qzms24;  // (q0 - s)^4
};

DensityParameters density_parameters(double rp, double radius_km) {
  const double qzms2ttemp = (120.0 - 78.0) / radius_km;
  DensityParameters d{78.0 / radius_km + 1.0, qzms2ttemp * qzms2ttemp * qzms2ttemp * qzms2ttemp};
  const double perigee_km = (rp - 1.0) * radius_km;
  if (perigee_km < 156.0) {
    double sfour = perigee_km - 78.0;
    if (perigee_km < 98.0) sfour = 20.0;
    const double qzms24temp = (120.0 - sfour) / radius_km;
    d.qzms24 = qzms24temp * qzms24temp * qzms24temp * qzms24temp;
    d.sfour = sfour / radius_km + 1.0;
  }
  return d;
}

detail::SecularTerms secular_terms(const detail::EpochElements& el, const EpochOrbit& o,
                                   const detail::Geopotential& geo) {
  const double no = el.brouwer_mean_motion;
  const double ecco = el.eccentricity;
  const double bstar = el.drag_term;
  const double j2 = geo.j2;
  const double ao = o.ao;
  const DensityParameters density = density_parameters(o.rp, geo.radius_km);
  const double sfour = density.sfour;

  detail::SecularTerms s{};
  const double pinvsq = 1.0 / o.posq;
  const double tsi = 1.0 / (ao - sfour);
  s.eta = ao * ecco * tsi;
  const double etasq = s.eta * s.eta;
  const double eeta = ecco * s.eta;
  const double psisq = std::fabs(1.0 - etasq);
  const double coef = density.qzms24 * std::pow(tsi, 4.0);
  const double coef1 = coef / std::pow(psisq, 3.5);
  const double cc2 = coef1 * no *
                     (ao * (1.0 + 1.5 * etasq + eeta * (4.0 + etasq)) +
                      0.375 * j2 * tsi / psisq * o.con41 * (8.0 + 3.0 * etasq * (8.0 + etasq)));
  s.c1 = bstar * cc2;
  double cc3 = 0.0;
  if (ecco > 1.0e-4) cc3 = -2.0 * coef * tsi * geo.j3_over_j2 * no * o.sinio / ecco;
  const double x1mth2 = 1.0 - o.cosio2;
  const double cc4 = 2.0 * no * coef1 * ao * o.omeosq *
                     (s.eta * (2.0 + 0.5 * etasq) + ecco * (0.5 + 2.0 * etasq) -
                      j2 * tsi / (ao * psisq) *
                          (-3.0 * o.con41 * (1.0 - 2.0 * eeta + etasq * (1.5 - 0.5 * eeta)) +
                           0.75 * x1mth2 * (2.0 * etasq - eeta * (1.0 + etasq)) * std::cos(2.0 * el.argument_of_perigee)));
  const double cc5 = 2.0 * coef1 * ao * o.omeosq * (1.0 + 2.75 * (etasq + eeta) + eeta * etasq);
  s.bstar_c4 = bstar * cc4;
  s.bstar_c5 = bstar * cc5;

  const double cosio2 = o.cosio2;
  const double cosio4 = cosio2 * cosio2;
  const double temp1 = 1.5 * j2 * pinvsq * no;
  const double temp2 = 0.5 * temp1 * j2 * pinvsq;
  const double temp3 = -0.46875 * geo.j4 * pinvsq * pinvsq * no;
  s.mean_anomaly_rate = no + 0.5 * temp1 * o.rteosq * o.con41 +
                        0.0625 * temp2 * o.rteosq * (13.0 - 78.0 * cosio2 + 137.0 * cosio4);
  s.perigee_rate = -0.5 * temp1 * o.con42 + 0.0625 * temp2 * (7.0 - 114.0 * cosio2 + 395.0 * cosio4) +
                   temp3 * (3.0 - 36.0 * cosio2 + 49.0 * cosio4);
  const double xhdot1 = -temp1 * o.cosio;
  s.node_rate = xhdot1 + (0.5 * temp2 * (4.0 - 19.0 * cosio2) + 2.0 * temp3 * (3.0 - 7.0 * cosio2)) * o.cosio;
  s.omgcof = bstar * cc3 * std::cos(el.argument_of_perigee);
  s.xmcof = 0.0;
  if (ecco > 1.0e-4) s.xmcof = -two_thirds * coef * bstar / eeta;
  s.node_drag = 3.5 * o.omeosq * xhdot1 * s.c1;
  s.t2cof = 1.5 * s.c1;
  const double delmotemp = 1.0 + s.eta * std::cos(el.mean_anomaly);
  s.delmo = delmotemp * delmotemp * delmotemp;
  s.sin_mean_anomaly = std::sin(el.mean_anomaly);

  // Below 220 km perigee (and in deep space, decided by the caller) the drag terms past C1
  // are dropped.
  s.full_drag = !(o.rp < 220.0 / geo.radius_km + 1.0);
  const double cc1sq = s.c1 * s.c1;
  s.d2 = 4.0 * ao * tsi * cc1sq;
  const double temp = s.d2 * tsi * s.c1 / 3.0;
  s.d3 = (17.0 * ao + sfour) * temp;
  s.d4 = 0.5 * temp * ao * tsi * (221.0 * ao + 31.0 * sfour) * s.c1;
  s.t3cof = s.d2 + 2.0 * cc1sq;
  s.t4cof = 0.25 * (3.0 * s.d3 + s.c1 * (12.0 * s.d2 + 10.0 * cc1sq));
  s.t5cof = 0.2 * (3.0 * s.d4 + 12.0 * s.c1 * s.d3 + 6.0 * s.d2 * s.d2 + 15.0 * cc1sq * (2.0 * s.d2 + cc1sq));
  return s;
}

}  // namespace

std::expected<Constants, ElementsError> Constants::from_elements(const Elements& elements, Mode mode) {
  if (!(elements.eccentricity >= 0.0 && elements.eccentricity < 1.0))
    return std::unexpected(ElementsError{ElementsError::Kind::OutOfRangeEccentricity, elements.eccentricity});

  Constants c;
  c.geopotential_ = geopotential(mode);
  const detail::Geopotential& geo = c.geopotential_;
  c.elements_ = epoch_elements(elements);
  detail::EpochElements& el = c.elements_;
  // A zero mean motion is no orbit either.
  if (el.kozai_mean_motion <= 0.0)
    return std::unexpected(ElementsError{ElementsError::Kind::NegativeKozaiMeanMotion});
  if (const auto error = non_finite_field(elements)) return std::unexpected(*error);
  const EpochOrbit orbit = epoch_orbit(el, geo);
  el.brouwer_mean_motion = orbit.brouwer_mean_motion;
  if (el.brouwer_mean_motion <= 0.0)
    return std::unexpected(ElementsError{ElementsError::Kind::NegativeBrouwerMeanMotion});

  const double epoch_jd = epoch_julian_date(elements.epoch);
  c.epoch_days_since_1950_ = epoch_jd - model_epoch_jd;
  c.sidereal_time_at_epoch_rad_ =
      mode == Mode::Afspc72 ? afspc_sidereal_time(c.epoch_days_since_1950_) : iau_sidereal_time(epoch_jd);

  c.semi_major_axis_factor_ = orbit.ao;
  c.secular_ = secular_terms(el, orbit, geo);
  c.epoch_inclination_ = inclination_terms(orbit.sinio, orbit.cosio, geo.j3_over_j2);
  c.epoch_inclination_.con41 = orbit.con41;  // same value, but rounded as the epoch terms were

  c.deep_space_ = two_pi / el.brouwer_mean_motion >= 225.0;
  if (c.deep_space_) {
    c.secular_.full_drag = false;
    const detail::ThirdBodyGeometry geometry = detail::third_body_geometry(c.epoch_days_since_1950_, el);
    const detail::DeepSpaceInit init =
        detail::deep_space_secular_init(geometry, el, c.secular_, geo.ke, c.sidereal_time_at_epoch_rad_);
    c.deep_.lunar_solar = geometry.lunar_solar;
    c.deep_.rates = init.rates;
    c.deep_.resonance = init.resonance;
  }
  return c;
}

std::shared_ptr<const ResonanceSteps> Constants::resonance_steps() const {
  if (!deep_space_ || deep_.resonance.kind == detail::Resonance::None) return nullptr;
  return std::make_shared<const ResonanceSteps>(deep_.resonance);
}

std::expected<Prediction, PropagationError> Constants::propagate(double minutes, const ResonanceSteps* steps) const {
  const detail::EpochElements& el = elements_;
  const detail::SecularTerms& s = secular_;
  const detail::Geopotential& geo = geopotential_;
  const double t = minutes;

  // Secular gravity and drag.
  const double xmdf = el.mean_anomaly + s.mean_anomaly_rate * t;
  const double argpdf = el.argument_of_perigee + s.perigee_rate * t;
  const double nodedf = el.right_ascension + s.node_rate * t;
  const double t2 = t * t;
  detail::MeanElements mean{};
  mean.perigee = argpdf;
  mean.mean_anomaly = xmdf;
  mean.node = nodedf + s.node_drag * t2;
  double tempa = 1.0 - s.c1 * t;
  double tempe = s.bstar_c4 * t;
  double templ = s.t2cof * t2;
  if (s.full_drag) {
    const double delomg = s.omgcof * t;
    const SinCos drifted = sin_cos(xmdf);
    const double delmtemp = 1.0 + s.eta * drifted.cos;
    const double delm = s.xmcof * (delmtemp * delmtemp * delmtemp - s.delmo);
    const double temp = delomg + delm;
    mean.mean_anomaly = xmdf + temp;
    mean.perigee = argpdf - temp;
    const double t3 = t2 * t;
    const double t4 = t3 * t;
    tempa = tempa - s.d2 * t2 - s.d3 * t3 - s.d4 * t4;
    tempe = tempe + s.bstar_c5 * (rotated(drifted, temp).sin - s.sin_mean_anomaly);
    templ = templ + s.t3cof * t3 + t4 * (s.t4cof + t * s.t5cof);
  }
  mean.mean_motion = el.brouwer_mean_motion;
  mean.eccentricity = el.eccentricity;
  mean.inclination = el.inclination;

  if (deep_space_) detail::apply_deep_space_secular(deep_, steps, sidereal_time_at_epoch_rad_, t, mean);
  // Only the resonance changes the mean motion; at its epoch value the factor is known. A mean
  // motion driven to zero or below by the resonance gives NaN here; the check of the final
  // state reports it.
  const double axis_factor = mean.mean_motion == el.brouwer_mean_motion
                                 ? semi_major_axis_factor_
                                 : std::pow(geo.ke / mean.mean_motion, two_thirds);
  const double am = axis_factor * tempa * tempa;
  const double nm = geo.ke / (am * std::sqrt(am));
  double em = mean.eccentricity - tempe;
  if (em >= 1.0 || em < -0.001)
    return std::unexpected(
        PropagationError{PropagationError::Kind::EccentricityBeforePerturbations, em, minutes});
  if (em < 1.0e-6) em = 1.0e-6;
  mean.mean_anomaly = mean.mean_anomaly + el.brouwer_mean_motion * templ;
  double xlm = mean.mean_anomaly + mean.perigee + mean.node;
  mean.node = wrap_two_pi(mean.node);
  mean.perigee = wrap_two_pi(mean.perigee);
  xlm = wrap_two_pi(xlm);
  mean.mean_anomaly = wrap_two_pi(xlm - mean.perigee - mean.node);
  mean.eccentricity = em;

  // Long-period periodics.
  detail::InclinationTerms incl = epoch_inclination_;
  if (deep_space_) {
    SinCos inclination = detail::apply_lunar_solar_periodics(deep_.lunar_solar, t, mean);
    if (mean.inclination < 0.0) {
      mean.inclination = -mean.inclination;
      inclination.sin = -inclination.sin;  // sin is odd, bit for bit
      mean.node = mean.node + pi;
      mean.perigee = mean.perigee - pi;
    }
    if (mean.eccentricity < 0.0 || mean.eccentricity > 1.0)
      return std::unexpected(
          PropagationError{PropagationError::Kind::EccentricityAfterPerturbations, mean.eccentricity, minutes});
    incl = inclination_terms(inclination.sin, inclination.cos, geo.j3_over_j2);
  }
  const double ep = mean.eccentricity;
  const double sin_argp = std::sin(mean.perigee);
  const double cos_argp = std::cos(mean.perigee);
  const double axnl = ep * cos_argp;
  double temp = 1.0 / (am * (1.0 - ep * ep));
  const double aynl = ep * sin_argp + temp * incl.aycof;
  const double xl = mean.mean_anomaly + mean.perigee + mean.node + temp * incl.xlcof * axnl;

  // Kepler's equation in equinoctial form; the model stops after ten iterations.
  const double u = wrap_two_pi(xl - mean.node);
  // The sine and cosine of each small Newton step's result follow from the previous ones.
  double eo1 = u;
  SinCos eccentric = sin_cos(eo1);
  for (int iteration = 1;; ++iteration) {
    double tem5 = 1.0 - eccentric.cos * axnl - eccentric.sin * aynl;
    tem5 = (u - aynl * eccentric.cos + axnl * eccentric.sin - eo1) / tem5;
    if (std::fabs(tem5) >= 0.95) tem5 = tem5 > 0.0 ? 0.95 : -0.95;
    if (!(std::fabs(tem5) >= 1.0e-12) || iteration == 10) break;
    eo1 = eo1 + tem5;
    eccentric = std::fabs(tem5) <= detail::small_angle ? rotated(eccentric, tem5) : sin_cos(eo1);
  }
  const double sineo1 = eccentric.sin;
  const double coseo1 = eccentric.cos;

  // Short-period periodics.
  const double ecose = axnl * coseo1 + aynl * sineo1;
  const double esine = axnl * sineo1 - aynl * coseo1;
  const double el2 = axnl * axnl + aynl * aynl;
  const double pl = am * (1.0 - el2);
  if (pl < 0.0)
    return std::unexpected(PropagationError{PropagationError::Kind::NegativeSemiLatusRectum, 0.0, minutes});

  // A radius below one earth radius (decay) is not an error: the caller decides.
  const double rl = am * (1.0 - ecose);
  const double rdotl = std::sqrt(am) * esine / rl;
  const double rvdotl = std::sqrt(pl) / rl;
  const double betal = std::sqrt(1.0 - el2);
  temp = esine / (1.0 + betal);
  const double sinu = am / rl * (sineo1 - aynl - axnl * temp);
  const double cosu = am / rl * (coseo1 - axnl + aynl * temp);
  const double sin2u = (cosu + cosu) * sinu;
  const double cos2u = 1.0 - 2.0 * sinu * sinu;
  temp = 1.0 / pl;
  const double temp1 = 0.5 * geo.j2 * temp;
  const double temp2 = temp1 * temp;

  const double cosip = incl.cos_inclination;
  const double sinip = incl.sin_inclination;
  const double mrt = rl * (1.0 - 1.5 * temp2 * betal * incl.con41) + 0.5 * temp1 * incl.x1mth2 * cos2u;
  // The argument of latitude and the inclination get small corrections; their sines and
  // cosines follow from the uncorrected ones, (sinu, cosu) being a unit vector.
  const SinCos su = rotated({sinu, cosu}, -0.25 * temp2 * incl.x7thm1 * sin2u);
  const double xnode = mean.node + 1.5 * temp2 * cosip * sin2u;
  const SinCos xinc = rotated({sinip, cosip}, 1.5 * temp2 * cosip * sinip * cos2u);
  const double mvt = rdotl - nm * temp1 * incl.x1mth2 * sin2u / geo.ke;
  const double rvdot = rvdotl + nm * temp1 * (incl.x1mth2 * cos2u + 1.5 * incl.con41) / geo.ke;

  // Orientation vectors.
  const double sinsu = su.sin;
  const double cossu = su.cos;
  const double snod = std::sin(xnode);
  const double cnod = std::cos(xnode);
  const double sini = xinc.sin;
  const double cosi = xinc.cos;
  const double xmx = -snod * cosi;
  const double xmy = cnod * cosi;
  const double ux = xmx * sinsu + cnod * cossu;
  const double uy = xmy * sinsu + snod * cossu;
  const double uz = sini * sinsu;
  const double vx = xmx * cossu - cnod * sinsu;
  const double vy = xmy * cossu - snod * sinsu;
  const double vz = sini * cossu;

  const double radius_km = mrt * geo.radius_km;
  const double km_per_s = geo.radius_km * geo.ke / 60.0;
  Prediction p;
  p.position_km = {radius_km * ux, radius_km * uy, radius_km * uz};
  p.velocity_km_s = {(mvt * ux + rvdot * vx) * km_per_s, (mvt * uy + rvdot * vy) * km_per_s,
                     (mvt * uz + rvdot * vz) * km_per_s};
  if (!is_finite(p)) return std::unexpected(PropagationError{PropagationError::Kind::NonFiniteState, 0.0, minutes});
  return p;
}

}  // namespace sgp4
