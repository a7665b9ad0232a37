"""LatLon, GeodeticPoint, Vec3, the frame-tagged state vectors, Observation and Pointing."""

import inspect
import math
import operator
import re
from datetime import datetime, timedelta, timezone

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import satvane
from satvane import GeodeticPoint, LatLon, Vec3
from frames_reference import enu_rotation, geodetic_to_ecef, teme_to_ecef
from leak_checks import reference_counts, traced_growth_bytes

UTC = timezone.utc
T0 = datetime(2008, 9, 20, 18, 30, 15, 250000, tzinfo=UTC)
ISS = (
    "ISS (ZARYA)",
    "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927",
    "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537",
)
RAD_TO_DEG = 57.29577951308232
STATE_CLASSES = ["StateVectorTeme", "StateVectorEcef", "StateVectorEnu", "StateVectorLvlh"]
ALL_CLASSES = ["Vec3", *STATE_CLASSES, "Observation", "Pointing"]
ORDERINGS = [operator.lt, operator.le, operator.gt, operator.ge]

any_float = st.floats(allow_nan=True, allow_infinity=True)
utc_datetimes = st.datetimes(
    min_value=datetime(1, 1, 1), max_value=datetime(9999, 12, 31, 23, 59, 59, 999999), timezones=st.just(UTC)
)


def vec(v):
    return np.array([v.x, v.y, v.z])


def parse_number(text):
    assert "e" not in text.lower() or text == "inf" or text == "-inf", text
    return float("nan" if text == "NaN" else text)


def same_float(a, b):
    return (math.isnan(a) and math.isnan(b)) or (a == b and math.copysign(1, a) == math.copysign(1, b))


def fixed(value, decimals):
    """Fixed point as the reprs write it: Python's rounding, NaN spelled "NaN"."""
    return "NaN" if math.isnan(value) else f"{value:.{decimals}f}"


def observation_repr(obs):
    return (
        f"Observation(az={fixed(obs.azimuth_deg, 2)}°, el={fixed(obs.elevation_deg, 2)}°, "
        f"range={fixed(obs.range, 0)}m, range_rate={fixed(obs.range_rate, 1)}m/s)"
    )


def notes(error):
    return getattr(error.value, "__notes__", [])


# --- Reference formulas, written out independently of the library -----------------------------


def lvlh_axes(r, v):
    z = -r / np.linalg.norm(r)
    h = np.cross(r, v)
    y = -h / np.linalg.norm(h)
    return np.array([np.cross(y, z), y, z])


# --- Fixtures -----------------------------------------------------------------------------------


@pytest.fixture(scope="module")
def predictor():
    if not hasattr(satvane, "Predictor"):
        pytest.skip("Predictor is not available in this build")
    return satvane.Predictor.from_tle(satvane.Tle(*ISS))


@pytest.fixture(scope="module")
def teme(predictor):
    return predictor.propagate(T0)


@pytest.fixture(scope="module")
def observer_cls():
    if not hasattr(satvane, "GeodeticPoint"):
        pytest.skip("GeodeticPoint is not available in this build")
    return satvane.GeodeticPoint


# --- Vec3 ---------------------------------------------------------------------------------------


class Floaty:
    def __float__(self):
        return 2.5


def test_vec3_construction_and_signature():
    assert inspect.signature(Vec3) == inspect.Signature(
        [inspect.Parameter(n, inspect.Parameter.POSITIONAL_OR_KEYWORD) for n in "xyz"]
    )
    assert Vec3.__doc__.endswith("A 3-component vector (x, y, z).  Used for position (metres) and velocity (m/s).")
    v = Vec3(1, Floaty(), z=-3)
    assert (v.x, v.y, v.z) == (1.0, 2.5, -3.0) and type(v.x) is float
    with pytest.raises(AttributeError):
        v.x = 4.0


@pytest.mark.parametrize("args", [(1, 2), (1, 2, 3, 4), ("1", 2, 3), (None, 2, 3), (1, 2, 1j)])
def test_vec3_rejects_bad_arguments(args):
    with pytest.raises(TypeError):
        Vec3(*args)


