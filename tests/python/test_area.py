"""Areas and their enumerations as Python sees them."""

import math
import random
from decimal import Decimal

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

from satvane import Circle, Coverage, FillRule, GeodeticPoint, LatLon, Polygon, Rectangle
from leak_checks import reference_counts
from test_convert import LATLON_TEXT


def notes(error):
    return getattr(error.value, "__notes__", [])


def unit(lat_deg, lon_deg):
    lat, lon = np.radians(lat_deg), np.radians(lon_deg)
    return np.stack([np.cos(lat) * np.cos(lon), np.cos(lat) * np.sin(lon), np.sin(lat)], axis=-1)


def angle_deg(a, b):
    return np.degrees(np.arctan2(np.linalg.norm(np.cross(a, b), axis=-1), np.sum(a * b, axis=-1)))


# --- Construction failures ----------------------------------------------------------------------

AOI = "Area of interest error: "


@pytest.mark.parametrize(
    "build, text",
    [
        (lambda: Circle(LatLon(91, 0), 1), "latitude 91 is outside [-90, 90]"),
        (lambda: Circle((float("nan"), 0), 1), "latitude NaN is outside [-90, 90]"),
        (lambda: Circle((0, float("nan")), 1), "circle centre longitude is not finite: NaN"),
        (lambda: Circle((0, 0), float("-inf")), "circle radius is not finite: -inf"),
        (lambda: Circle((0, 0), float("nan")), "circle radius is not finite: NaN"),
        (lambda: Circle((0, 0), 90), "circle radius must lie in (0, 90°), got 90°"),
        (lambda: Circle((0, 0), 0), "circle radius must lie in (0, 90°), got 0°"),
        (lambda: Circle((0, 0), -2.5), "circle radius must lie in (0, 90°), got -2.5°"),
        (lambda: Circle((0, 0), 89.99999999), "circle radius must lie in (0, 90°), got 89.99999999°"),
        (lambda: Rectangle((-90.5, 0), (0, 1)), "latitude -90.5 is outside [-90, 90]"),
        (lambda: Rectangle((0, float("inf")), (1, 1)), "rectangle west longitude is not finite: inf"),
        (lambda: Rectangle((0, 0), (1, float("-inf"))), "rectangle east longitude is not finite: -inf"),
        (lambda: Rectangle.latitude_band(0, 95), "latitude 95 is outside [-90, 90]"),
        (lambda: Polygon([(0, 0), (0, 10)]), "polygon needs at least 3 distinct vertices, got 2"),
        (lambda: Polygon([(0, 0), (0, 10), (0, 10)]), "polygon needs at least 3 distinct vertices, got 2"),
        (lambda: Polygon([(0, 0), (0, 10), (5, float("nan"))]), "polygon vertex longitude is not finite: NaN"),
        (lambda: Polygon([(0, 0), (0, 180), (10, 10)]), "polygon edge 0 joins antipodal vertices; no unique great-circle arc joins them"),
    ],
)
def test_area_validation_texts(build, text):
    with pytest.raises(ValueError) as error:
        build()
    assert str(error.value) == AOI + text


@pytest.mark.parametrize(
    "build",
    [
        lambda: Rectangle((10, -180), (20, 180)),
        lambda: Rectangle((20, 0), (20, 10)),
        lambda: Rectangle((30, 0), (20, 10)),
        lambda: Rectangle.latitude_band(10, 10),
    ],
)
def test_empty_rectangles_are_refused(build):
    with pytest.raises(ValueError, match="^Area of interest error: rectangle is empty: south "):
        build()


AREAS = [Circle((10, 20), 5), Rectangle((0, 0), (10, 10)), Rectangle.latitude_band(-90, 60),
         Polygon([(0, 0), (0, 10), (10, 10)])]


