#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <new>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "satvane/area.hpp"

#include "allocation_counter.hpp"

using satvane::LatLon;
using satvane::Vec3;
using namespace satvane::area;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- Reference geometry, written independently of the library -------------------------

Vec3 unit(double lat_deg, double lon_deg) {
  const double lat = lat_deg * kDeg, lon = lon_deg * kDeg;
  return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}
LatLon lat_lon(const Vec3& v) {
  return {std::asin(std::clamp(v.z, -1.0, 1.0)) / kDeg, std::atan2(v.y, v.x) / kDeg};
}
double angle(const Vec3& a, const Vec3& b) { return std::atan2(norm(cross(a, b)), dot(a, b)); }

// Point at distance `r` (radians) from `c` in direction `bearing` (radians).
Vec3 offset_point(const Vec3& c, double r, double bearing) {
  Vec3 e1 = std::fabs(c.z) < 0.9 ? cross(Vec3{0, 0, 1}, c) : cross(Vec3{1, 0, 0}, c);
  e1 = e1 / norm(e1);
  const Vec3 e2 = cross(c, e1);
  return c * std::cos(r) + (e1 * std::cos(bearing) + e2 * std::sin(bearing)) * std::sin(r);
}

void sample_arc(const Vec3& a, const Vec3& b, double step, std::vector<Vec3>& out) {
  const double length = angle(a, b);
  const int n = int(std::ceil(length / step)) + 1;
  Vec3 towards = b - a * dot(a, b);
  towards = towards / norm(towards);
  for (int i = 0; i <= n; ++i) {
    const double t = length * i / n;
    out.push_back(a * std::cos(t) + towards * std::sin(t));
  }
}
void sample_parallel(double lat_deg, double west_deg, double span_deg, double step,
                     std::vector<Vec3>& out) {
  const double length = span_deg * kDeg * std::max(std::cos(lat_deg * kDeg), 1e-6);
  const int n = int(std::ceil(length / step)) + 1;
  for (int i = 0; i <= n; ++i) out.push_back(unit(lat_deg, west_deg + span_deg * i / n));
}
void sample_meridian(double lon_deg, double south_deg, double north_deg, double step,
                     std::vector<Vec3>& out) {
  const int n = int(std::ceil((north_deg - south_deg) * kDeg / step)) + 1;
  for (int i = 0; i <= n; ++i)
    out.push_back(unit(south_deg + (north_deg - south_deg) * i / n, lon_deg));
}

// Nearest and farthest sampled boundary point.
std::pair<double, double> sampled_extremes(const Vec3& p, const std::vector<Vec3>& boundary) {
  double min_chord2 = kInf, max_chord2 = 0;
  for (const Vec3& b : boundary) {
    const Vec3 d = p - b;
    min_chord2 = std::min(min_chord2, dot(d, d));
    max_chord2 = std::max(max_chord2, dot(d, d));
  }
  const auto chord_angle = [](double c2) {
    return 2 * std::asin(std::min(std::sqrt(c2) / 2, 1.0));
  };
  return {chord_angle(min_chord2), chord_angle(max_chord2)};
}

// Winding number from the angles subtended in the gnomonic projection about `centre`, for
// points in the centre's hemisphere (great-circle arcs project to straight segments there).
int planar_winding(const std::vector<Vec3>& ring, const Vec3& centre, const Vec3& p) {
  Vec3 e1 = std::fabs(centre.z) < 0.9 ? cross(Vec3{0, 0, 1}, centre) : cross(Vec3{1, 0, 0}, centre);
  e1 = e1 / norm(e1);
  const Vec3 e2 = cross(centre, e1);
  const auto project = [&](const Vec3& v) {
    return std::pair{dot(v, e1) / dot(v, centre) - dot(p, e1) / dot(p, centre),
                     dot(v, e2) / dot(v, centre) - dot(p, e2) / dot(p, centre)};
  };
  double total = 0;
  for (std::size_t k = 0; k < ring.size(); ++k) {
    const auto [ax, ay] = project(ring[k]);
    const auto [bx, by] = project(ring[(k + 1) % ring.size()]);
    total += std::atan2(ax * by - ay * bx, ax * bx + ay * by);
  }
  return int(std::lround(total / (2 * kPi)));
}

