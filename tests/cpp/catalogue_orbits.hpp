// Catalogue-like orbits for the search tests: the ISS element set and four classes of orbit
// built from it (same epoch), so each search meets low, polar, highly eccentric and
// geostationary satellites.
#pragma once

#include <string>

#include "iss_tle.hpp"
#include "satvane/predictor.hpp"
#include "sgp4/tle.hpp"

namespace test_support {

struct Orbit {
  std::string name;
  double inclination_deg, eccentricity, argument_of_perigee_deg, mean_motion_rev_day, right_ascension_deg;
};

inline sgp4::Elements iss_elements() { return *sgp4::parse_tle(kIssName, kIssLine1, kIssLine2); }
inline satvane::Predictor iss() { return *satvane::Predictor::from_tle(kIssName, kIssLine1, kIssLine2); }

// The ISS itself, from its element set as published (drag included).
inline const Orbit kIss{"ISS", 0.0, 0.0, 0.0, 0.0, 0.0};
inline const Orbit kLeo{"LEO", 53.05, 0.0001, 90.0, 15.06, 40.0};
inline const Orbit kSunSynchronous{"SSO", 98.2, 0.0012, 120.0, 14.57, 300.0};
inline const Orbit kMolniya{"Molniya", 63.4, 0.72, 270.0, 2.006, 80.0};
inline const Orbit kGeostationary{"GEO", 0.05, 0.0002, 90.0, 1.0027, 10.0};

inline satvane::Predictor predictor_of(const Orbit& orbit) {
  if (orbit.name == kIss.name) return iss();
  sgp4::Elements elements = iss_elements();
  elements.object_name = orbit.name;
  elements.inclination = orbit.inclination_deg;
  elements.eccentricity = orbit.eccentricity;
  elements.argument_of_perigee = orbit.argument_of_perigee_deg;
  elements.mean_motion = orbit.mean_motion_rev_day;
  elements.right_ascension = orbit.right_ascension_deg;
  elements.mean_motion_dot = elements.mean_motion_ddot = elements.drag_term = 0.0;
  return *satvane::Predictor::create(elements);
}

}  // namespace test_support