@pytest.mark.parametrize("area", AREAS, ids=repr)
@pytest.mark.parametrize("method", ["signed_angular_offset_deg", "max_angular_distance_deg"])
@pytest.mark.parametrize(
    "point, text",
    [
        ((91, 0), "latitude 91 is outside [-90, 90]"),
        (LatLon(-90.5, 0), "latitude -90.5 is outside [-90, 90]"),
        (GeodeticPoint(float("nan"), 0, 0), "latitude NaN is outside [-90, 90]"),
        ((float("-inf"), 0), "latitude -inf is outside [-90, 90]"),
        ((0, float("nan")), "point longitude is not finite: NaN"),
        ((90, float("inf")), "point longitude is not finite: inf"),
    ],
)
def test_queries_refuse_points_that_are_no_position(area, method, point, text):
    with pytest.raises(ValueError) as error:
        getattr(area, method)(point)
    assert str(error.value) == AOI + text


@pytest.mark.parametrize("area", AREAS, ids=repr)
@pytest.mark.parametrize("point", [(90, 0), (-90, 1e300), (0, 540), (45, -1e20)])
def test_queries_accept_every_real_position(area, point):
    assert math.isfinite(area.signed_angular_offset_deg(point))
    assert 0 <= area.max_angular_distance_deg(point) <= 180


def test_polygon_larger_than_a_hemisphere_reports_one_decimal():
    ring = [(0, 0), (0, 120), (0, 240), (10, 60)]
    with pytest.raises(ValueError) as error:
        Polygon(ring)
    text = str(error.value)
    assert text.startswith(AOI + "polygon spans ")
    spread = text[len(AOI + "polygon spans "):].split("°", 1)[0]
    assert len(spread.split(".")[1]) == 1
    assert text.endswith("does not fit within a hemisphere; split it into smaller polygons, "
                         "or describe the complementary region instead")


@pytest.mark.parametrize(
    "build, parameter",
    [
        (lambda: Circle([0, 0], 5), "centre"),
        (lambda: Circle((0, 0, 0), 5), "centre"),
        (lambda: Rectangle("north", (1, 1)), "south_west"),
        (lambda: Rectangle((0, 0), None), "north_east"),
        (lambda: Circle((0, 0), 5).signed_angular_offset_deg([1, 2]), "point"),
        (lambda: Circle((0, 0), 5).max_angular_distance_deg(("a", 2)), "point"),
    ],
)
def test_wrong_position_forms_raise_the_latlon_type_error_with_a_note(build, parameter):
    with pytest.raises(TypeError) as error:
        build()
    assert str(error.value) == LATLON_TEXT
    assert notes(error) == [f"while processing '{parameter}'"]


@pytest.mark.parametrize(
    "build, parameter",
    [
        (lambda: Circle((0, 0), "5"), "radius_deg"),
        (lambda: Rectangle.latitude_band(None, 10), "south_deg"),
        (lambda: Rectangle.latitude_band(0, "x"), "north_deg"),
        (lambda: Polygon([(0, 0), (0, 10), (10, 10)], fill_rule=None), "fill_rule"),
        (lambda: Polygon([(0, 0), (0, 10), (10, 10)], 0), "fill_rule"),
    ],
)
def test_non_float_and_non_fill_rule_arguments_are_type_errors_with_a_note(build, parameter):
    with pytest.raises(TypeError) as error:
        build()
    assert notes(error) == [f"while processing '{parameter}'"]


def test_polygon_vertex_errors_pass_through_without_a_note():
    with pytest.raises(TypeError) as error:
        Polygon([(0, 0), [0, 10], (10, 10)])
    assert str(error.value) == LATLON_TEXT
    assert notes(error) == []
    with pytest.raises(TypeError) as error:
        Polygon(42)
    assert notes(error) == []


def test_polygon_fill_rule_is_checked_before_the_vertices():
    with pytest.raises(TypeError) as error:
        Polygon([1, 2, 3], fill_rule="EvenOdd")
    assert notes(error) == ["while processing 'fill_rule'"]


def test_accepted_position_forms_give_the_same_area():
    forms = [(10, 20), LatLon(10, 20), GeodeticPoint(10, 20, 5e5)]
    reprs = {repr(Circle(centre, 3)) for centre in forms}
    assert len(reprs) == 1