// ---- Randomised comparison against sampled boundaries ---------------------------------

struct Case {
  std::string name;
  std::function<AreaKind()> make;
  std::function<std::vector<Vec3>(double step)> boundary;
  std::function<bool(LatLon)> inside;
  LatLon focus;             // most test points are drawn around here
  double focus_radius_deg;  // the rest anywhere on the sphere
};

Polygon polygon_of(const std::vector<LatLon>& vertices, FillRule rule = FillRule::NonZero) {
  auto polygon = Polygon::create(vertices);
  EXPECT_TRUE(polygon.has_value()) << polygon.error().text();
  polygon.value().set_fill_rule(rule);
  return *polygon;
}

Case circle_case(std::string name, LatLon centre, double radius_deg) {
  const Vec3 c = unit(centre.latitude_deg, centre.longitude_deg);
  return {
      name,
      [=] { return AreaKind(*Circle::create(centre, radius_deg)); },
      [=](double step) {
        std::vector<Vec3> rim;
        const int n = int(2 * kPi * std::sin(radius_deg * kDeg) / step) + 8;
        for (int i = 0; i < n; ++i)
          rim.push_back(offset_point(c, radius_deg * kDeg, 2 * kPi * i / n));
        return rim;
      },
      [=](LatLon p) { return angle(c, unit(p.latitude_deg, p.longitude_deg)) < radius_deg * kDeg; },
      centre,
      radius_deg * 2};
}

Case box_case(std::string name, LatLon sw, LatLon ne) {
  const double span = std::fmod(ne.longitude_deg - sw.longitude_deg + 720.0, 360.0);
  return {name,
          [=] { return AreaKind(*Rectangle::create(sw, ne)); },
          [=](double step) {
            std::vector<Vec3> b;
            sample_parallel(sw.latitude_deg, sw.longitude_deg, span, step, b);
            sample_parallel(ne.latitude_deg, sw.longitude_deg, span, step, b);
            sample_meridian(sw.longitude_deg, sw.latitude_deg, ne.latitude_deg, step, b);
            sample_meridian(ne.longitude_deg, sw.latitude_deg, ne.latitude_deg, step, b);
            return b;
          },
          [=](LatLon p) {
            const double east_of_west =
                std::fmod(p.longitude_deg - sw.longitude_deg + 720.0, 360.0);
            return p.latitude_deg >= sw.latitude_deg && p.latitude_deg <= ne.latitude_deg &&
                   east_of_west <= span;
          },
          {(sw.latitude_deg + ne.latitude_deg) / 2, sw.longitude_deg + span / 2},
          60};
}

Case band_case(std::string name, double south, double north) {
  return {name,
          [=] { return AreaKind(*Rectangle::latitude_band(south, north)); },
          [=](double step) {
            std::vector<Vec3> b;
            if (south > -90) sample_parallel(south, -180, 360, step, b);
            if (north < 90) sample_parallel(north, -180, 360, step, b);
            return b;
          },
          [=](LatLon p) { return p.latitude_deg >= south && p.latitude_deg <= north; },
          {(south + north) / 2, 0},
          180};
}

Case polygon_case(std::string name, std::vector<LatLon> vertices,
                  FillRule rule = FillRule::NonZero) {
  std::vector<Vec3> ring;
  Vec3 sum;
  for (const LatLon& v : vertices) {
    ring.push_back(unit(v.latitude_deg, v.longitude_deg));
    sum = sum + ring.back();
  }
  const Vec3 centre = sum / norm(sum);
  return {name,
          [=] { return AreaKind(polygon_of(vertices, rule)); },
          [=](double step) {
            std::vector<Vec3> b;
            for (std::size_t k = 0; k < ring.size(); ++k)
              sample_arc(ring[k], ring[(k + 1) % ring.size()], step, b);
            return b;
          },
          [=](LatLon p) {
            const Vec3 u = unit(p.latitude_deg, p.longitude_deg);
            if (dot(u, centre) <= 0) return false;
            const int w = planar_winding(ring, centre, u);
            return rule == FillRule::NonZero ? w != 0 : w % 2 != 0;
          },
          lat_lon(centre),
          40};
}