@pytest.mark.parametrize(
    ("args", "text"),
    [
        ((1, 2.5, -3), "Vec3(x=1, y=2.5, z=-3)"),
        ((0.1, 1e-7, 1e21), "Vec3(x=0.1, y=0.0000001, z=1000000000000000000000)"),
        ((float("nan"), float("inf"), -float("inf")), "Vec3(x=NaN, y=inf, z=-inf)"),
        ((-0.0, 5e-324, 1.7976931348623157e308), "Vec3(x=-0, y=0." + "0" * 323 + "5, z=17976931348623157" + "0" * 292 + ")"),
    ],
)
def test_vec3_repr(args, text):
    assert repr(Vec3(*args)) == text


@settings(max_examples=500, deadline=None)
@given(any_float, any_float, any_float)
def test_vec3_holds_any_float_and_its_repr_reads_back(x, y, z):
    v = Vec3(x, y, z)
    assert all(same_float(a, b) for a, b in zip((v.x, v.y, v.z), (x, y, z)))
    match = re.fullmatch(r"Vec3\(x=(\S+), y=(\S+), z=(\S+)\)", repr(v))
    assert match
    assert all(same_float(parse_number(text), value) for text, value in zip(match.groups(), (x, y, z)))
    has_nan = any(map(math.isnan, (x, y, z)))
    assert (v == Vec3(x, y, z)) is not has_nan
    assert (v != Vec3(x, y, z)) is has_nan


def test_vec3_equality():
    assert Vec3(1, 2, 3) == Vec3(1.0, 2.0, 3.0)
    assert Vec3(0.0, 0, 0) == Vec3(-0.0, 0, 0)
    nan = Vec3(float("nan"), 0, 0)
    assert nan != nan and not nan == nan
    assert Vec3(1, 2, 3) != Vec3(1, 2, 4)
    assert Vec3(1, 2, 3) != (1, 2, 3)
    assert Vec3(1, 2, 3).__eq__((1, 2, 3)) is NotImplemented


@pytest.mark.parametrize("op", ORDERINGS)
def test_vec3_ordering_is_refused(op):
    with pytest.raises(TypeError):
        op(Vec3(0, 0, 0), Vec3(1, 1, 1))


@pytest.mark.parametrize("name", ALL_CLASSES)
def test_value_classes_are_unhashable_and_live_in_the_module(name):
    cls = getattr(satvane, name)
    assert cls.__hash__ is None
    assert cls.__module__ == "satvane._satvane"
    if name != "Vec3":
        with pytest.raises(TypeError):
            cls()


@pytest.mark.parametrize(
    ("name", "doc", "position_doc", "velocity_doc"),
    [
        (
            "StateVectorTeme",
            "State vector in the True Equator Mean Equinox (TEME) frame — the native SGP4 output frame.\n\nPositions in metres, velocities in m/s.",
            "Position in the TEME frame (metres).",
            "Velocity in the TEME frame (m/s).",
        ),
        (
            "StateVectorEcef",
            "State vector in the Earth-Centred Earth-Fixed (ECEF) frame.\n\nPositions in metres, velocities in m/s.",
            "Position in the ECEF frame (metres).",
            "Velocity in the ECEF frame (m/s).",
        ),
        (
            "StateVectorEnu",
            "State vector in the East-North-Up (ENU) frame relative to a ground observer.\n\nPositions in metres, velocities in m/s.",
            "Position in the ENU frame (metres).",
            "Velocity in the ENU frame (m/s).",
        ),
        (
            "StateVectorLvlh",
            "State vector in the satellite's LVLH frame: Z along nadir, Y along the\nnegative orbit normal, X completing the right-handed triad along-track.\nPositions in metres, velocities in m/s.\n\nThe velocity is the inertial relative velocity resolved on the LVLH axes,\nnot the derivative of the LVLH position, so `range_rate` is Doppler-correct.",
            "Position in the LVLH frame (metres).",
            "Velocity in the LVLH frame (m/s).",
        ),
    ],
)
def test_state_vector_docstrings(name, doc, position_doc, velocity_doc):
    cls = getattr(satvane, name)
    assert cls.__doc__ == doc
    assert cls.position.__doc__ == position_doc
    assert cls.velocity.__doc__ == velocity_doc


