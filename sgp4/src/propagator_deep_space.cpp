// Deep-space (SDP4) terms: lunar-solar perturbations and geopotential resonance of
// orbits with periods of 225 minutes and more. The expressions keep the published
// evaluation order, so results agree with the reference implementation to the last bits.
#include <cmath>

#include "propagator_model.hpp"
#include "resonance_steps.hpp"

namespace sgp4::detail {
namespace {

// Solar and lunar constants of the model.
constexpr double sun_eccentricity = 0.01675;          // zes
constexpr double moon_eccentricity = 0.05490;         // zel
constexpr double sun_mean_motion = 1.19459e-5;        // zns, rad/min
constexpr double moon_mean_motion = 1.5835218e-4;     // znl, rad/min
constexpr double sun_coefficient = 2.9864797e-6;      // c1ss
constexpr double moon_coefficient = 4.7968065e-7;     // c1l
constexpr double earth_rotation_rad_min = 4.37526908801129966e-3;  // rptim

// Inclination below which (or above pi minus which) the node terms are dropped.
constexpr double small_inclination = 5.2359877e-2;

struct Orientation {
  double cos_g, sin_g, cos_i, sin_i, cos_h, sin_h;
};

struct OrbitAngles {
  double sin_inclination, cos_inclination, sin_perigee, cos_perigee;
  double eccentricity, eccentricity_sq, beta_sq, root_beta_sq, inverse_mean_motion;
};

BodyTerms body_terms(const Orientation& body, double coefficient, const OrbitAngles& orbit) {
  const double sinim = orbit.sin_inclination;
  const double cosim = orbit.cos_inclination;
  const double sinomm = orbit.sin_perigee;
  const double cosomm = orbit.cos_perigee;
  const double emsq = orbit.eccentricity_sq;
  const double betasq = orbit.beta_sq;

  const double a1 = body.cos_g * body.cos_h + body.sin_g * body.cos_i * body.sin_h;
  const double a3 = -body.sin_g * body.cos_h + body.cos_g * body.cos_i * body.sin_h;
  const double a7 = -body.cos_g * body.sin_h + body.sin_g * body.cos_i * body.cos_h;
  const double a8 = body.sin_g * body.sin_i;
  const double a9 = body.sin_g * body.sin_h + body.cos_g * body.cos_i * body.cos_h;
  const double a10 = body.cos_g * body.sin_i;
  const double a2 = cosim * a7 + sinim * a8;
  const double a4 = cosim * a9 + sinim * a10;
  const double a5 = -sinim * a7 + cosim * a8;
  const double a6 = -sinim * a9 + cosim * a10;

  const double x1 = a1 * cosomm + a2 * sinomm;
  const double x2 = a3 * cosomm + a4 * sinomm;
  const double x3 = -a1 * sinomm + a2 * cosomm;
  const double x4 = -a3 * sinomm + a4 * cosomm;
  const double x5 = a5 * sinomm;
  const double x6 = a6 * sinomm;
  const double x7 = a5 * cosomm;
  const double x8 = a6 * cosomm;

  BodyTerms t{};
  t.z31 = 12.0 * x1 * x1 - 3.0 * x3 * x3;
  t.z32 = 24.0 * x1 * x2 - 6.0 * x3 * x4;
  t.z33 = 12.0 * x2 * x2 - 3.0 * x4 * x4;
  t.z1 = 3.0 * (a1 * a1 + a2 * a2) + t.z31 * emsq;
  t.z2 = 6.0 * (a1 * a3 + a2 * a4) + t.z32 * emsq;
  t.z3 = 3.0 * (a3 * a3 + a4 * a4) + t.z33 * emsq;
  t.z11 = -6.0 * a1 * a5 + emsq * (-24.0 * x1 * x7 - 6.0 * x3 * x5);
  t.z12 = -6.0 * (a1 * a6 + a3 * a5) + emsq * (-24.0 * (x2 * x7 + x1 * x8) - 6.0 * (x3 * x6 + x4 * x5));
  t.z13 = -6.0 * a3 * a6 + emsq * (-24.0 * x2 * x8 - 6.0 * x4 * x6);
  t.z21 = 6.0 * a2 * a5 + emsq * (24.0 * x1 * x5 - 6.0 * x3 * x7);
  t.z22 = 6.0 * (a4 * a5 + a2 * a6) + emsq * (24.0 * (x2 * x5 + x1 * x6) - 6.0 * (x4 * x7 + x3 * x8));
  t.z23 = 6.0 * a4 * a6 + emsq * (24.0 * x2 * x6 - 6.0 * x4 * x8);
  t.z1 = t.z1 + t.z1 + betasq * t.z31;
  t.z2 = t.z2 + t.z2 + betasq * t.z32;
  t.z3 = t.z3 + t.z3 + betasq * t.z33;
  t.s3 = coefficient * orbit.inverse_mean_motion;
  t.s2 = -0.5 * t.s3 / orbit.root_beta_sq;
  t.s4 = t.s3 * orbit.root_beta_sq;
  t.s1 = -15.0 * orbit.eccentricity * t.s4;
  t.s5 = x1 * x3 + x2 * x4;
  t.s6 = x2 * x3 + x1 * x4;
  t.s7 = x2 * x4 - x1 * x3;
  return t;
}

PeriodicCoefficients periodic_coefficients(const BodyTerms& t, double emsq, double body_eccentricity) {
  PeriodicCoefficients c{};
  c.e2 = 2.0 * t.s1 * t.s6;
  c.e3 = 2.0 * t.s1 * t.s7;
  c.i2 = 2.0 * t.s2 * t.z12;
  c.i3 = 2.0 * t.s2 * (t.z13 - t.z11);
  c.l2 = -2.0 * t.s3 * t.z2;
  c.l3 = -2.0 * t.s3 * (t.z3 - t.z1);
  c.l4 = -2.0 * t.s3 * (-21.0 - 9.0 * emsq) * body_eccentricity;
  c.gh2 = 2.0 * t.s4 * t.z32;
  c.gh3 = 2.0 * t.s4 * (t.z33 - t.z31);
  c.gh4 = -18.0 * t.s4 * body_eccentricity;
  c.h2 = -2.0 * t.s2 * t.z22;
  c.h3 = -2.0 * t.s2 * (t.z23 - t.z21);
  return c;
}

struct PeriodicShift {
  double e, i, l, gh, h;
};

PeriodicShift periodic_shift(const PeriodicCoefficients& c, double body_mean_anomaly, double body_eccentricity) {
  const double zf = body_mean_anomaly + 2.0 * body_eccentricity * std::sin(body_mean_anomaly);
  const double sinzf = std::sin(zf);
  const double f2 = 0.5 * sinzf * sinzf - 0.25;
  const double f3 = -0.5 * sinzf * std::cos(zf);
  return {
      c.e2 * f2 + c.e3 * f3,
      c.i2 * f2 + c.i3 * f3,
      c.l2 * f2 + c.l3 * f3 + c.l4 * sinzf,
      c.gh2 * f2 + c.gh3 * f3 + c.gh4 * sinzf,
      c.h2 * f2 + c.h3 * f3,
  };
}

ResonanceTerms half_day_resonance(double cosim, double sinim, double em, double emsq, double nm, double aonv) {
  const double cosisq = cosim * cosim;
  const double eoc = em * emsq;
  const double g201 = -0.306 - (em - 0.64) * 0.440;
  double g211, g310, g322, g410, g422, g520;
  if (em <= 0.65) {
    g211 = 3.616 - 13.2470 * em + 16.2900 * emsq;
    g310 = -19.302 + 117.3900 * em - 228.4190 * emsq + 156.5910 * eoc;
    g322 = -18.9068 + 109.7927 * em - 214.6334 * emsq + 146.5816 * eoc;
    g410 = -41.122 + 242.6940 * em - 471.0940 * emsq + 313.9530 * eoc;
    g422 = -146.407 + 841.8800 * em - 1629.014 * emsq + 1083.4350 * eoc;
    g520 = -532.114 + 3017.977 * em - 5740.032 * emsq + 3708.2760 * eoc;
  } else {
    g211 = -72.099 + 331.819 * em - 508.738 * emsq + 266.724 * eoc;
    g310 = -346.844 + 1582.851 * em - 2415.925 * emsq + 1246.113 * eoc;
    g322 = -342.585 + 1554.908 * em - 2366.899 * emsq + 1215.972 * eoc;
    g410 = -1052.797 + 4758.686 * em - 7193.992 * emsq + 3651.957 * eoc;
    g422 = -3581.690 + 16178.110 * em - 24462.770 * emsq + 12422.520 * eoc;
    if (em > 0.715)
      g520 = -5149.66 + 29936.92 * em - 54087.36 * emsq + 31324.56 * eoc;
    else
      g520 = 1464.74 - 4664.75 * em + 3763.64 * emsq;
  }
  double g533, g521, g532;
  if (em < 0.7) {
    g533 = -919.22770 + 4988.6100 * em - 9064.7700 * emsq + 5542.21 * eoc;
    g521 = -822.71072 + 4568.6173 * em - 8491.4146 * emsq + 5337.524 * eoc;
    g532 = -853.66600 + 4690.2500 * em - 8624.7700 * emsq + 5341.4 * eoc;
  } else {
    g533 = -37995.780 + 161616.52 * em - 229838.20 * emsq + 109377.94 * eoc;
    g521 = -51752.104 + 218913.95 * em - 309468.16 * emsq + 146349.42 * eoc;
    g532 = -40023.880 + 170470.89 * em - 242699.48 * emsq + 115605.82 * eoc;
  }

  const double sini2 = sinim * sinim;
  const double f220 = 0.75 * (1.0 + 2.0 * cosim + cosisq);
  const double f221 = 1.5 * sini2;
  const double f321 = 1.875 * sinim * (1.0 - 2.0 * cosim - 3.0 * cosisq);
  const double f322 = -1.875 * sinim * (1.0 + 2.0 * cosim - 3.0 * cosisq);
  const double f441 = 35.0 * sini2 * f220;
  const double f442 = 39.3750 * sini2 * sini2;
  const double f522 =
      9.84375 * sinim * (sini2 * (1.0 - 2.0 * cosim - 5.0 * cosisq) + 0.33333333 * (-2.0 + 4.0 * cosim + 6.0 * cosisq));
  const double f523 = sinim * (4.92187512 * sini2 * (-2.0 - 4.0 * cosim + 10.0 * cosisq) +
                               6.56250012 * (1.0 + 2.0 * cosim - 3.0 * cosisq));
  const double f542 = 29.53125 * sinim * (2.0 - 8.0 * cosim + cosisq * (-12.0 + 8.0 * cosim + 10.0 * cosisq));
  const double f543 = 29.53125 * sinim * (-2.0 - 8.0 * cosim + cosisq * (12.0 + 8.0 * cosim - 10.0 * cosisq));

  constexpr double root22 = 1.7891679e-6;
  constexpr double root32 = 3.7393792e-7;
  constexpr double root44 = 7.3636953e-9;
  constexpr double root52 = 1.1428639e-7;
  constexpr double root54 = 2.1765803e-9;

  ResonanceTerms r{};
  r.kind = Resonance::HalfDay;
  const double xno2 = nm * nm;
  const double ainv2 = aonv * aonv;
  double temp1 = 3.0 * xno2 * ainv2;
  double temp = temp1 * root22;
  r.d2201 = temp * f220 * g201;
  r.d2211 = temp * f221 * g211;
  temp1 = temp1 * aonv;
  temp = temp1 * root32;
  r.d3210 = temp * f321 * g310;
  r.d3222 = temp * f322 * g322;
  temp1 = temp1 * aonv;
  temp = 2.0 * temp1 * root44;
  r.d4410 = temp * f441 * g410;
  r.d4422 = temp * f442 * g422;
  temp1 = temp1 * aonv;
  temp = temp1 * root52;
  r.d5220 = temp * f522 * g520;
  r.d5232 = temp * f523 * g532;
  temp = 2.0 * temp1 * root54;
  r.d5421 = temp * f542 * g521;
  r.d5433 = temp * f543 * g533;
  return r;
}

ResonanceTerms one_day_resonance(double cosim, double sinim, double emsq, double nm, double aonv) {
  constexpr double q22 = 1.7891679e-6;
  constexpr double q31 = 2.1460748e-6;
  constexpr double q33 = 2.2123015e-7;
  const double g200 = 1.0 + emsq * (-2.5 + 0.8125 * emsq);
  const double g310 = 1.0 + 2.0 * emsq;
  const double g300 = 1.0 + emsq * (-6.0 + 6.60937 * emsq);
  const double f220 = 0.75 * (1.0 + cosim) * (1.0 + cosim);
  const double f311 = 0.9375 * sinim * sinim * (1.0 + 3.0 * cosim) - 0.75 * (1.0 + cosim);
  double f330 = 1.0 + cosim;
  f330 = 1.875 * f330 * f330 * f330;

  ResonanceTerms r{};
  r.kind = Resonance::OneDay;
  r.del1 = 3.0 * nm * nm * aonv * aonv;
  r.del2 = 2.0 * r.del1 * f220 * g200 * q22;
  r.del3 = 3.0 * r.del1 * f330 * g300 * q33 * aonv;
  r.del1 = r.del1 * f311 * g310 * q31 * aonv;
  return r;
}

// The number of whole 720-minute steps the integration takes towards `minutes`: it stops at
// the first step less than 720 minutes away. (minutes - count * delt is exact, so only the
// quotient's rounding needs the check.)
std::size_t whole_steps(double minutes, double delt) {
  std::size_t count = std::size_t(std::fabs(minutes) / resonance_step_min);
  if (std::fabs(minutes - double(count) * delt) >= resonance_step_min)
    ++count;
  else if (count > 0 && std::fabs(minutes - double(count - 1) * delt) < resonance_step_min)
    --count;
  return count;
}

ResonanceState integrated_from_epoch(const ResonanceTerms& r, std::size_t count, double delt) {
  ResonanceState s = resonance_start(r);
  for (std::size_t step = 0; step < count; ++step) s = resonance_step(r, s, double(step) * delt, delt);
  return s;
}

// The resonance state at the last whole step towards `minutes` (from `steps` when given,
// else integrated from the epoch), then a Taylor step to `minutes`. Sets the mean anomaly
// and mean motion.
void integrate_resonance(const ResonanceTerms& r, const ResonanceSteps* steps, double theta, double minutes,
                         MeanElements& mean) {
  if (!(std::fabs(minutes) <= max_resonance_span_min)) {
    mean.mean_anomaly = std::nan("");
    mean.mean_motion = std::nan("");
    return;
  }
  const double no = r.epoch_mean_motion;
  const bool forward = minutes > 0.0;
  const double delt = forward ? resonance_step_min : -resonance_step_min;
  const std::size_t count = whole_steps(minutes, delt);
  const double atime = double(count) * delt;
  const ResonanceState s = steps != nullptr ? steps->at(count, forward) : integrated_from_epoch(r, count, delt);
  const double ft = minutes - atime;
  const double xldot = s.xni + r.xfact;
  const double nm = s.xni + s.xndt * ft + s.xnddt * ft * ft * 0.5;
  const double xl = s.xli + xldot * ft + s.xndt * ft * ft * 0.5;
  if (r.kind != Resonance::OneDay)
    mean.mean_anomaly = xl - 2.0 * mean.node + 2.0 * theta;
  else
    mean.mean_anomaly = xl - mean.node - mean.perigee + theta;
  const double dndt = nm - no;
  mean.mean_motion = no + dndt;
}

}  // namespace

ThirdBodyGeometry third_body_geometry(double epoch_days_since_1950, const EpochElements& elements) {
  constexpr double zsinis = 0.39785416;
  constexpr double zcosis = 0.91744867;
  constexpr double zcosgs = 0.1945905;
  constexpr double zsings = -0.98088458;

  OrbitAngles orbit{};
  orbit.eccentricity = elements.eccentricity;
  orbit.sin_inclination = std::sin(elements.inclination);
  orbit.cos_inclination = std::cos(elements.inclination);
  orbit.sin_perigee = std::sin(elements.argument_of_perigee);
  orbit.cos_perigee = std::cos(elements.argument_of_perigee);
  orbit.eccentricity_sq = orbit.eccentricity * orbit.eccentricity;
  orbit.beta_sq = 1.0 - orbit.eccentricity_sq;
  orbit.root_beta_sq = std::sqrt(orbit.beta_sq);
  orbit.inverse_mean_motion = 1.0 / elements.brouwer_mean_motion;
  const double snodm = std::sin(elements.right_ascension);
  const double cnodm = std::cos(elements.right_ascension);

  // Lunar orbit orientation at epoch.
  const double day = epoch_days_since_1950 + 18261.5;
  const double xnodce = std::fmod(4.5236020 - 9.2422029e-4 * day, two_pi);
  const double stem = std::sin(xnodce);
  const double ctem = std::cos(xnodce);
  const double zcosil = 0.91375164 - 0.03568096 * ctem;
  const double zsinil = std::sqrt(1.0 - zcosil * zcosil);
  const double zsinhl = 0.089683511 * stem / zsinil;
  const double zcoshl = std::sqrt(1.0 - zsinhl * zsinhl);
  const double gam = 5.8351514 + 0.0019443680 * day;
  double zx = 0.39785416 * stem / zsinil;
  const double zy = zcoshl * ctem + 0.91744867 * zsinhl * stem;
  zx = std::atan2(zx, zy);
  zx = gam + zx - xnodce;

  const Orientation sun{zcosgs, zsings, zcosis, zsinis, cnodm, snodm};
  const Orientation moon{std::cos(zx),   std::sin(zx), zcosil, zsinil, zcoshl * cnodm + zsinhl * snodm,
                         snodm * zcoshl - cnodm * zsinhl};

  ThirdBodyGeometry g{};
  g.sun = body_terms(sun, sun_coefficient, orbit);
  g.moon = body_terms(moon, moon_coefficient, orbit);
  g.sin_inclination = orbit.sin_inclination;
  g.cos_inclination = orbit.cos_inclination;
  g.eccentricity_sq = orbit.eccentricity_sq;
  g.lunar_solar.moon_mean_anomaly = std::fmod(4.7199672 + 0.22997150 * day - gam, two_pi);
  g.lunar_solar.sun_mean_anomaly = std::fmod(6.2565837 + 0.017201977 * day, two_pi);
  g.lunar_solar.sun = periodic_coefficients(g.sun, orbit.eccentricity_sq, sun_eccentricity);
  g.lunar_solar.moon = periodic_coefficients(g.moon, orbit.eccentricity_sq, moon_eccentricity);
  return g;
}

DeepSpaceInit deep_space_secular_init(const ThirdBodyGeometry& g, const EpochElements& elements,
                                      const SecularTerms& secular, double ke, double sidereal_time_rad) {
  const double cosim = g.cos_inclination;
  const double sinim = g.sin_inclination;
  const double emsq = g.eccentricity_sq;
  const double inclm = elements.inclination;
  const double nm = elements.brouwer_mean_motion;
  const double em = elements.eccentricity;
  const BodyTerms& s = g.sun;
  const BodyTerms& m = g.moon;
  const bool node_terms_defined = !(inclm < small_inclination || inclm > pi - small_inclination);

  const double ses = s.s1 * sun_mean_motion * s.s5;
  const double sis = s.s2 * sun_mean_motion * (s.z11 + s.z13);
  const double sls = -sun_mean_motion * s.s3 * (s.z1 + s.z3 - 14.0 - 6.0 * emsq);
  const double sghs = s.s4 * sun_mean_motion * (s.z31 + s.z33 - 6.0);
  double shs = -sun_mean_motion * s.s2 * (s.z21 + s.z23);
  if (!node_terms_defined) shs = 0.0;
  if (sinim != 0.0) shs = shs / sinim;
  const double sgs = sghs - cosim * shs;

  DeepSpaceInit init{};
  ThirdBodyRates& rates = init.rates;
  rates.eccentricity = ses + m.s1 * moon_mean_motion * m.s5;
  rates.inclination = sis + m.s2 * moon_mean_motion * (m.z11 + m.z13);
  rates.mean_anomaly = sls - moon_mean_motion * m.s3 * (m.z1 + m.z3 - 14.0 - 6.0 * emsq);
  const double sghl = m.s4 * moon_mean_motion * (m.z31 + m.z33 - 6.0);
  double shll = -moon_mean_motion * m.s2 * (m.z21 + m.z23);
  if (!node_terms_defined) shll = 0.0;
  rates.perigee = sgs + sghl;
  rates.node = shs;
  if (sinim != 0.0) {
    rates.perigee = rates.perigee - cosim / sinim * shll;
    rates.node = rates.node + shll / sinim;
  }

  init.resonance.kind = Resonance::None;
  const bool one_day = 0.0034906585 < nm && nm < 0.0052359877;
  const bool half_day = 8.26e-3 <= nm && nm <= 9.24e-3 && em >= 0.5;
  if (!one_day && !half_day) return init;

  const double theta = std::fmod(sidereal_time_rad, two_pi);
  const double aonv = std::pow(nm / ke, two_thirds);
  ResonanceTerms& r = init.resonance;
  if (half_day) {
    r = half_day_resonance(cosim, sinim, em, emsq, nm, aonv);
    r.xlamo = std::fmod(elements.mean_anomaly + elements.right_ascension + elements.right_ascension - theta - theta,
                        two_pi);
    r.xfact = secular.mean_anomaly_rate + rates.mean_anomaly +
              2.0 * (secular.node_rate + rates.node - earth_rotation_rad_min) - nm;
  } else {
    r = one_day_resonance(cosim, sinim, emsq, nm, aonv);
    const double perigee_and_node_rate = secular.perigee_rate + secular.node_rate;  // xpidot
    r.xlamo = std::fmod(elements.mean_anomaly + elements.right_ascension + elements.argument_of_perigee - theta,
                        two_pi);
    r.xfact = secular.mean_anomaly_rate + perigee_and_node_rate - earth_rotation_rad_min + rates.mean_anomaly +
              rates.perigee + rates.node - nm;
  }
  r.perigee_at_epoch = elements.argument_of_perigee;
  r.perigee_rate = secular.perigee_rate;
  r.epoch_mean_motion = nm;
  return init;
}

void apply_deep_space_secular(const DeepSpaceTerms& deep, const ResonanceSteps* steps, double sidereal_time_rad,
                              double minutes, MeanElements& mean) {
  const ThirdBodyRates& rates = deep.rates;
  mean.eccentricity = mean.eccentricity + rates.eccentricity * minutes;
  mean.inclination = mean.inclination + rates.inclination * minutes;
  mean.perigee = mean.perigee + rates.perigee * minutes;
  mean.node = mean.node + rates.node * minutes;
  mean.mean_anomaly = mean.mean_anomaly + rates.mean_anomaly * minutes;
  if (deep.resonance.kind == Resonance::None) return;
  const double theta = wrap_two_pi(sidereal_time_rad + minutes * earth_rotation_rad_min);
  integrate_resonance(deep.resonance, steps, theta, minutes, mean);
}

SinCos apply_lunar_solar_periodics(const LunarSolarTerms& terms, double minutes, MeanElements& mean) {
  const PeriodicShift sun = periodic_shift(terms.sun, terms.sun_mean_anomaly + sun_mean_motion * minutes,
                                           sun_eccentricity);
  const PeriodicShift moon = periodic_shift(terms.moon, terms.moon_mean_anomaly + moon_mean_motion * minutes,
                                            moon_eccentricity);
  // The periodics vanish at epoch by construction, so no epoch offsets are subtracted.
  const double pe = sun.e + moon.e;
  const double pinc = sun.i + moon.i;
  const double pl = sun.l + moon.l;
  double pgh = sun.gh + moon.gh;
  double ph = sun.h + moon.h;

  mean.inclination = mean.inclination + pinc;
  mean.eccentricity = mean.eccentricity + pe;
  const double sinip = std::sin(mean.inclination);
  const double cosip = std::cos(mean.inclination);

  if (mean.inclination >= 0.2) {
    ph = ph / sinip;
    pgh = pgh - cosip * ph;
    mean.perigee = mean.perigee + pgh;
    mean.node = mean.node + ph;
    mean.mean_anomaly = mean.mean_anomaly + pl;
    return {sinip, cosip};
  }

  // Lyddane modification for low inclinations: apply the node and inclination periodics
  // through the equinoctial-like components to avoid the 1/sin(i) singularity. The node is
  // kept in (-2 pi, 2 pi) and the new node taken on the same branch as the old one. (The
  // AFSPC code also lifts negative nodes into [0, 2 pi); that shifts the perigee by
  // 2 pi * pinc * sin(i), a jump the published listing does not have, so no mode does it.)
  const double sinop = std::sin(mean.node);
  const double cosop = std::cos(mean.node);
  double alfdp = sinip * sinop;
  double betdp = sinip * cosop;
  const double dalf = ph * cosop + pinc * cosip * sinop;
  const double dbet = -ph * sinop + pinc * cosip * cosop;
  alfdp = alfdp + dalf;
  betdp = betdp + dbet;
  double nodep = wrap_two_pi(mean.node);
  const double xls = mean.mean_anomaly + mean.perigee + pl + pgh + (cosip - pinc * sinip) * nodep;
  const double xnoh = nodep;
  nodep = std::atan2(alfdp, betdp);
  if (std::fabs(xnoh - nodep) > pi) {
    if (nodep < xnoh)
      nodep = nodep + two_pi;
    else
      nodep = nodep - two_pi;
  }
  mean.mean_anomaly = mean.mean_anomaly + pl;
  mean.perigee = xls - mean.mean_anomaly - cosip * nodep;
  mean.node = nodep;
  return {sinip, cosip};
}

}  // namespace sgp4::detail