def shortest(x):
    """The library's number format: shortest round trip, no exponent, no '.0'."""
    if math.isnan(x):
        return "NaN"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    text = format(Decimal(repr(x)), "f")
    return text[:-2] if text.endswith(".0") else text


@pytest.mark.parametrize(
    "area",
    [Circle((0, 190), 5), Circle((-33.3, 151.2), 0.25), Rectangle((0, 0), (1, 2)),
     Rectangle((10, 170), (20, -170)), Rectangle.latitude_band(-90, 60)],
)
def test_area_reprs_show_what_the_getters_read(area):
    if isinstance(area, Circle):
        c = area.centre
        expected = (f"Circle(centre=({shortest(c.latitude_deg)}, {shortest(c.longitude_deg)}), "
                    f"radius_deg={shortest(area.radius_deg)})")
    else:
        (south, north), (west, span) = area.latitudes_deg, area.longitudes_deg
        expected = (f"Rectangle(latitudes=({shortest(south)}, {shortest(north)}), "
                    f"west={shortest(west)}, span={shortest(span)})")
    assert repr(area) == expected


# --- Getters and reprs --------------------------------------------------------------------------


def test_circle_reads_back_a_normalised_centre():
    circle = Circle((0, 190), 5)
    assert circle.centre.latitude_deg == 0
    assert circle.centre.longitude_deg == pytest.approx(-170, abs=1e-12)
    assert circle.centre is not circle.centre
    assert circle.radius_deg == pytest.approx(5, abs=1e-13)
    assert Circle((90, 0), 1).centre.latitude_deg == pytest.approx(90, abs=1e-12)


@pytest.mark.parametrize("longitude", [-180, 180, -540, 540, -900, 1e3 * 360 + 180])
def test_the_antimeridian_reads_back_as_180(longitude):
    assert Circle((10, longitude), 5).centre.longitude_deg == 180
    vertices = Polygon([(0, longitude), (10, longitude + 1), (10, longitude - 1)]).vertices
    assert vertices[0].longitude_deg == 180
    assert all(-180 < v.longitude_deg <= 180 for v in vertices)


def test_rectangle_across_the_antimeridian():
    box = Rectangle((10, 170), (20, -170))
    assert box.latitudes_deg == pytest.approx((10, 20), abs=1e-12)
    assert box.longitudes_deg == pytest.approx((170, 20), abs=1e-12)
    assert box.signed_angular_offset_deg((15, 180)) > 0
    assert box.signed_angular_offset_deg((15, 0)) < 0
    assert Rectangle((0, 541), (1, 542)).longitudes_deg == pytest.approx((-179, 1), abs=1e-12)


def test_latitude_band_spans_every_longitude():
    band = Rectangle.latitude_band(-90, 60)
    assert band.longitudes_deg == (-180, 360)
    assert band.latitudes_deg == pytest.approx((-90, 60), abs=1e-12)
    assert band.signed_angular_offset_deg((-90, 0)) == pytest.approx(150, abs=1e-9)
    whole = Rectangle.latitude_band(-90, 90)
    for point in [(0, 0), (90, 0), (-45, 123)]:
        assert whole.signed_angular_offset_deg(point) == pytest.approx(180, abs=1e-9)


def test_polygon_deduplicates_and_reports_its_ring():
    polygon = Polygon([(0, 0), (0, 10), (0, 10), (10, 10), (0, 0)])
    assert repr(polygon) == "Polygon(3 vertices, fill_rule=NonZero)"
    vertices = polygon.vertices
    assert isinstance(vertices, list) and all(isinstance(v, LatLon) for v in vertices)
    got = [c for v in vertices for c in (v.latitude_deg, v.longitude_deg)]
    assert got == pytest.approx([0, 0, 0, 10, 10, 10], abs=1e-12)
    assert polygon.vertices is not vertices
    even_odd = Polygon(iter([(0, 0), (0, 10), (10, 10)]), FillRule.EvenOdd)
    assert even_odd.fill_rule is FillRule.EvenOdd
    assert repr(even_odd) == "Polygon(3 vertices, fill_rule=EvenOdd)"
    assert Polygon([(0, 0), (0, 10), (10, 10)]).fill_rule is FillRule.NonZero