@pytest.mark.parametrize(
    ("cls_name", "method", "signature", "first_sentence"),
    [
        ("StateVectorTeme", "to_ecef", "($self, t)", "Convert to the Earth-Centred Earth-Fixed (ECEF) frame at the given UTC time."),
        ("StateVectorTeme", "to_lvlh", "($self, target)", "Express `target` relative to this satellite, in the satellite's LVLH frame."),
        ("StateVectorEcef", "to_enu", "($self, observer)", "Convert to the East-North-Up (ENU) frame relative to the given observer."),
        ("StateVectorEcef", "to_teme", "($self, t)", "Convert back to the TEME frame, the inverse of `StateVectorTeme.to_ecef`."),
        ("StateVectorEnu", "to_observation", "($self)", "Convert to a ground observation (azimuth, elevation, range, range_rate)."),
        ("StateVectorLvlh", "to_pointing", "($self)", "Reduce to the direction, range and range rate of the target."),
    ],
)
def test_method_signatures_and_docstrings(cls_name, method, signature, first_sentence):
    function = getattr(getattr(satvane, cls_name), method)
    assert function.__text_signature__ == signature
    assert function.__doc__.startswith(first_sentence)


def test_observation_and_pointing_docstrings():
    obs, pointing = satvane.Observation, satvane.Pointing
    assert obs.__doc__.startswith("A point observation of a satellite from a ground location.\n\n")
    assert obs.azimuth_deg.__doc__ == "Azimuth in degrees from north, measured clockwise, in `(-180, 180]`."
    assert obs.elevation_deg.__doc__ == "Elevation above the horizon in degrees."
    assert pointing.__doc__.startswith("The satellite's view of a target on the ground.\n\n`direction` is a unit vector")
    assert pointing.direction.__doc__.startswith("Unit vector from the satellite to the target, in the LVLH frame.")
    assert pointing.off_nadir_deg.__doc__.endswith("check `range` to\ntell them apart.")


# --- LatLon and GeodeticPoint -------------------------------------------------------------------


def test_positions_store_anything_and_read_back_unchanged():
    p = LatLon(100, -720.5)
    assert (p.latitude_deg, p.longitude_deg) == (100.0, -720.5)
    g = GeodeticPoint(0, 0, -1e9)
    assert (g.latitude_deg, g.longitude_deg, g.altitude) == (0.0, 0.0, -1e9)


@pytest.mark.parametrize(
    "value, text",
    [
        (LatLon(1, 2), "LatLon(latitude_deg=1, longitude_deg=2)"),
        (LatLon(-0.1, float("nan")), "LatLon(latitude_deg=-0.1, longitude_deg=NaN)"),
        (GeodeticPoint(51.5, -0.25, 1e21), "GeodeticPoint(latitude_deg=51.5, longitude_deg=-0.25, altitude=1000000000000000000000)"),
        (GeodeticPoint(0, float("inf"), 1e-7), "GeodeticPoint(latitude_deg=0, longitude_deg=inf, altitude=0.0000001)"),
    ],
)
def test_position_reprs(value, text):
    assert repr(value) == text


@pytest.mark.parametrize(
    "a, b, equal",
    [
        (LatLon(1, 2), LatLon(1.0, 2.0), True),
        (LatLon(1, 2), LatLon(1, 2.5), False),
        (LatLon(float("nan"), 2), LatLon(float("nan"), 2), False),
        (GeodeticPoint(1, 2, 3), GeodeticPoint(1.0, 2.0, 3.0), True),
        (GeodeticPoint(1, 2, 3), GeodeticPoint(1, 2, 4), False),
        (GeodeticPoint(1, 2, float("nan")), GeodeticPoint(1, 2, float("nan")), False),
    ],
)
def test_position_equality_is_fieldwise(a, b, equal):
    assert (a == b) is equal
    assert (a != b) is not equal


