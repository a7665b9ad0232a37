// The mean element record of one satellite, under CCSDS OMM field names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sgp4 {

enum class Classification : std::uint8_t { Unclassified = 0, Classified = 1, Secret = 2 };

// A UTC instant without leap seconds: seconds since 1970-01-01T00:00:00 UTC
// (floor) and the nanosecond within that second, always in [0, 1e9).
struct UtcInstant {
  std::int64_t unix_seconds = 0;
  std::uint32_t nanosecond = 0;

  friend bool operator==(const UtcInstant&, const UtcInstant&) = default;
};

// Fields are declared in the OMM order; readers report missing keys in this order.
// Angles are degrees and mean motion rev/day, exactly as given.
struct Elements {
  std::optional<std::string> object_name;               // OBJECT_NAME
  std::optional<std::string> international_designator;  // OBJECT_ID
  std::uint64_t norad_id = 0;                           // NORAD_CAT_ID
  Classification classification = Classification::Unclassified;  // CLASSIFICATION_TYPE
  UtcInstant epoch;                                     // EPOCH
  double mean_motion_dot = 0.0;                         // MEAN_MOTION_DOT, rev/day²
  double mean_motion_ddot = 0.0;                        // MEAN_MOTION_DDOT, rev/day³
  double drag_term = 0.0;                               // BSTAR, 1/earth radii
  std::uint64_t element_set_number = 0;                 // ELEMENT_SET_NO
  double inclination = 0.0;                             // INCLINATION, degrees
  double right_ascension = 0.0;                         // RA_OF_ASC_NODE, degrees
  double eccentricity = 0.0;                            // ECCENTRICITY
  double argument_of_perigee = 0.0;                     // ARG_OF_PERICENTER, degrees
  double mean_anomaly = 0.0;                            // MEAN_ANOMALY, degrees
  double mean_motion = 0.0;                             // MEAN_MOTION, rev/day
  std::uint64_t revolution_number = 0;                  // REV_AT_EPOCH
  std::uint8_t ephemeris_type = 0;                      // EPHEMERIS_TYPE
};

}  // namespace sgp4