def test_circle_offsets_at_centre_rim_and_antipode():
    circle = Circle((30, 40), 12.5)
    assert circle.signed_angular_offset_deg((30, 40)) == pytest.approx(12.5, abs=1e-12)
    assert circle.max_angular_distance_deg((30, 40)) == pytest.approx(12.5, abs=1e-12)
    assert circle.signed_angular_offset_deg((-30, 220)) == pytest.approx(12.5 - 180, abs=1e-12)
    assert circle.max_angular_distance_deg((-30, 220)) == pytest.approx(180, abs=1e-12)
    assert circle.signed_angular_offset_deg((42.5, 40)) == pytest.approx(0, abs=1e-12)


def test_areas_compare_by_identity():
    a, b = Circle((0, 0), 1), Circle((0, 0), 1)
    assert a == a and a != b
    assert Polygon([(0, 0), (0, 1), (1, 1)]) != Polygon([(0, 0), (0, 1), (1, 1)])
    hash(a)  # identity hash, like any plain object


def test_fill_rules_decide_self_intersecting_rings():
    triangle_twice = [(0, 0), (0, 20), (20, 10)] * 2
    inside = (7, 10)
    assert Polygon(triangle_twice, FillRule.NonZero).signed_angular_offset_deg(inside) > 0
    assert Polygon(triangle_twice, FillRule.EvenOdd).signed_angular_offset_deg(inside) < 0
    figure_eight = [(0, 0), (10, 10), (0, 20), (10, 20), (0, 10), (10, 0)]
    for rule in (FillRule.NonZero, FillRule.EvenOdd):
        polygon = Polygon(figure_eight, rule)
        assert polygon.signed_angular_offset_deg((5, 3)) > 0
        assert polygon.signed_angular_offset_deg((5, 17)) > 0


def test_vertex_order_does_not_change_offsets():
    ring = [(0, 0), (5, 12), (14, 9), (11, -3)]
    forward, backward = Polygon(ring), Polygon(ring[::-1])
    rng = random.Random(7)
    for _ in range(50):
        point = (rng.uniform(-20, 30), rng.uniform(-20, 30))
        assert forward.signed_angular_offset_deg(point) == pytest.approx(
            backward.signed_angular_offset_deg(point), abs=1e-12)


# --- Polygon offsets against brute-force boundary sampling ------------------------------------------------

STEP_DEG = 0.002


def arc(a, b):
    """Great-circle arc from unit vector a to b, sampled at STEP_DEG."""
    n = max(2, int(angle_deg(a, b) / STEP_DEG) + 2)
    omega = np.radians(angle_deg(a, b))
    s = np.linspace(0.0, 1.0, n)[:, None]
    return (np.sin((1 - s) * omega) * a + np.sin(s * omega) * b) / np.sin(omega)


def check_offsets(area, boundary, inside, points):
    for lat, lon in points:
        p = unit(lat, lon)
        distance = angle_deg(boundary, p).min()
        offset = area.signed_angular_offset_deg((lat, lon))
        assert abs(offset) == pytest.approx(distance, abs=STEP_DEG)
        if distance > STEP_DEG:
            assert (offset > 0) == inside(p), (lat, lon, offset)


def random_points(rng, centre, spread_deg, count=60):
    return [(max(-90.0, min(90.0, centre[0] + rng.uniform(-spread_deg, spread_deg))),
             centre[1] + rng.uniform(-spread_deg, spread_deg)) for _ in range(count)]