@pytest.mark.parametrize("value", [LatLon(1, 2), GeodeticPoint(1, 2, 0)])
def test_positions_do_not_equal_other_types_and_are_unhashable_and_unordered(value):
    assert value != (1, 2)
    assert value != (1, 2, 0)
    assert (LatLon(1, 2) == GeodeticPoint(1, 2, 0)) is False
    assert value.__eq__((1, 2)) is NotImplemented
    with pytest.raises(TypeError):
        hash(value)
    with pytest.raises(TypeError):
        value < value  # noqa: B015


@pytest.mark.parametrize(
    "build, parameter",
    [
        (lambda: LatLon("1", 2), "latitude_deg"),
        (lambda: LatLon(1, None), "longitude_deg"),
        (lambda: GeodeticPoint(1, 2, "3"), "altitude"),
    ],
)
def test_position_float_conversion_failures_name_the_parameter(build, parameter):
    with pytest.raises(TypeError) as error:
        build()
    assert notes(error) == [f"while processing '{parameter}'"]


# --- State vectors against the reference formulas -----------------------------------------------


def test_state_vector_attributes_are_fresh_copies(teme):
    assert teme.position is not teme.position
    assert teme.position == teme.position and teme.velocity == teme.velocity
    with pytest.raises(AttributeError):
        teme.position = Vec3(0, 0, 0)
    assert teme == teme and not teme != teme
    assert teme != teme.to_ecef(T0) and teme.__eq__(teme.position) is NotImplemented


@pytest.mark.parametrize("t", [T0, datetime(2000, 1, 1, 12, tzinfo=UTC), datetime(1969, 7, 20, 20, 17, 40, 999999, tzinfo=UTC)])
def test_teme_to_ecef_and_back(teme, t):
    r, v = vec(teme.position), vec(teme.velocity)
    ecef = teme.to_ecef(t)
    assert type(ecef) is satvane.StateVectorEcef
    r_ecef, v_ecef = teme_to_ecef(r, v, t)
    np.testing.assert_allclose(vec(ecef.position), r_ecef, rtol=0, atol=1e-6)
    np.testing.assert_allclose(vec(ecef.velocity), v_ecef, rtol=0, atol=1e-9)
    back = ecef.to_teme(t)
    assert type(back) is satvane.StateVectorTeme
    np.testing.assert_allclose(vec(back.position), r, rtol=0, atol=1e-6)
    np.testing.assert_allclose(vec(back.velocity), v, rtol=0, atol=1e-9)


def test_ecef_to_enu_and_observation(teme, observer_cls):
    observer = observer_cls(45.0, 10.0, 350.0)
    ecef = teme.to_ecef(T0)
    enu = ecef.to_enu(observer)
    assert type(enu) is satvane.StateVectorEnu
    axes = enu_rotation(45.0, 10.0)
    d = vec(ecef.position) - geodetic_to_ecef(45.0, 10.0, 350.0)
    np.testing.assert_allclose(vec(enu.position), axes @ d, rtol=0, atol=1e-6)
    np.testing.assert_allclose(vec(enu.velocity), axes @ vec(ecef.velocity), rtol=0, atol=1e-9)

    obs = enu.to_observation()
    e, n, u = vec(enu.position)
    rho = math.sqrt(u * u + (n * n + e * e))
    assert obs.azimuth_deg == pytest.approx(math.atan2(e, n) * RAD_TO_DEG, abs=1e-12)
    assert obs.elevation_deg == pytest.approx(math.asin(u / rho) * RAD_TO_DEG, abs=1e-12)
    assert obs.range == pytest.approx(rho, rel=1e-15)
    assert obs.range_rate == pytest.approx(float(np.dot(vec(enu.velocity), [e, n, u])) / rho, rel=1e-12)
    assert repr(obs) == observation_repr(obs)


