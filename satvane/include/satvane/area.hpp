// Areas of interest on the Earth's surface and how far a point lies inside or outside them.
//
// The Earth is taken as a unit sphere: a latitude and longitude in degrees become a unit
// vector, and every distance is a central angle in radians. Areas are validated once at
// construction, precompute everything that does not depend on the queried point, and are
// immutable values afterwards. Evaluating an offset never allocates.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "satvane/error.hpp"
#include "satvane/vectors.hpp"

namespace satvane::area {

using satvane::kDegToRad;
using satvane::kRadToDeg;

// Unit vector (cos φ cos λ, cos φ sin λ, sin φ) of a latitude and longitude in degrees.
Vec3 unit_vector(LatLon point);
// Latitude in [-90, 90] and longitude in (-180, 180], degrees.
LatLon lat_lon_from_unit(const Vec3& unit);
// Central angle in [0, π] between two unit vectors, accurate at every separation.
double angle_between(const Vec3& a, const Vec3& b);
// Closer than 1e-9 rad: the same point for every purpose of an area.
bool coincident(const Vec3& a, const Vec3& b);

// ---- Construction failures -------------------------------------------------------------

enum class ErrorKind : std::uint8_t {
  TooFewVertices,
  Latitude,
  NotFinite,
  AntipodalEdge,
  LargerThanHemisphere,
  EmptyRectangle,
  CircleRadius,
};

struct TooFewVertices {
  std::size_t count;
  friend bool operator==(const TooFewVertices&, const TooFewVertices&) = default;
};
struct LatitudeOutOfRange {
  double value_deg;  // as given
  friend bool operator==(const LatitudeOutOfRange&, const LatitudeOutOfRange&) = default;
};
struct NotFinite {
  std::string_view what;  // e.g. "circle radius"
  double value;
  friend bool operator==(const NotFinite&, const NotFinite&) = default;
};
struct AntipodalEdge {
  std::size_t index;  // 0-based; the closing edge is n - 1
  friend bool operator==(const AntipodalEdge&, const AntipodalEdge&) = default;
};
struct LargerThanHemisphere {
  double radius_deg;
  friend bool operator==(const LargerThanHemisphere&, const LargerThanHemisphere&) = default;
};
struct EmptyRectangle {
  double south_deg;
  double north_deg;
  friend bool operator==(const EmptyRectangle&, const EmptyRectangle&) = default;
};
struct CircleRadius {
  double radius_deg;  // as given
  friend bool operator==(const CircleRadius&, const CircleRadius&) = default;
};

class Error {
 public:
  // Alternatives in ErrorKind order, so the index is the kind.
  using Detail = std::variant<TooFewVertices, LatitudeOutOfRange, NotFinite, AntipodalEdge,
                              LargerThanHemisphere, EmptyRectangle, CircleRadius>;

  template <class D>
    requires std::constructible_from<Detail, D>
  Error(D detail) : detail_(detail) {}

  ErrorKind kind() const { return static_cast<ErrorKind>(detail_.index()); }
  const Detail& detail() const { return detail_; }
  std::string text() const;
  // The same failure as the core library reports it (kind Aoi).
  satvane::Error to_core() const { return satvane::Error::aoi(text()); }

  friend bool operator==(const Error&, const Error&) = default;

 private:
  Detail detail_;
};

// A point to query an area at, as a real position: the Latitude error for a latitude outside
// [-90, 90] (or NaN), NotFinite ("point longitude") for a longitude that is not finite. The
// offsets themselves answer NaN for such a point.
[[nodiscard]] std::expected<LatLon, Error> checked_point(LatLon point);

// ---- Shapes ----------------------------------------------------------------------------

// A spherical cap.
class Circle {
 public:
  [[nodiscard]] static std::expected<Circle, Error> create(LatLon centre, double radius_deg);
  // The circle whose centre_unit() and radius() these are, bit for bit (a saved circle).
  [[nodiscard]] static std::expected<Circle, Error> from_state(const Vec3& centre_unit, double radius_rad);

  LatLon centre() const { return lat_lon_from_unit(centre_); }
  const Vec3& centre_unit() const { return centre_; }
  double radius() const { return radius_; }  // radians

  // Radians: positive inside, negative outside, 0 on the rim; NaN for a point that is not
  // a valid latitude/longitude.
  double signed_angular_offset(LatLon point) const;

 private:
  Circle(const Vec3& centre, double radius) : centre_(centre), radius_(radius) {}
  Vec3 centre_;
  double radius_;
};

// A latitude/longitude box running eastward from `west` by `span`, whose north and south
// edges follow their parallels; or a band over every longitude (no meridian edges).
class Rectangle {
 public:
  [[nodiscard]] static std::expected<Rectangle, Error> create(LatLon south_west, LatLon north_east);
  [[nodiscard]] static std::expected<Rectangle, Error> latitude_band(double south_deg, double north_deg);
  // The box whose south(), north(), west() and span() these are, bit for bit (a saved box).
  [[nodiscard]] static std::expected<Rectangle, Error> from_state(double south, double north, double west,
                                                                  double span);

  // Radians. `west` is in [-π, π); `span` is exactly 2π for a band.
  double south() const { return south_; }
  double north() const { return north_; }
  double west() const { return west_; }
  double span() const { return span_; }
  bool is_band() const { return !edges_.has_value(); }

  double signed_angular_offset(LatLon point) const;