@pytest.mark.parametrize("seed", range(3))
def test_convex_polygon_offsets_match_boundary_sampling(seed):
    rng = random.Random(100 + seed)
    centre = (rng.uniform(-60, 60), rng.uniform(-180, 180))
    radius = rng.uniform(3, 30)
    count = rng.randint(3, 9)
    bearings = sorted(rng.uniform(0, 360) for _ in range(count))
    # Vertices on a small circle around the centre: a convex ring.
    c = unit(*centre)
    east = np.cross([0.0, 0.0, 1.0], c)
    east /= np.linalg.norm(east)
    north = np.cross(c, east)
    r = math.radians(radius)
    ring = [math.cos(r) * c + math.sin(r) * (math.sin(math.radians(b)) * east + math.cos(math.radians(b)) * north)
            for b in bearings]
    latlons = [(math.degrees(math.asin(v[2])), math.degrees(math.atan2(v[1], v[0]))) for v in ring]
    polygon = Polygon(latlons)
    boundary = np.concatenate([arc(ring[k], ring[(k + 1) % count]) for k in range(count)])
    normals = [np.cross(ring[k], ring[(k + 1) % count]) for k in range(count)]

    def inside(p):
        signs = {bool(np.dot(m, p) > 0) for m in normals}
        return len(signs) == 1 and np.dot(p, c) > 0

    check_offsets(polygon, boundary, inside, random_points(rng, centre, radius * 1.8))


# --- Enumerations -------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "member, value, text",
    [
        (FillRule.NonZero, 0, "FillRule.NonZero"),
        (FillRule.EvenOdd, 1, "FillRule.EvenOdd"),
        (Coverage.Any, 0, "Coverage.Any"),
        (Coverage.Full, 1, "Coverage.Full"),
    ],
)
def test_enumeration_members(member, value, text):
    cls = type(member)
    assert getattr(cls, text.split(".")[1]) is member
    assert int(member) == value
    assert repr(member) == text
    assert member == value and member != 1 - value
    assert hash(member) == hash(int(member)) == hash(value)
    assert member != str(value) and member.__eq__(str(value)) is NotImplemented
    assert len({member, value}) == 1


def test_enumerations_do_not_mix_order_or_construct():
    assert FillRule.NonZero.__eq__(Coverage.Any) is NotImplemented
    with pytest.raises(TypeError):
        Coverage.Any < Coverage.Full  # noqa: B015
    for cls in (FillRule, Coverage):
        with pytest.raises(TypeError):
            cls()
        with pytest.raises(TypeError):
            cls(0)


# --- Surface: module, signatures, docstrings ----------------------------------------------------


@pytest.mark.parametrize(
    "obj, signature, doc_start",
    [
        (LatLon, "(latitude_deg, longitude_deg)", "A point on Earth's surface, in degrees."),
        (GeodeticPoint, "(latitude_deg, longitude_deg, altitude)", "A geodetic position on or above the WGS-84 ellipsoid."),
        (Circle, "(centre, radius_deg)", "A circular area on Earth's surface — a spherical cap."),
        (Rectangle, "(south_west, north_east)", "A latitude/longitude box, whose north and south edges follow their parallels\nexactly."),
        (Polygon, "(vertices, fill_rule=...)", "A closed polygon on Earth's surface whose edges are great-circle arcs."),
        (Rectangle.latitude_band, "(south_deg, north_deg)", "A box spanning every longitude between two latitudes — a band, or a polar\ncap when one latitude is a pole."),
        (Circle.signed_angular_offset_deg, "($self, point)", "Signed angular offset of a point from the boundary, in degrees:\npositive inside, negative outside, zero on the boundary."),
        (Polygon.max_angular_distance_deg, "($self, point)", "Angular distance from a point to the farthest point of the area, in\ndegrees."),
    ],
)
def test_signatures_and_docstrings(obj, signature, doc_start):
    assert obj.__text_signature__ == signature
    assert obj.__doc__.startswith(doc_start)


@pytest.mark.parametrize("cls", [LatLon, GeodeticPoint, Circle, Rectangle, Polygon, FillRule, Coverage])
def test_classes_report_the_extension_module(cls):
    assert cls.__module__ == "satvane._satvane"


