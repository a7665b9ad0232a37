// Sphere helpers, area errors, circles and latitude/longitude boxes.
#include "satvane/area.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "area_detail.hpp"
#include "sgp4/format.hpp"

namespace satvane::area {

using namespace detail;

Vec3 unit_vector(LatLon point) {
  return unit_vector_rad(point.latitude_deg * kDegToRad,
                         reduced_longitude_deg(point.longitude_deg) * kDegToRad);
}

LatLon lat_lon_from_unit(const Vec3& unit) {
  // atan2 answers -180 for the antimeridian approached from below (y = -0 or a rounding
  // residue under it); that meridian reads back as 180, so every meridian has one longitude.
  const double longitude_deg = std::atan2(unit.y, unit.x) * kRadToDeg;
  return {std::asin(std::clamp(unit.z, -1.0, 1.0)) * kRadToDeg,
          longitude_deg == -180.0 ? 180.0 : longitude_deg};
}

double angle_between(const Vec3& a, const Vec3& b) {
  return std::atan2(norm(cross(a, b)), dot(a, b));
}

bool coincident(const Vec3& a, const Vec3& b) { return angle_between(a, b) < 1e-9; }

// ---- Error texts -------------------------------------------------------------------------

namespace {

std::string one_decimal(double value) {
  if (!std::isfinite(value)) return sgp4::format_double(value);
  char buf[400];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 1);
  return std::string(buf, result.ptr);
}

struct ErrorText {
  std::string operator()(const TooFewVertices& e) const {
    return "polygon needs at least 3 distinct vertices, got " + std::to_string(e.count);
  }
  std::string operator()(const LatitudeOutOfRange& e) const {
    return "latitude " + sgp4::format_double(e.value_deg) + " is outside [-90, 90]";
  }
  std::string operator()(const NotFinite& e) const {
    return std::string(e.what) + " is not finite: " + sgp4::format_double(e.value);
  }
  std::string operator()(const AntipodalEdge& e) const {
    return "polygon edge " + std::to_string(e.index) +
           " joins antipodal vertices; no unique great-circle arc joins them";
  }
  std::string operator()(const LargerThanHemisphere& e) const {
    return "polygon spans " + one_decimal(e.radius_deg) +
           "° from its centre and does not fit within a hemisphere; split it into smaller "
           "polygons, or describe the complementary region instead";
  }
  std::string operator()(const EmptyRectangle& e) const {
    return "rectangle is empty: south " + sgp4::format_double(e.south_deg) +
           "° must lie below north " + sgp4::format_double(e.north_deg) +
           "°, and the corners must differ in longitude — note that -180° and 180° are the same "
           "meridian, so use `Rectangle::latitude_band` for a box spanning every longitude";
  }
  std::string operator()(const CircleRadius& e) const {
    return "circle radius must lie in (0, 90°), got " + sgp4::format_double(e.radius_deg) + "°";
  }
};

// Into [-π, π).
double normalized_longitude(double lon) {
  double wrapped = std::fmod(lon, kTwoPi);
  if (wrapped >= kPi) wrapped -= kTwoPi;
  if (wrapped < -kPi) wrapped += kTwoPi;
  return wrapped < kPi ? wrapped : -kPi;
}

// Into [0, 2π).
double wrap_two_pi(double angle) {
  const double wrapped = std::fmod(angle, kTwoPi);
  return wrapped < 0.0 ? wrapped + kTwoPi : wrapped;
}

}  // namespace

std::string Error::text() const { return std::visit(ErrorText{}, detail_); }

std::expected<LatLon, Error> checked_point(LatLon point) {
  if (auto ok = check_position(point, "point longitude"); !ok) return std::unexpected(ok.error());
  return point;
}

// ---- Circle ------------------------------------------------------------------------------

std::expected<Circle, Error> Circle::create(LatLon centre, double radius_deg) {
  if (auto ok = check_position(centre, "circle centre longitude"); !ok)
    return std::unexpected(ok.error());
  if (auto ok = check_finite("circle radius", radius_deg); !ok) return std::unexpected(ok.error());
  const double radius = radius_deg * kDegToRad;
  if (!(radius > 0.0 && radius < kMaxCapRadius)) return std::unexpected(CircleRadius{radius_deg});
  return Circle(unit_vector(centre), radius);
}

std::expected<Circle, Error> Circle::from_state(const Vec3& centre_unit, double radius_rad) {
  for (const double component : {centre_unit.x, centre_unit.y, centre_unit.z})
    if (auto ok = check_finite("circle centre", component); !ok) return std::unexpected(ok.error());
  if (!(radius_rad > 0.0 && radius_rad < kMaxCapRadius))
    return std::unexpected(CircleRadius{radius_rad * kRadToDeg});
  return Circle(centre_unit, radius_rad);
}

double Circle::signed_angular_offset(LatLon point) const {
  if (!is_valid_point(point)) return kNaN;
  const double offset = radius_ - angle_between(centre_, unit_vector(point));
  return std::fabs(offset) < kOnBoundary ? 0.0 : offset;
}

// ---- Rectangle ---------------------------------------------------------------------------