 private:
  struct Meridian {
    Vec3 normal;     // eastward normal of the meridian's plane
    Vec3 direction;  // equatorial direction of the half that carries the edge
  };
  struct Edges {
    std::array<Vec3, 4> corners;        // SW, SE, NE, NW
    std::array<Meridian, 2> meridians;  // west, east
  };

  [[nodiscard]] static std::expected<Rectangle, Error> build(double south, double north, double west,
                                                             double span);
  Rectangle(double south, double north, double west, double span);
  bool in_longitude_range(double longitude) const;
  double distance_to_meridian_edges(const Vec3& p) const;

  std::optional<Edges> edges_;
  double south_;
  double north_;
  double west_;
  double span_;
  // A bound within 1e-9 rad of a pole is the pole: no boundary there.
  bool south_is_pole_;
  bool north_is_pole_;
  double sin_south_;
  double sin_north_;
};

enum class FillRule : std::uint8_t {
  NonZero,  // inside wherever the winding number is non-zero
  EvenOdd,  // inside wherever the winding number is odd
};

// A closed ring of great-circle arcs that fits in a hemisphere.
class Polygon {
 public:
  // Consecutive repeats and a closing repeat of the first vertex are dropped. Fill rule NonZero.
  [[nodiscard]] static std::expected<Polygon, Error> create(std::span<const LatLon> vertices);
  [[nodiscard]] static std::expected<Polygon, Error> create(std::initializer_list<LatLon> vertices) {
    return create(std::span<const LatLon>(vertices.begin(), vertices.size()));
  }
  // The polygon whose vertices() and fill_rule() these are, bit for bit (a saved polygon).
  [[nodiscard]] static std::expected<Polygon, Error> from_state(std::span<const Vec3> vertices,
                                                                FillRule rule);

  std::span<const Vec3> vertices() const { return vertices_; }
  const Vec3& centre() const { return centre_; }
  double radius() const { return radius_; }  // radians, of the cap around `centre` holding it
  FillRule fill_rule() const { return fill_rule_; }
  void set_fill_rule(FillRule rule) { fill_rule_ = rule; }

  double signed_angular_offset(LatLon point) const;

 private:
  // Edge k runs from vertex k to vertex k + 1 (the last one back to vertex 0).
  struct Edge {
    Vec3 normal;      // unit normal of the edge's great circle, v_k × v_(k+1)
    Vec3 start_side;  // p · start_side >= 0 and p · end_side >= 0: the foot of p on the
    Vec3 end_side;    // great circle lies on the arc itself
  };

  Polygon() = default;
  // Edges, centre and radius of a ring of distinct unit vectors.
  [[nodiscard]] static std::expected<Polygon, Error> from_ring(std::vector<Vec3> ring);
  double boundary_distance(const Vec3& p) const;
  int winding_number(const Vec3& p, const Vec3& north_at_p) const;

  std::vector<Vec3> vertices_;
  std::vector<Edge> edges_;
  Vec3 centre_;
  double radius_ = 0.0;
  FillRule fill_rule_ = FillRule::NonZero;
};

// ---- The area interface ----------------------------------------------------------------

template <class A>
concept Area = requires(const A& area, LatLon point) {
  { area.signed_angular_offset(point) } -> std::same_as<double>;
};

// Distance from `point` to the farthest point of the area, radians in [0, π]: π less the
// distance from the antipode to the area.
template <Area A>
double max_angular_distance(const A& area, LatLon point) {
  const double antipode_offset =
      area.signed_angular_offset({-point.latitude_deg, point.longitude_deg + 180.0});
  if (antipode_offset != antipode_offset) return antipode_offset;  // NaN stays NaN
  return std::numbers::pi + (antipode_offset < 0.0 ? antipode_offset : 0.0);
}

// Any shape, owned by value: what a search keeps for its lifetime.
class AreaKind {
 public:
  using Shape = std::variant<Circle, Rectangle, Polygon>;

  AreaKind(Circle circle) : shape_(std::move(circle)) {}
  AreaKind(Rectangle rectangle) : shape_(std::move(rectangle)) {}
  AreaKind(Polygon polygon) : shape_(std::move(polygon)) {}

  const Shape& shape() const { return shape_; }
  double signed_angular_offset(LatLon point) const {
    return std::visit([&](const auto& s) { return s.signed_angular_offset(point); }, shape_);
  }
  double max_angular_distance(LatLon point) const {
    return area::max_angular_distance(*this, point);
  }

 private:
  Shape shape_;
};

// Any shape, borrowed: for a computation that ends before the shape goes away.
class AreaRef {
  using Shape = std::variant<const Circle*, const Rectangle*, const Polygon*>;

 public:
  AreaRef(const Circle& circle) : shape_(&circle) {}
  AreaRef(const Rectangle& rectangle) : shape_(&rectangle) {}
  AreaRef(const Polygon& polygon) : shape_(&polygon) {}
  AreaRef(const AreaKind& area)
      : shape_(std::visit([](const auto& s) -> Shape { return &s; }, area.shape())) {}

  double signed_angular_offset(LatLon point) const {
    return std::visit([&](const auto* s) { return s->signed_angular_offset(point); }, shape_);
  }
  double max_angular_distance(LatLon point) const {
    return area::max_angular_distance(*this, point);
  }

 private:
  Shape shape_;
};

}  // namespace satvane::area