# --- Arbitrary floats: a result or the documented exception, never a crash -----------------------

anything = st.floats(allow_nan=True, allow_infinity=True)
pairs = st.tuples(anything, anything)


def built_or_refused(build):
    try:
        return build()
    except ValueError as error:
        assert str(error).startswith(AOI)
        return None


def queried(area, query):
    """Both answers at a real position; None after both queries refused any other point."""
    if abs(query[0]) <= 90 and math.isfinite(query[1]):
        return area.signed_angular_offset_deg(query), area.max_angular_distance_deg(query)
    for query_method in (area.signed_angular_offset_deg, area.max_angular_distance_deg):
        with pytest.raises(ValueError, match="^" + AOI):
            query_method(query)
    return None


@settings(max_examples=300, deadline=None)
@given(centre=pairs, radius=anything, query=pairs)
def test_circle_with_arbitrary_floats(centre, radius, query):
    circle = built_or_refused(lambda: Circle(centre, radius))
    if circle is not None:
        assert 0 < circle.radius_deg < 90
        answers = queried(circle, query)
        if answers is not None:
            offset, farthest = answers
            assert -180 <= offset <= 90 and 0 <= farthest <= 180


@settings(max_examples=300, deadline=None)
@given(south_west=pairs, north_east=pairs, band=pairs, query=pairs)
def test_rectangles_with_arbitrary_floats(south_west, north_east, band, query):
    for box in (built_or_refused(lambda: Rectangle(south_west, north_east)),
                built_or_refused(lambda: Rectangle.latitude_band(*band))):
        if box is not None:
            south, north = box.latitudes_deg
            west, span = box.longitudes_deg
            assert -90 <= south < north <= 90 and -180 <= west < 180 and 0 < span <= 360
            answers = queried(box, query)
            if answers is not None:
                offset, farthest = answers
                assert -180 <= offset <= 180 and 0 <= farthest <= 180


@settings(max_examples=300, deadline=None)
@given(vertices=st.lists(pairs, min_size=0, max_size=8), query=pairs)
def test_polygon_with_arbitrary_floats(vertices, query):
    polygon = built_or_refused(lambda: Polygon(vertices))
    if polygon is not None:
        assert len(polygon.vertices) >= 3
        answers = queried(polygon, query)
        if answers is not None:
            offset, farthest = answers
            assert -180 <= offset <= 180 and 0 <= farthest <= 180


# --- References: every call hands back what it borrowed ------------------------------------------


def exercise_areas(rounds, centre, vertices, rule):
    for _ in range(rounds):
        circle = Circle(centre, 3)
        polygon = Polygon(vertices, rule)
        for area in (circle, polygon, Rectangle(centre, (20, 30))):
            area.signed_angular_offset_deg(centre)
            area.max_angular_distance_deg(centre)
            repr(area)
            with pytest.raises(ValueError):
                area.signed_angular_offset_deg((95.0, 0.0))
        circle.centre, polygon.vertices, polygon.fill_rule
        for failing in (lambda: Polygon(vertices, None), lambda: Polygon([*vertices, [1, 2]]),
                        lambda: Circle(centre, 90)):
            with pytest.raises((TypeError, ValueError)):
                failing()


@pytest.mark.parametrize("centre", [(1.25, 2.5), LatLon(1.25, 2.5), GeodeticPoint(1.25, 2.5, 7.0)], ids=repr)
def test_area_arguments_and_members_keep_their_reference_counts(centre):
    vertices = [(0.5, 0.5), LatLon(0.5, 10.5), GeodeticPoint(10.5, 10.5, 0.0)]
    watched = (centre, vertices, *vertices, FillRule.EvenOdd)
    exercise_areas(10, centre, vertices, FillRule.EvenOdd)  # warm caches
    counts = reference_counts(watched)
    exercise_areas(500, centre, vertices, FillRule.EvenOdd)
    assert reference_counts(watched) == counts