std::expected<Rectangle, Error> Rectangle::create(LatLon south_west, LatLon north_east) {
  const auto south = checked_latitude(south_west.latitude_deg);
  if (!south) return std::unexpected(south.error());
  const auto north = checked_latitude(north_east.latitude_deg);
  if (!north) return std::unexpected(north.error());
  if (auto ok = check_finite("rectangle west longitude", south_west.longitude_deg); !ok)
    return std::unexpected(ok.error());
  if (auto ok = check_finite("rectangle east longitude", north_east.longitude_deg); !ok)
    return std::unexpected(ok.error());

  const double west =
      normalized_longitude(reduced_longitude_deg(south_west.longitude_deg) * kDegToRad);
  const double east =
      normalized_longitude(reduced_longitude_deg(north_east.longitude_deg) * kDegToRad);
  // Corners within 1e-9 rad of one meridian, on either side, are on the same meridian: the
  // box is empty, never the whole band (which side rounding lands on must not matter).
  double span = wrap_two_pi(east - west);
  if (span < 1e-9 || span > kTwoPi - 1e-9) span = 0.0;
  return build(*south, *north, west, span);
}

std::expected<Rectangle, Error> Rectangle::latitude_band(double south_deg, double north_deg) {
  const auto south = checked_latitude(south_deg);
  if (!south) return std::unexpected(south.error());
  const auto north = checked_latitude(north_deg);
  if (!north) return std::unexpected(north.error());
  return build(*south, *north, -kPi, kTwoPi);
}

std::expected<Rectangle, Error> Rectangle::from_state(double south, double north, double west,
                                                      double span) {
  for (const double bound : {south, north})
    if (!(std::fabs(bound) <= 90.0 * kDegToRad)) return std::unexpected(LatitudeOutOfRange{bound * kRadToDeg});
  if (auto ok = check_finite("rectangle west longitude", west); !ok) return std::unexpected(ok.error());
  if (auto ok = check_finite("rectangle span", span); !ok) return std::unexpected(ok.error());
  return build(south, north, west, span);
}

std::expected<Rectangle, Error> Rectangle::build(double south, double north, double west,
                                                 double span) {
  if (north - south < 1e-9 || span < 1e-9)
    return std::unexpected(EmptyRectangle{south * kRadToDeg, north * kRadToDeg});
  Rectangle box(south, north, west, span);
  if (span >= kTwoPi - 1e-9) {
    box.span_ = kTwoPi;
    return box;
  }

  const double east = west + span;
  const auto meridian = [](double lon) {
    return Meridian{{-std::sin(lon), std::cos(lon), 0.0}, {std::cos(lon), std::sin(lon), 0.0}};
  };
  // Corners straight from the stored radians, so bounds and corners agree to the last bit.
  box.edges_ = Edges{{unit_vector_rad(south, west), unit_vector_rad(south, east),
                      unit_vector_rad(north, east), unit_vector_rad(north, west)},
                     {meridian(west), meridian(east)}};
  return box;
}

Rectangle::Rectangle(double south, double north, double west, double span)
    : south_(south),
      north_(north),
      west_(west),
      span_(span),
      south_is_pole_(south <= -kMaxCapRadius),
      north_is_pole_(north >= kMaxCapRadius),
      sin_south_(std::sin(south)),
      sin_north_(std::sin(north)) {}

bool Rectangle::in_longitude_range(double longitude) const {
  return !edges_ || wrap_two_pi(longitude - west_) <= span_;
}

// Distance to the nearest point of the two meridian edges, corners included.
double Rectangle::distance_to_meridian_edges(const Vec3& p) const {
  const Vec3& nearest_corner = edges_->corners[nearest_index(p, edges_->corners)];
  double distance = angle_between(p, nearest_corner);
  for (const Meridian& meridian : edges_->meridians) {
    // The foot of p on the meridian's plane must lie on the edge's half, between the bounds;
    // otherwise the nearest point of that edge is a corner, already counted.
    if (dot(p, meridian.direction) <= 0.0) continue;
    const double s = dot(p, meridian.normal);
    const double foot_norm = norm(p - meridian.normal * s);
    if (!(foot_norm > kSmallestNormal)) continue;
    const double foot_sin_lat = std::clamp(p.z / foot_norm, -1.0, 1.0);
    if (foot_sin_lat < sin_south_ || foot_sin_lat > sin_north_) continue;
    distance = std::min(distance, std::atan2(std::fabs(s), foot_norm));
  }
  return distance;
}

double Rectangle::signed_angular_offset(LatLon point) const {
  if (!is_valid_point(point)) return kNaN;
  const double lat = point.latitude_deg * kDegToRad;
  const bool in_longitude =
      in_longitude_range(reduced_longitude_deg(point.longitude_deg) * kDegToRad);

  // Within the longitude range the nearest point of a parallel edge is on the point's own
  // meridian; outside it, that edge's nearest point is a corner.
  double distance = kInfinity;
  if (in_longitude) {
    if (!south_is_pole_) distance = std::fabs(lat - south_);
    if (!north_is_pole_) distance = std::min(distance, std::fabs(north_ - lat));
  }
  if (edges_) distance = std::min(distance, distance_to_meridian_edges(unit_vector(point)));
  distance = std::min(distance, kPi);
  if (distance < kOnBoundary) return 0.0;

  const bool in_latitude = (south_is_pole_ || lat >= south_) && (north_is_pole_ || lat <= north_);
  return in_latitude && in_longitude ? distance : -distance;
}

}  // namespace satvane::area
