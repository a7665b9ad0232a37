// Position records and frame-tagged state vectors.
#pragma once

#include <array>

namespace satvane {

// Latitude and longitude in degrees (no altitude).
struct LatLon {
  double latitude_deg = 0.0;
  double longitude_deg = 0.0;
  friend bool operator==(const LatLon&, const LatLon&) = default;
};

// Geodetic latitude and longitude in degrees, altitude in metres above the WGS84 ellipsoid.
struct GeodeticPoint {
  double latitude_deg = 0.0;
  double longitude_deg = 0.0;
  double altitude_m = 0.0;
  friend bool operator==(const GeodeticPoint&, const GeodeticPoint&) = default;
};

}  // namespace satvane
