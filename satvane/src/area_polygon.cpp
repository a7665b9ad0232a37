// Polygons of great-circle arcs: construction checks and the signed offset.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "area_detail.hpp"
#include "satvane/area.hpp"

namespace satvane::area {

using namespace detail;

namespace {

// Validated unit vectors without consecutive repeats, nor a closing repeat of the first.
std::expected<std::vector<Vec3>, Error> distinct_ring(std::span<const LatLon> points) {
  std::vector<Vec3> ring;
  ring.reserve(points.size());
  for (const LatLon& point : points) {
    if (auto ok = check_position(point, "polygon vertex longitude"); !ok)
      return std::unexpected(ok.error());
    const Vec3 unit = unit_vector(point);
    if (ring.empty() || !coincident(unit, ring.back())) ring.push_back(unit);
  }
  if (ring.size() < 2) return std::unexpected(TooFewVertices{ring.size()});
  if (coincident(ring.back(), ring.front())) ring.pop_back();
  if (ring.size() < 3) return std::unexpected(TooFewVertices{ring.size()});
  return ring;
}

Vec3 vertex_centre(std::span<const Vec3> vertices) {
  Vec3 sum;
  for (const Vec3& v : vertices) sum = sum + v;
  const double length = norm(sum);
  return length > kSmallestNormal ? sum / length : vertices.front();
}

}  // namespace

std::expected<Polygon, Error> Polygon::create(std::span<const LatLon> points) {
  auto ring = distinct_ring(points);
  if (!ring) return std::unexpected(ring.error());
  return from_ring(std::move(*ring));
}

std::expected<Polygon, Error> Polygon::from_state(std::span<const Vec3> vertices, FillRule rule) {
  if (vertices.size() < 3) return std::unexpected(TooFewVertices{vertices.size()});
  for (const Vec3& v : vertices) {
    for (const double component : {v.x, v.y, v.z})
      if (auto ok = check_finite("polygon vertex", component); !ok) return std::unexpected(ok.error());
  }
  auto polygon = from_ring(std::vector<Vec3>(vertices.begin(), vertices.end()));
  if (polygon) polygon->fill_rule_ = rule;
  return polygon;
}

std::expected<Polygon, Error> Polygon::from_ring(std::vector<Vec3> ring) {
  Polygon polygon;
  polygon.vertices_ = std::move(ring);
  const std::span<const Vec3> vertices = polygon.vertices_;
  const std::size_t n = vertices.size();
  polygon.edges_.reserve(n);
  for (std::size_t k = 0; k < n; ++k) {
    const Vec3& start = vertices[k];
    const Vec3& end = vertices[(k + 1) % n];
    if (dot(start, end) < -(1.0 - 1e-9)) return std::unexpected(AntipodalEdge{k});
    const Vec3 normal = normalized(cross(start, end));
    polygon.edges_.push_back({normal, cross(normal, start), cross(end, normal)});
  }

  polygon.centre_ = vertex_centre(vertices);
  for (const Vec3& v : vertices)
    polygon.radius_ = std::max(polygon.radius_, angle_between(polygon.centre_, v));
  if (polygon.radius_ >= kMaxCapRadius)
    return std::unexpected(LargerThanHemisphere{polygon.radius_ * kRadToDeg});
  return polygon;
}

double Polygon::boundary_distance(const Vec3& p) const {
  // Track the nearest vertex and the nearest arc interior separately, in cheap monotone
  // measures, and take exact angles only for the two winners.
  const std::size_t nearest_vertex = nearest_index(p, vertices_);
  const Edge* nearest_edge = nullptr;
  double nearest_edge_sin = kInfinity;
  for (const Edge& edge : edges_) {
    const double s = std::fabs(dot(p, edge.normal));
    if (s < nearest_edge_sin && dot(p, edge.start_side) >= 0.0 && dot(p, edge.end_side) >= 0.0) {
      nearest_edge_sin = s;
      nearest_edge = &edge;
    }
  }
  const double to_vertex = angle_between(p, vertices_[nearest_vertex]);
  return nearest_edge ? std::min(to_vertex, angle_to_plane(p, nearest_edge->normal)) : to_vertex;
}

// Winding number of the ring around p, counted as signed crossings of the ray from p toward
// local east. Seen from p, each arc sweeps less than half a turn, so an arc crosses that ray
// exactly when its ends lie on opposite sides of it (by the sign of their northward
// component) and it turns the matching way (the side of its great circle p lies on). This
// equals the sum of the arcs' turning angles at p over 2π, without a transcendental per edge.
int Polygon::winding_number(const Vec3& p, const Vec3& north_at_p) const {
  const std::size_t n = vertices_.size();
  int winding = 0;
  const double first_north = dot(vertices_[0], north_at_p);
  double start_north = first_north;
  for (std::size_t k = 0; k < n; ++k) {
    const double end_north = k + 1 < n ? dot(vertices_[k + 1], north_at_p) : first_north;
    const double side = dot(p, edges_[k].normal);
    if (start_north <= 0.0) {
      if (end_north > 0.0 && side > 0.0) ++winding;
    } else if (end_north <= 0.0 && side < 0.0) {
      --winding;
    }
    start_north = end_north;
  }
  return winding;
}

double Polygon::signed_angular_offset(LatLon point) const {
  if (!is_valid_point(point)) return kNaN;
  const double lat = point.latitude_deg * kDegToRad;
  const double lon = reduced_longitude_deg(point.longitude_deg) * kDegToRad;
  const double sin_lat = std::sin(lat), cos_lat = std::cos(lat);
  const double sin_lon = std::sin(lon), cos_lon = std::cos(lon);
  const Vec3 p{cos_lat * cos_lon, cos_lat * sin_lon, sin_lat};

  const double distance = boundary_distance(p);
  // Outside the bounding cap no winding is needed (and would be meaningless near the
  // antipodal side, where the ring winds around p's opposite).
  if (angle_between(centre_, p) > radius_ + 1e-9) return -distance;
  if (distance < kOnBoundary) return 0.0;

  const Vec3 north_at_p{-sin_lat * cos_lon, -sin_lat * sin_lon, cos_lat};
  const int winding = winding_number(p, north_at_p);
  const bool inside = fill_rule_ == FillRule::NonZero ? winding != 0 : std::abs(winding) % 2 == 1;
  return inside ? distance : -distance;
}

}  // namespace satvane::area