@pytest.mark.parametrize("observer", [(0.0, 0.0, 0.0), (0.0, 0.0, -1e9), (float("nan"), 0.0, 0.0), (1e308, -1e308, float("inf"))])
def test_degenerate_observers_give_numbers_not_crashes(teme, observer_cls, observer):
    obs = teme.to_ecef(T0).to_enu(observer_cls(*observer)).to_observation()
    assert repr(obs) == observation_repr(obs)


def test_to_lvlh_and_to_pointing(predictor, teme):
    target = predictor.propagate(T0 + timedelta(minutes=3))
    lvlh = teme.to_lvlh(target)
    assert type(lvlh) is satvane.StateVectorLvlh
    r, v = vec(teme.position), vec(teme.velocity)
    axes = lvlh_axes(r, v)
    np.testing.assert_allclose(vec(lvlh.position), axes @ (vec(target.position) - r), rtol=0, atol=1e-6)
    np.testing.assert_allclose(vec(lvlh.velocity), axes @ (vec(target.velocity) - v), rtol=0, atol=1e-9)

    pointing = lvlh.to_pointing()
    p, q = vec(lvlh.position), vec(lvlh.velocity)
    rng = float(np.linalg.norm(p))
    np.testing.assert_allclose(vec(pointing.direction), p / rng, rtol=0, atol=1e-15)
    assert pointing.range == pytest.approx(rng, rel=1e-15)
    assert pointing.range_rate == pytest.approx(float(p @ q) / rng, rel=1e-12)
    d = p / rng
    assert pointing.off_nadir_deg == pytest.approx(math.degrees(math.atan2(math.hypot(d[0], d[1]), d[2])), abs=1e-12)
    assert repr(pointing) == (
        f"Pointing(off_nadir={pointing.off_nadir_deg:.2f}°, range={pointing.range:.0f}m, range_rate={pointing.range_rate:.1f}m/s)"
    )
    assert pointing == lvlh.to_pointing() and pointing.direction is not pointing.direction


def test_zero_range_pointing(teme):
    pointing = teme.to_lvlh(teme).to_pointing()
    assert pointing.direction == Vec3(0, 0, 0)
    assert (pointing.range, pointing.range_rate, pointing.off_nadir_deg) == (0.0, 0.0, 0.0)
    assert repr(pointing) == "Pointing(off_nadir=0.00°, range=0m, range_rate=0.0m/s)"


def test_nadir_target_points_down(predictor, observer_cls):
    sub = predictor.sub_point(T0)
    pointing = predictor.point_at(T0, observer_cls(sub.latitude_deg, sub.longitude_deg, 0.0))
    assert pointing.direction.z == pytest.approx(1.0, abs=1e-5)
    assert 0.0 <= pointing.off_nadir_deg < 0.25


@pytest.mark.parametrize(
    ("method", "arg", "exc", "param"),
    [
        ("to_ecef", datetime(2020, 1, 1), TypeError, "t"),
        ("to_ecef", datetime(2020, 1, 1, tzinfo=timezone(timedelta(hours=2))), ValueError, "t"),
        ("to_ecef", 0.0, TypeError, "t"),
        ("to_lvlh", Vec3(0, 0, 0), TypeError, "target"),
        ("to_lvlh", None, TypeError, "target"),
    ],
)
def test_teme_methods_reject_wrong_arguments(teme, method, arg, exc, param):
    with pytest.raises(exc) as info:
        getattr(teme, method)(arg)
    assert info.value.__notes__ == [f"while processing '{param}'"]


def test_ecef_methods_reject_wrong_arguments(teme):
    ecef = teme.to_ecef(T0)
    with pytest.raises(TypeError) as info:
        ecef.to_enu((45.0, 10.0))
    assert info.value.__notes__ == ["while processing 'observer'"]
    if hasattr(satvane, "LatLon"):
        with pytest.raises(TypeError):
            ecef.to_enu(satvane.LatLon(45.0, 10.0))
    with pytest.raises(TypeError):
        ecef.to_teme()
    with pytest.raises(TypeError):
        ecef.to_teme(T0, T0)
    with pytest.raises(TypeError):
        teme.to_ecef(T0, extra=1)