// A star-shaped ring around `centre` with random radii: concave, not self-intersecting.
std::vector<LatLon> star(LatLon centre, int n, double min_deg, double max_deg, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> radius(min_deg, max_deg);
  std::vector<LatLon> ring;
  for (int k = 0; k < n; ++k)
    ring.push_back(lat_lon(offset_point(unit(centre.latitude_deg, centre.longitude_deg),
                                        radius(rng) * kDeg, 2 * kPi * k / n)));
  return ring;
}

// Random vertices in a region in random order: a ring that crosses itself many times.
std::vector<LatLon> scribble(LatLon centre, int n, double spread_deg, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> r(0.0, spread_deg), bearing(0.0, 2 * kPi);
  std::vector<LatLon> ring;
  for (int k = 0; k < n; ++k)
    ring.push_back(lat_lon(offset_point(unit(centre.latitude_deg, centre.longitude_deg),
                                        r(rng) * kDeg, bearing(rng))));
  return ring;
}

std::vector<Case> all_cases() {
  return {
      circle_case("CircleMidLatitude", {10, 20}, 15),
      circle_case("CircleAtNorthPole", {90, 0}, 30),
      circle_case("CircleAcrossAntimeridian", {-5, 179}, 10),
      circle_case("CircleTiny", {45, -60}, 0.01),
      circle_case("CircleNearlyHemisphere", {-30, 100}, 85),
      box_case("Box", {10, 20}, {30, 50}),
      box_case("BoxAcrossAntimeridian", {-20, 170}, {10, -170}),
      box_case("BoxToNorthPole", {60, -30}, {90, 40}),
      box_case("BoxFromSouthPole", {-90, 100}, {-70, 130}),
      box_case("BoxWiderThanHalfTheGlobe", {-10, -100}, {20, 120}),
      box_case("LunePoleToPole", {-90, 10}, {90, 40}),
      band_case("BandSouthPoleTo60", -90, 60),
      band_case("BandMidLatitudes", -30, 45),
      band_case("BandNorthCap", 70, 90),
      polygon_case("Quad", {{0, 0}, {0, 10}, {10, 12}, {8, -2}}),
      polygon_case("ConcaveStar", star({30, -40}, 12, 3, 15, 1)),
      polygon_case("StarAroundNorthPole", star({90, 0}, 9, 10, 25, 2)),
      polygon_case("StarAroundSouthPole", star({-90, 0}, 7, 20, 40, 3)),
      polygon_case("StarAcrossAntimeridian", star({5, 180}, 10, 4, 12, 4)),
      polygon_case("LargeStar", star({0, 60}, 16, 40, 80, 5)),
      polygon_case("ScribbleNonZero", scribble({-20, 30}, 9, 20, 6), FillRule::NonZero),
      polygon_case("ScribbleEvenOdd", scribble({-20, 30}, 9, 20, 6), FillRule::EvenOdd),
      polygon_case("ScribbleEvenOddAtPole", scribble({90, 0}, 11, 25, 7), FillRule::EvenOdd),
  };
}

class AreaVsSampledBoundary : public testing::TestWithParam<Case> {};