@pytest.mark.parametrize(
    ("call", "text"),
    [
        (lambda sv: Vec3(1, 2), "Vec3() missing 1 required positional argument: 'z'"),
        (lambda sv: Vec3(1, 2, 3, x=1), "Vec3() got multiple values for argument 'x'"),
        (lambda sv: sv.to_ecef(), "StateVectorTeme.to_ecef() missing 1 required positional argument: 't'"),
        (lambda sv: sv.to_lvlh(sv, sv), "StateVectorTeme.to_lvlh() takes 1 positional argument but 2 were given"),
        (lambda sv: sv.to_ecef(T0).to_enu(), "StateVectorEcef.to_enu() missing 1 required positional argument: 'observer'"),
        (lambda sv: sv.to_ecef(T0).to_teme(t=T0, u=1), "StateVectorEcef.to_teme() got an unexpected keyword argument 'u'"),
        (lambda sv: sv.to_ecef(T0).to_enu(satvane.GeodeticPoint(0, 0, 0)).to_observation(1),
         "StateVectorEnu.to_observation() takes no arguments (1 given)"),
        (lambda sv: sv.to_lvlh(sv).to_pointing(1), "StateVectorLvlh.to_pointing() takes no arguments (1 given)"),
    ],
)
def test_wrong_arguments_read_like_the_interpreters_own(teme, observer_cls, call, text):
    with pytest.raises(TypeError) as info:
        call(teme)
    assert str(info.value) == text


@settings(max_examples=200, deadline=None)
@given(utc_datetimes)
def test_frame_round_trip_at_any_date(teme, t):
    back = teme.to_ecef(t).to_teme(t)
    np.testing.assert_allclose(vec(back.position), vec(teme.position), rtol=0, atol=1e-6)
    np.testing.assert_allclose(vec(back.velocity), vec(teme.velocity), rtol=0, atol=1e-9)


@settings(max_examples=200, deadline=None)
@given(any_float, any_float, any_float)
def test_any_observer_gives_a_result_with_a_faithful_repr(teme, observer_cls, lat, lon, alt):
    obs = teme.to_ecef(T0).to_enu(observer_cls(lat, lon, alt)).to_observation()
    assert repr(obs) == observation_repr(obs)


# --- Reference counts and memory ----------------------------------------------------------------


def exercise_vectors(rounds, teme, t, observer):
    for _ in range(rounds):
        ecef = teme.to_ecef(t)
        ecef.to_teme(t=t).position
        ecef.to_enu(observer).to_observation().azimuth_deg
        pointing = teme.to_lvlh(target=teme).to_pointing()
        pointing.direction, pointing.off_nadir_deg, repr(pointing), teme.velocity == teme.position
        repr(Vec3(1.5, -2, 1e300))
        for failing in (lambda: teme.to_ecef(observer), lambda: ecef.to_enu(t), lambda: teme.to_lvlh(ecef), lambda: Vec3(1, 2, "3")):
            try:
                failing()
            except TypeError:
                pass
            else:
                raise AssertionError("expected a failure")


def test_vector_arguments_are_not_over_referenced(teme, observer_cls):
    t = T0.replace(microsecond=7)  # objects private to this test
    observer = observer_cls(45.0, 10.0, 0.0)
    watched = (teme, t, observer)
    counts = reference_counts(watched)
    exercise_vectors(1000, teme, t, observer)
    assert reference_counts(watched) == counts


@pytest.mark.slow
def test_vector_memory_stays_flat(teme, observer_cls):
    observer = observer_cls(45.0, 10.0, 0.0)
    exercise_vectors(5_000, teme, T0, observer)
    growth = traced_growth_bytes(lambda: exercise_vectors(15_000, teme, T0, observer))
    assert growth < 256 * 1024, growth