TEST_P(AreaVsSampledBoundary, OffsetIsSignedDistanceToBoundary) {
  const Case& c = GetParam();
  const AreaKind area = c.make();
  constexpr double kStep = 2e-4;  // boundary sample spacing, radians
  const std::vector<Vec3> boundary = c.boundary(kStep);
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> u(-1.0, 1.0), bearing(0.0, 2 * kPi),
      near(0.0, c.focus_radius_deg * kDeg);
  const Vec3 focus = unit(c.focus.latitude_deg, c.focus.longitude_deg);
  for (int i = 0; i < 400; ++i) {
    const LatLon p = i % 4 == 0 ? LatLon{std::asin(u(rng)) / kDeg, 180 * u(rng)}
                                : lat_lon(offset_point(focus, near(rng), bearing(rng)));
    const double offset = area.signed_angular_offset(p);
    const Vec3 pu = unit(p.latitude_deg, p.longitude_deg);
    const auto [nearest, farthest] = sampled_extremes(pu, boundary);
    SCOPED_TRACE(testing::Message()
                 << "point (" << p.latitude_deg << ", " << p.longitude_deg << ")");
    const double expected_distance = boundary.empty() ? kPi : nearest;
    EXPECT_LE(std::fabs(offset), expected_distance + 1e-12);
    EXPECT_GE(std::fabs(offset), expected_distance - kStep / 2 - 1e-12);
    if (std::fabs(offset) > 1e-12) {
      EXPECT_EQ(offset > 0, c.inside(p)) << offset;
    }

    // The farthest point of the area is on its boundary unless the antipode is inside.
    const LatLon antipode{-p.latitude_deg, p.longitude_deg + 180};
    const double max_distance = area.max_angular_distance(p);
    if (std::fabs(area.signed_angular_offset(antipode)) < 1e-9) continue;
    if (c.inside(antipode)) {
      EXPECT_EQ(max_distance, kPi);
    } else {
      EXPECT_GE(max_distance, farthest - 1e-12);
      EXPECT_LE(max_distance, farthest + kStep / 2 + 1e-12);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, AreaVsSampledBoundary, testing::ValuesIn(all_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(Polygon, OrderAndStartingVertexChangeNoOffset) {
  for (unsigned seed = 10; seed < 16; ++seed) {
    const std::vector<LatLon> forward = seed % 2
                                            ? star({seed * 10.0 - 120, seed * 25.0}, 8, 2, 20, seed)
                                            : scribble({seed * 5.0, seed * -30.0}, 7, 15, seed);
    std::vector<LatLon> reversed(forward.rbegin(), forward.rend());
    std::vector<LatLon> rotated(forward.begin() + 3, forward.end());
    rotated.insert(rotated.end(), forward.begin(), forward.begin() + 3);
    for (FillRule rule : {FillRule::NonZero, FillRule::EvenOdd}) {
      const Polygon a = polygon_of(forward, rule), b = polygon_of(reversed, rule),
                    c = polygon_of(rotated, rule);
      std::mt19937_64 rng(seed);
      std::uniform_real_distribution<double> spread(-25.0, 25.0);
      for (int i = 0; i < 300; ++i) {
        const LatLon p{std::clamp(forward[0].latitude_deg + spread(rng), -90.0, 90.0),
                       forward[0].longitude_deg + spread(rng)};
        EXPECT_DOUBLE_EQ(a.signed_angular_offset(p), b.signed_angular_offset(p));
        EXPECT_DOUBLE_EQ(a.signed_angular_offset(p), c.signed_angular_offset(p));
      }
    }
  }
}

// ---- Fixed cases ------------------------------------------------------------------------

TEST(Circle, CentreRimAndAntipode) {
  const Circle circle = *Circle::create({0, 0}, 10);
  EXPECT_NEAR(circle.signed_angular_offset({0, 0}), 10 * kDeg, 1e-15);
  EXPECT_EQ(circle.signed_angular_offset({10, 0}), 0.0);
  EXPECT_EQ(circle.signed_angular_offset({0, -10}), 0.0);
  EXPECT_NEAR(circle.signed_angular_offset({0, 180}), 10 * kDeg - kPi, 1e-15);
  EXPECT_NEAR(max_angular_distance(circle, {0, 0}), 10 * kDeg, 1e-15);
  EXPECT_NEAR(max_angular_distance(circle, {0, 180}), kPi, 1e-15);
  const LatLon centre = Circle::create({0, 190}, 5)->centre();
  EXPECT_EQ(centre.latitude_deg, 0.0);
  EXPECT_NEAR(centre.longitude_deg, -170, 1e-12);
}

struct ErrorCase {
  std::optional<Error> error;
  ErrorKind kind;
  std::string text;
};

template <class T>
std::optional<Error> failure(const std::expected<T, Error>& result) {
  return result ? std::nullopt : std::optional<Error>(result.error());
}
auto circle(LatLon c, double r) { return failure(Circle::create(c, r)); }
auto box(LatLon sw, LatLon ne) { return failure(Rectangle::create(sw, ne)); }
auto band(double s, double n) { return failure(Rectangle::latitude_band(s, n)); }
auto polygon(std::vector<LatLon> v) { return failure(Polygon::create(v)); }

std::string empty_text(const std::string& south, const std::string& north) {
  return "rectangle is empty: south " + south + "° must lie below north " + north +
         "°, and the corners must differ in longitude — note that -180° and 180° are the same "
         "meridian, so use `Rectangle::latitude_band` for a box spanning every longitude";
}
std::string hemisphere_text(const std::string& radius) {
  return "polygon spans " + radius +
         "° from its centre and does not fit within a hemisphere; split it into smaller "
         "polygons, or describe the complementary region instead";
}

class ConstructionError : public testing::TestWithParam<ErrorCase> {};

TEST_P(ConstructionError, KindAndText) {
  const std::optional<Error>& error = GetParam().error;
  ASSERT_TRUE(error.has_value()) << "expected: " << GetParam().text;
  EXPECT_EQ(error->kind(), GetParam().kind);
  EXPECT_EQ(error->text(), GetParam().text);
  const satvane::Error core = error->to_core();
  EXPECT_EQ(core.kind(), satvane::ErrorKind::Aoi);
  EXPECT_EQ(core.display(), "Area of interest error: " + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Areas, ConstructionError,
    testing::Values(
        ErrorCase{circle({91, 0}, 1), ErrorKind::Latitude, "latitude 91 is outside [-90, 90]"},
        ErrorCase{circle({kNaN, kNaN}, kNaN), ErrorKind::Latitude,
                  "latitude NaN is outside [-90, 90]"},
        ErrorCase{circle({0, kNaN}, kNaN), ErrorKind::NotFinite,
                  "circle centre longitude is not finite: NaN"},
        ErrorCase{circle({0, 0}, kNaN), ErrorKind::NotFinite, "circle radius is not finite: NaN"},
        ErrorCase{circle({0, 0}, kInf), ErrorKind::NotFinite, "circle radius is not finite: inf"},
        ErrorCase{circle({0, 0}, 0), ErrorKind::CircleRadius,
                  "circle radius must lie in (0, 90°), got 0°"},
        ErrorCase{circle({0, 0}, -2.5), ErrorKind::CircleRadius,
                  "circle radius must lie in (0, 90°), got -2.5°"},
        ErrorCase{circle({0, 0}, 90), ErrorKind::CircleRadius,
                  "circle radius must lie in (0, 90°), got 90°"},
        ErrorCase{circle({0, 0}, 89.99999999), ErrorKind::CircleRadius,
                  "circle radius must lie in (0, 90°), got 89.99999999°"},
        ErrorCase{box({0, kNaN}, {91, 1}), ErrorKind::Latitude, "latitude 91 is outside [-90, 90]"},
        ErrorCase{box({0, kNaN}, {1, kInf}), ErrorKind::NotFinite,
                  "rectangle west longitude is not finite: NaN"},
        ErrorCase{box({0, 0}, {1, kInf}), ErrorKind::NotFinite,
                  "rectangle east longitude is not finite: inf"},
        ErrorCase{box({10, -180}, {20, 180}), ErrorKind::EmptyRectangle, empty_text("10", "20")},
        ErrorCase{box({10, 5}, {10, 6}), ErrorKind::EmptyRectangle, empty_text("10", "10")},
        ErrorCase{box({20, 5}, {10, 6}), ErrorKind::EmptyRectangle, empty_text("20", "10")},
        // The same meridian, whichever way rounding tips the longitude difference.
        ErrorCase{box({10, 5}, {20, 365}), ErrorKind::EmptyRectangle, empty_text("10", "20")},
        ErrorCase{box({0, -180}, {10, 179.99999999999}), ErrorKind::EmptyRectangle,
                  empty_text("0", "10")},
        ErrorCase{band(-95, 100), ErrorKind::Latitude, "latitude -95 is outside [-90, 90]"},
        ErrorCase{band(0, kNaN), ErrorKind::Latitude, "latitude NaN is outside [-90, 90]"},
        ErrorCase{band(20, 10), ErrorKind::EmptyRectangle, empty_text("20", "10")},
        ErrorCase{band(-90, -90), ErrorKind::EmptyRectangle, empty_text("-90", "-90")},
        ErrorCase{polygon({}), ErrorKind::TooFewVertices,
                  "polygon needs at least 3 distinct vertices, got 0"},
        ErrorCase{polygon({{1, 1}, {1, 1}}), ErrorKind::TooFewVertices,
                  "polygon needs at least 3 distinct vertices, got 1"},
        ErrorCase{polygon({{0, 0}, {0, 10}, {0, 10}}), ErrorKind::TooFewVertices,
                  "polygon needs at least 3 distinct vertices, got 2"},
        ErrorCase{polygon({{0, 0}, {0, 10}, {0, 0}}), ErrorKind::TooFewVertices,
                  "polygon needs at least 3 distinct vertices, got 2"},
        ErrorCase{polygon({{0, 0}, {0, kNaN}, {100, 0}}), ErrorKind::NotFinite,
                  "polygon vertex longitude is not finite: NaN"},
        ErrorCase{polygon({{0, 0}, {0, 1}, {100, 0}}), ErrorKind::Latitude,
                  "latitude 100 is outside [-90, 90]"},
        ErrorCase{polygon({{0, 0}, {0, 180}, {10, 90}}), ErrorKind::AntipodalEdge,
                  "polygon edge 0 joins antipodal vertices; no unique great-circle arc joins them"},
        ErrorCase{polygon({{0, 0}, {10, 90}, {0, 180}}), ErrorKind::AntipodalEdge,
                  "polygon edge 2 joins antipodal vertices; no unique great-circle arc joins them"},
        ErrorCase{polygon({{0, 0}, {0, 120}, {0, 240}, {-90, 0}}), ErrorKind::LargerThanHemisphere,
                  hemisphere_text("90.0")},
        ErrorCase{polygon({{10, 0}, {10, 120}, {10, 240}, {-90, 0}}),
                  ErrorKind::LargerThanHemisphere, hemisphere_text("100.0")},
        ErrorCase{failure(checked_point({90.5, kNaN})), ErrorKind::Latitude,
                  "latitude 90.5 is outside [-90, 90]"},
        ErrorCase{failure(checked_point({kNaN, 0})), ErrorKind::Latitude,
                  "latitude NaN is outside [-90, 90]"},
        ErrorCase{failure(checked_point({-90, -kInf})), ErrorKind::NotFinite,
                  "point longitude is not finite: -inf"}));

TEST(Circle, RadiusLimitIsJustBelowAQuarterTurn) {
  EXPECT_TRUE(Circle::create({0, 0}, 89.9999999).has_value());
  EXPECT_TRUE(Circle::create({-90, 0}, 1e-6).has_value());
}

TEST(Rectangle, AcrossTheAntimeridian) {
  const Rectangle box = *Rectangle::create({10, 170}, {20, -170});
  EXPECT_NEAR(box.west() / kDeg, 170, 1e-12);
  EXPECT_NEAR(box.span() / kDeg, 20, 1e-12);
  EXPECT_FALSE(box.is_band());
  for (double lon : {180.0, -180.0, 540.0})
    EXPECT_NEAR(box.signed_angular_offset({15, lon}), 5 * kDeg, 1e-12) << lon;
  // Nearer a meridian edge than a parallel one.
  EXPECT_NEAR(box.signed_angular_offset({15, 175}),
              std::asin(std::cos(15 * kDeg) * std::sin(5 * kDeg)), 1e-12);
  EXPECT_LT(box.signed_angular_offset({15, 169}), 0);
  EXPECT_LT(box.signed_angular_offset({15, -169}), 0);
}

TEST(Rectangle, WestBoundIsNormalisedForAnyFiniteLongitude) {
  for (double lon : {-180.0, 180.0, 540.0, -900.0, 1e6 + 0.5, 1e20, -1e300}) {
    const Rectangle box = *Rectangle::create({0, lon}, {10, 0});
    EXPECT_GE(box.west(), -kPi) << lon;
    EXPECT_LT(box.west(), kPi) << lon;
    // The box still starts at the given meridian.
    EXPECT_EQ(box.signed_angular_offset({5, lon}), 0) << lon;
  }
  EXPECT_EQ(Rectangle::create({0, 180}, {10, 190})->west(), -kPi);
}

TEST(Rectangle, BandsAndPoles) {
  const Rectangle cap_and_band = *Rectangle::latitude_band(-90, 60);
  EXPECT_TRUE(cap_and_band.is_band());
  EXPECT_EQ(cap_and_band.west(), -kPi);
  EXPECT_EQ(cap_and_band.span(), 2 * kPi);
  EXPECT_NEAR(cap_and_band.signed_angular_offset({-90, 0}), 150 * kDeg, 1e-15);
  EXPECT_NEAR(cap_and_band.signed_angular_offset({90, 0}), -30 * kDeg, 1e-15);
  const Rectangle globe = *Rectangle::latitude_band(-90, 90);
  for (LatLon p : {LatLon{90, 0}, LatLon{-90, 10}, LatLon{0, 0}, LatLon{-33, 123}})
    EXPECT_EQ(globe.signed_angular_offset(p), kPi);
  // A box whose edges meet at the pole: the pole is on its boundary whatever its longitude.
  const Rectangle polar = *Rectangle::create({60, -30}, {90, 40});
  for (double lon : {0.0, 100.0, -150.0}) EXPECT_EQ(polar.signed_angular_offset({90, lon}), 0.0);
}

TEST(Rectangle, BoundWithinANanoradianOfAPoleIsThePole) {
  // Such a bound is no boundary; the sliver between it and the pole must not flip sign.
  const Rectangle band = *Rectangle::latitude_band(-89.99999995, 60);
  EXPECT_NEAR(band.signed_angular_offset({-90, 0}), 150 * kDeg, 1e-9);
  EXPECT_NEAR(band.signed_angular_offset({-89.99999999, 45}), 150 * kDeg, 1e-9);
}

TEST(Boundaries, PointsOnTheBoundaryAreExactlyZero) {
  const Rectangle box = *Rectangle::create({10, 20}, {30, 50});
  const Polygon triangle = polygon_of({{0, 0}, {0, 10}, {10, 10}});
  for (LatLon p : {LatLon{10, 35}, LatLon{30, 20}, LatLon{20, 20}, LatLon{25, 50}, LatLon{30, 50}})
    EXPECT_EQ(box.signed_angular_offset(p), 0.0) << p.latitude_deg << ", " << p.longitude_deg;
  for (LatLon p : {LatLon{0, 5}, LatLon{0, 0}, LatLon{10, 10}, LatLon{5, 10}})
    EXPECT_EQ(triangle.signed_angular_offset(p), 0.0) << p.latitude_deg << ", " << p.longitude_deg;
}

TEST(Polygon, DuplicatesAreDropped) {
  EXPECT_EQ(polygon_of({{0, 0}, {0, 10}, {10, 10}, {0, 0}}).vertices().size(), 3u);
  EXPECT_EQ(polygon_of({{0, 0}, {0, 10}, {0, 10}, {10, 10}}).vertices().size(), 3u);
  // A repeat of an earlier, non-adjacent vertex stays.
  EXPECT_EQ(polygon_of({{0, 0}, {0, 10}, {10, 10}, {0, 10}, {5, 5}}).vertices().size(), 5u);
  const LatLon last = lat_lon_from_unit(polygon_of({{0, 0}, {0, 10}, {10, 10}}).vertices()[2]);
  EXPECT_NEAR(last.latitude_deg, 10, 1e-12);
  EXPECT_NEAR(last.longitude_deg, 10, 1e-12);
}

TEST(Polygon, FillRulesOnSelfIntersectingRings) {
  // Figure eight: winding +1 in one lobe and -1 in the other.
  for (FillRule rule : {FillRule::NonZero, FillRule::EvenOdd}) {
    const Polygon eight = polygon_of({{0, 0}, {10, 10}, {10, 0}, {0, 10}}, rule);
    EXPECT_GT(eight.signed_angular_offset({8, 5}), 0);
    EXPECT_GT(eight.signed_angular_offset({2, 5}), 0);
    EXPECT_LT(eight.signed_angular_offset({5, 1}), 0);
  }
  // A triangle traced twice winds twice around its inside.
  const std::vector<LatLon> twice{{0, 0}, {0, 10}, {10, 5}, {0, 0}, {0, 10}, {10, 5}};
  const double non_zero = polygon_of(twice, FillRule::NonZero).signed_angular_offset({3, 5});
  EXPECT_GT(non_zero, 0);
  EXPECT_EQ(polygon_of(twice, FillRule::EvenOdd).signed_angular_offset({3, 5}), -non_zero);
}

TEST(Polygon, CollinearRingHasNoInside) {
  const Polygon sliver = polygon_of({{0, 0}, {0, 10}, {0, 20}});
  EXPECT_EQ(sliver.signed_angular_offset({0, 15}), 0.0);
  EXPECT_NEAR(sliver.signed_angular_offset({1, 15}), -1 * kDeg, 1e-15);
  EXPECT_NEAR(sliver.signed_angular_offset({-1, 5}), -1 * kDeg, 1e-15);
  EXPECT_NEAR(sliver.signed_angular_offset({0, 25}), -5 * kDeg, 1e-15);
}

TEST(Sphere, LongitudesReadBackInTheHalfOpenTurn) {
  // The antimeridian from either side, and the poles' degenerate directions with a -0 y.
  for (const Vec3& unit : {unit_vector({10, -180}), unit_vector({10, 180}), Vec3{-1, -0.0, 0},
                           Vec3{-0.0, -0.0, 1}, Vec3{-0.0, -0.0, -1}}) {
    const double longitude_deg = lat_lon_from_unit(unit).longitude_deg;
    EXPECT_GT(longitude_deg, -180.0);
    EXPECT_LE(longitude_deg, 180.0);
  }
  EXPECT_EQ(lat_lon_from_unit(unit_vector({10, -180})).longitude_deg, 180.0);
}

TEST(Areas, EveryRealPositionIsAQueryPoint) {
  for (LatLon p : {LatLon{90, 0}, LatLon{-90, 1e300}, LatLon{0, -540}, LatLon{45.5, 7}})
    EXPECT_EQ(checked_point(p), p);
}

TEST(Areas, InvalidPointsHaveNoOffset) {
  const std::vector<AreaKind> areas{
      *Circle::create({0, 0}, 10), *Rectangle::create({0, 0}, {10, 10}),
      *Rectangle::latitude_band(-90, 90), polygon_of({{0, 0}, {0, 10}, {10, 10}})};
  for (const AreaKind& area : areas)
    for (LatLon p :
         {LatLon{kNaN, 0}, LatLon{0, kNaN}, LatLon{0, kInf}, LatLon{90.5, 0}, LatLon{-100, 5}}) {
      EXPECT_TRUE(std::isnan(area.signed_angular_offset(p)));
      EXPECT_TRUE(std::isnan(area.max_angular_distance(p)));
    }
}

TEST(Areas, EvaluationAllocatesNothing) {
  const AreaKind polygon = polygon_of(star({40, 10}, 100, 5, 10, 9));
  const AreaKind box = *Rectangle::create({10, 170}, {20, -170});
  const AreaKind circle = *Circle::create({-20, 30}, 12);
  const AreaRef borrowed(polygon);
  double sink = 0;
  const long allocations = test_support::allocations_during([&] {
  for (int i = 0; i < 200; ++i) {
    const LatLon p{i * 0.8 - 80, i * 1.7};
    sink += polygon.signed_angular_offset(p) + box.signed_angular_offset(p) +
            circle.signed_angular_offset(p);
    sink += polygon.max_angular_distance(p) + borrowed.max_angular_distance(p);
  }
  });
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(std::isfinite(sink));
}

}  // namespace
