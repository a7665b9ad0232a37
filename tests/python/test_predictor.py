"""Predictor construction and point queries, against independent computations."""

import datetime as dt
import math
import os
import random
import re
import warnings
from decimal import Decimal
from importlib import resources

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from sgp4.api import WGS84, Satrec

import sgp4
from frames_reference import (UNIX_EPOCH, ecef_to_geodetic_iterative, ecef_to_teme, enu_rotation, geodetic_to_ecef,
                              teme_to_ecef)
from satvane import (Elements, GeodeticPoint, IlluminationState, LatLon, Observation, Pointing,
                     Predictor, Refinement, StateVectorTeme, Tle)

UTC = dt.timezone.utc


def notes(error):
    return getattr(error.value, "__notes__", [])


def bundled_tle():
    name, line_1, line_2 = resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()
    return Tle(name, line_1, line_2)


def verification_sets():
    """The element sets of python-sgp4's verification file, with their test spans in minutes."""
    path = os.path.join(os.path.dirname(sgp4.__file__), "SGP4-VER.TLE")
    lines = [line.rstrip("\n") for line in open(path) if line[:2] in ("1 ", "2 ")]
    sets = {}
    for line_1, line_2 in zip(lines[0::2], lines[1::2]):
        norad = line_1[2:7]
        start, stop = (float(x) for x in line_2[69:].split()[:2])
        if norad not in sets and norad not in ("33333", "33334", "33335"):
            sets[norad] = (line_1[:69], line_2[:69], start, stop)
    return sets


VERIFICATION = verification_sets()
ISS = bundled_tle()
PREDICTOR = Predictor.from_tle(ISS)


def exact_epoch(line_1):
    """The TLE epoch to the microsecond, from the decimal text of the line."""
    yy = int(line_1[18:20])
    year = 1900 + yy if yy >= 57 else 2000 + yy
    micros = (Decimal(line_1[20:32]) - 1) * 86400 * 10**6
    assert micros == micros.to_integral_value()
    return dt.datetime(year, 1, 1, tzinfo=UTC) + dt.timedelta(microseconds=int(micros))


# --- Propagation against python-sgp4 ------------------------------------------------------------


@pytest.mark.parametrize("norad", sorted(VERIFICATION) + ["iss"])
def test_propagate_matches_python_sgp4(norad):
    if norad == "iss":
        line_1, line_2, start, stop = ISS.line_1, ISS.line_2, -2880.0, 2880.0
    else:
        line_1, line_2, start, stop = VERIFICATION[norad]
    predictor = Predictor.from_tle(Tle(f"SET {norad}", line_1, line_2))
    reference = Satrec.twoline2rv(line_1, line_2, WGS84)
    epoch = exact_epoch(line_1)
    assert predictor.epoch == epoch
    rng = random.Random(norad)
    for _ in range(25):
        millis = rng.randint(int(start * 60000), int(stop * 60000))
        error, r_km, v_km_s = reference.sgp4(reference.jdsatepoch, reference.jdsatepochF + millis / 86400000)
        t = epoch + dt.timedelta(milliseconds=millis)
        if error in (1, 2, 3, 4):  # elements out of range; 6 (decayed) still gives a state
            with pytest.raises(RuntimeError, match="^SGP4 propagation error: "):
                predictor.propagate(t)
            continue
        state = predictor.propagate(t)
        assert isinstance(state, StateVectorTeme)
        position, velocity = state.position, state.velocity
        assert [position.x, position.y, position.z] == pytest.approx(np.array(r_km) * 1000, abs=1e-3)
        assert [velocity.x, velocity.y, velocity.z] == pytest.approx(np.array(v_km_s) * 1000, abs=1e-6)


def with_checksum(line):
    return line + str(sum(int(c) if c.isdigit() else c == "-" for c in line) % 10)


RESONANT = {
    "molniya": ("1 08195U 75081A   06176.33215444  .00000099  00000-0  11873-3 0   81",
                "2 08195  64.1586 279.0717 6877146 264.7651  20.2257  2.0049138322565"),
    "geo": ("1 26038U 00011A   20194.50000000 -.00000273  00000-0  00000-0 0  999",
            "2 26038   0.0417 210.6212 0002347 325.6143  72.2931  1.00270400 7555"),
}


@pytest.mark.parametrize("name", sorted(RESONANT))
def test_resonant_orbits_match_python_sgp4_years_away_in_any_order(name):
    # The resonance integration is stored step by step as times are reached; the order of the
    # calls (random, here) and their distance from the epoch must not change a bit of it.
    line_1, line_2 = (with_checksum(line) for line in RESONANT[name])
    predictor = Predictor.from_tle(Tle(name, line_1, line_2))
    reference = Satrec.twoline2rv(line_1, line_2, WGS84)
    rng = random.Random(name)
    for _ in range(60):
        millis = rng.randint(-10 * 365 * 86400000, 10 * 365 * 86400000)
        error, r_km, v_km_s = reference.sgp4(reference.jdsatepoch, reference.jdsatepochF + millis / 86400000)
        assert error == 0
        state = predictor.propagate(exact_epoch(line_1) + dt.timedelta(milliseconds=millis))
        assert [state.position.x, state.position.y, state.position.z] == pytest.approx(np.array(r_km) * 1000, abs=1e-3)
        assert [state.velocity.x, state.velocity.y, state.velocity.z] == pytest.approx(np.array(v_km_s) * 1000, abs=1e-6)


@pytest.mark.parametrize("inclination", [179.9999, 179.99999604094288, 180.0])
@pytest.mark.parametrize("mean_motion, eccentricity", [(0.9011564, 0.2038820), (1.0027, 0.0001), (2.5470525, 0.6508878)])
def test_retrograde_equatorial_deep_space_matches_python_sgp4_given_the_same_inputs(inclination, mean_motion,
                                                                                     eccentricity):
    # Ill-conditioned: one last bit of the perturbed inclination moves the state by up to 2 km,
    # so any change of operation order shows. The epoch reaches python-sgp4 as the same Julian
    # date sum our readers form.
    epoch = dt.datetime(2020, 7, 12, 1, 19, 7, tzinfo=UTC)
    angles_deg = dict(right_ascension=345.8308, argument_of_perigee=92.8585, mean_anomaly=35.4933)
    predictor = Predictor(keyword_elements(mean_motion=mean_motion, eccentricity=eccentricity, inclination=inclination,
                                           epoch=epoch, drag_term=1e-4, **angles_deg))
    reference = Satrec()
    days_since_1950 = (2440587.5 + 18455) + 4747 / 86400 - 2433281.5
    reference.sgp4init(WGS84, "i", 25544, days_since_1950, 1e-4, 0.0, 0.0, eccentricity,
                       angles_deg["argument_of_perigee"] * (math.pi / 180.0), inclination * (math.pi / 180.0),
                       angles_deg["mean_anomaly"] * (math.pi / 180.0), mean_motion / (1440.0 / (2.0 * math.pi)),
                       angles_deg["right_ascension"] * (math.pi / 180.0))
    for minutes in (0, 1440, 14400, 144000):
        error, r_km, _ = reference.sgp4_tsince(minutes)
        assert error == 0
        position = predictor.propagate(epoch + dt.timedelta(minutes=minutes)).position
        assert [position.x, position.y, position.z] == pytest.approx(np.array(r_km) * 1000, abs=1e-3)


@pytest.mark.parametrize(
    "offset, same_as",
    [
        (dt.timedelta(microseconds=900), dt.timedelta(0)),
        (dt.timedelta(microseconds=-900), dt.timedelta(0)),
        (dt.timedelta(microseconds=-1500), dt.timedelta(milliseconds=-1)),
        (dt.timedelta(days=3, microseconds=999), dt.timedelta(days=3)),
    ],
)
def test_propagation_time_is_truncated_toward_zero_to_milliseconds(offset, same_as):
    epoch = PREDICTOR.epoch
    assert PREDICTOR.propagate(epoch + offset) == PREDICTOR.propagate(epoch + same_as)
    assert PREDICTOR.propagate(epoch + offset) != PREDICTOR.propagate(epoch + same_as + dt.timedelta(milliseconds=1))


def test_two_predictors_from_the_same_elements_agree_bit_for_bit():
    elements = ISS.to_elements()
    t = PREDICTOR.epoch + dt.timedelta(hours=5, microseconds=123456)
    assert Predictor(elements).propagate(t) == Predictor(elements).propagate(t) == PREDICTOR.propagate(t)


def test_propagation_failure_is_a_runtime_error():
    # Heavy drag: the mean elements fall apart within a few years.
    line_1 = "1 25544U 98067A   26340.50000000  .00012345  00000-0  90000-1 0  999"
    line_1 += str(sum(int(c) if c.isdigit() else c == "-" for c in line_1) % 10)
    predictor = Predictor.from_tle(Tle("DRAG", line_1, ISS.line_2))
    reference = Satrec.twoline2rv(line_1, ISS.line_2, WGS84)
    days = next(d for d in range(1, 4000) if reference.sgp4(reference.jdsatepoch + d, reference.jdsatepochF)[0] in (1, 3, 4))
    t = predictor.epoch + dt.timedelta(days=days)
    for query in (predictor.propagate, predictor.sub_point, predictor.illumination_state,
                  lambda t: predictor.observe_at(t, GeodeticPoint(0, 0, 0)),
                  lambda t: predictor.point_at(t, GeodeticPoint(0, 0, 0))):
        with pytest.raises(RuntimeError, match=r"^SGP4 propagation error: The propagated ") as error:
            query(t)
        assert not re.search(r"\de[+-]?\d", str(error.value)), "numbers never use an exponent"


# --- Construction failures ----------------------------------------------------------------------


def keyword_elements(**changes):
    fields = dict(norad_id=25544, epoch=dt.datetime(2020, 7, 12, 1, 19, 7, tzinfo=UTC), mean_motion=15.49560532,
                  eccentricity=0.0001771, inclination=51.6435, right_ascension=225.4004,
                  argument_of_perigee=44.9625, mean_anomaly=5.1087, mean_motion_dot=0.00289036,
                  drag_term=0.0049645, revolution_number=23587, object_name="ISS (ZARYA)")
    fields.update(changes)
    return Elements(**fields)


@pytest.mark.parametrize(
    "changes, text",
    [
        (dict(eccentricity=1.5), "The epoch eccentricity (1.5) is outside the range [0, 1["),
        (dict(eccentricity=-0.25), "The epoch eccentricity (-0.25) is outside the range [0, 1["),
        (dict(mean_motion=math.nan), "The element MEAN_MOTION (NaN) is not finite"),
        (dict(drag_term=math.inf), "The element BSTAR (inf) is not finite"),
        (dict(inclination=-math.inf), "The element INCLINATION (-inf) is not finite"),
        (dict(mean_motion_ddot=math.nan), "The element MEAN_MOTION_DDOT (NaN) is not finite"),
    ],
)
def test_unusable_elements_are_value_errors(changes, text):
    with pytest.raises(ValueError) as error:
        Predictor(keyword_elements(**changes))
    assert str(error.value) == "SGP4 elements error: " + text


@pytest.mark.parametrize("changes, minutes", [
    (dict(drag_term=1e300), 0.0),
    (dict(mean_motion=1e300), 0.0),
    (dict(mean_motion=2.00562768, inclination=1e-310), 60.0),  # deep space, subnormal inclination
])
def test_a_non_finite_state_is_an_error_in_every_query(changes, minutes):
    predictor = Predictor(keyword_elements(**changes))
    t = predictor.epoch + dt.timedelta(minutes=minutes)
    for query in (predictor.propagate, predictor.sub_point, predictor.illumination_state,
                  lambda t: predictor.observe_at(t, GeodeticPoint(0, 0, 0))):
        with pytest.raises(RuntimeError) as error:
            query(t)
        assert str(error.value) == f"SGP4 propagation error: The propagated state is not finite {minutes:g} minutes after epoch"


def test_malformed_tle_reports_the_parser_text_once():
    bad = Tle("ISS", ISS.line_1[:-1] + str((int(ISS.line_1[-1]) + 1) % 10), ISS.line_2)
    with pytest.raises(ValueError) as via_tle:
        bad.to_elements()
    with pytest.raises(ValueError) as via_predictor:
        Predictor.from_tle(bad)
    assert str(via_predictor.value) == str(via_tle.value) == (
        "TLE parse error: Bad line checksum on TLE line 1 between characters 68 and 69")


@pytest.mark.parametrize(
    "call, parameter",
    [
        (lambda: Predictor(ISS), "elements"),
        (lambda: Predictor(None), "elements"),
        (lambda: Predictor.from_tle(ISS.to_elements()), "tle"),
        (lambda: PREDICTOR.with_refinement((0.001, 100)), "refinement"),
        (lambda: PREDICTOR.tle_age_seconds(0.0), "now"),
        (lambda: PREDICTOR.propagate("2026-12-08"), "t"),
        (lambda: PREDICTOR.sub_point(dt.datetime(2026, 12, 8)), "t"),
        (lambda: PREDICTOR.observe_at(PREDICTOR.epoch, (51.5, 0.0)), "observer"),
        (lambda: PREDICTOR.observe_at(PREDICTOR.epoch, LatLon(51.5, 0.0)), "observer"),
        (lambda: PREDICTOR.point_at(PREDICTOR.epoch, (0.0, 0.0, 0.0)), "target"),
        (lambda: PREDICTOR.illumination_state(PREDICTOR.epoch.date()), "t"),
    ],
)
def test_wrong_argument_types_are_type_errors_naming_the_argument(call, parameter):
    with pytest.raises(TypeError) as error:
        call()
    assert notes(error) == [f"while processing '{parameter}'"]


def test_time_zones_other_than_utc_are_refused_and_zero_offsets_accepted():
    with pytest.raises(TypeError) as error:
        PREDICTOR.propagate(dt.datetime(2026, 12, 8))
    assert str(error.value) == "expected a datetime with non-None tzinfo"
    plus_two = dt.datetime(2026, 12, 8, tzinfo=dt.timezone(dt.timedelta(hours=2)))
    with pytest.raises(ValueError) as error:
        PREDICTOR.observe_at(plus_two, GeodeticPoint(0, 0, 0))
    assert str(error.value) == "expected datetime.timezone.utc"
    assert notes(error) == ["while processing 't'"]
    zero = dt.datetime(2026, 12, 8, tzinfo=dt.timezone(dt.timedelta(0), "Z"))
    assert PREDICTOR.propagate(zero) == PREDICTOR.propagate(zero.replace(tzinfo=UTC))


class PythonTwin:
    """Methods with the same parameters, to compare argument errors with the interpreter's."""

    def observe_at(self, t, observer): ...
    def tle_age_seconds(self, now): ...


@pytest.mark.parametrize(
    "args, kwargs",
    [((), {}), ((1,), {}), ((1,), {"t": 2}), ((), {"t": 1, "observer": 2, "at": 3}), ((), {"observer": 2})],
)
def test_argument_count_errors_read_like_the_interpreters(args, kwargs):
    with pytest.raises(TypeError) as ours:
        PREDICTOR.observe_at(*args, **kwargs)
    with pytest.raises(TypeError) as python:
        PythonTwin().observe_at(*args, **kwargs)
    assert str(ours.value) == str(python.value).replace("PythonTwin", "Predictor")
    assert PREDICTOR.observe_at(t=PREDICTOR.epoch, observer=GeodeticPoint(0, 0, 0)) == \
        PREDICTOR.observe_at(PREDICTOR.epoch, GeodeticPoint(0, 0, 0))


# --- Epoch and age ------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "offset, age",
    [
        (dt.timedelta(0), 0.0),
        (dt.timedelta(microseconds=1500), 0.001),
        (dt.timedelta(microseconds=-1500), -0.001),
        (dt.timedelta(microseconds=1999600), 1.999),
        (dt.timedelta(days=1), 86400.0),
        (dt.timedelta(hours=-1), -3600.0),
    ],
)
def test_tle_age_has_millisecond_granularity(offset, age):
    assert PREDICTOR.tle_age_seconds(PREDICTOR.epoch + offset) == age


@settings(max_examples=200, deadline=None)
@given(now=st.datetimes(timezones=st.just(UTC)))
def test_tle_age_of_any_instant(now):
    micros = (now - PREDICTOR.epoch) // dt.timedelta(microseconds=1)
    millis = abs(micros) // 1000 * (1 if micros >= 0 else -1)
    assert PREDICTOR.tle_age_seconds(now) == millis / 1000.0


def test_epoch_is_a_utc_datetime():
    epoch = PREDICTOR.epoch
    assert epoch == dt.datetime(2026, 12, 6, 12, tzinfo=UTC)
    assert epoch.tzinfo is UTC


def teme_state(predictor, t):
    state = predictor.propagate(t)
    p, v = state.position, state.velocity
    return np.array([p.x, p.y, p.z]), np.array([v.x, v.y, v.z])


def random_instants(predictor, seed, count=40, span_days=3.0):
    rng = random.Random(seed)
    return [predictor.epoch + dt.timedelta(seconds=rng.uniform(-span_days, span_days) * 86400) for _ in range(count)]


def random_sites(seed, count=40):
    rng = random.Random(seed)
    return [GeodeticPoint(math.degrees(math.asin(rng.uniform(-1, 1))), rng.uniform(-180, 180), rng.uniform(-400, 5000))
            for _ in range(count)]


def deep_space_predictor():
    line_1, line_2, _, _ = VERIFICATION["23599"]
    return Predictor.from_tle(Tle("MOLNIYA", line_1, line_2))


@pytest.mark.parametrize("predictor", [PREDICTOR, deep_space_predictor()], ids=["leo", "deep"])
def test_observe_at_matches_the_frame_formulas(predictor):
    for t, site in zip(random_instants(predictor, 1), random_sites(2)):
        r, v = teme_to_ecef(*teme_state(predictor, t), t)
        rotation = enu_rotation(site.latitude_deg, site.longitude_deg)
        d = rotation @ (r - geodetic_to_ecef(site.latitude_deg, site.longitude_deg, site.altitude))
        dv = rotation @ v
        range_m = np.linalg.norm(d)
        seen = predictor.observe_at(t, site)
        assert isinstance(seen, Observation)
        assert seen.range == pytest.approx(range_m, rel=1e-12)
        assert seen.range_rate == pytest.approx(np.dot(d, dv) / range_m, abs=1e-7)
        assert seen.elevation_deg == pytest.approx(math.degrees(math.asin(d[2] / range_m)), abs=1e-9)
        assert seen.azimuth_deg == pytest.approx(math.degrees(math.atan2(d[0], d[1])), abs=1e-9)
        assert -180 < seen.azimuth_deg <= 180


@pytest.mark.parametrize("predictor", [PREDICTOR, deep_space_predictor()], ids=["leo", "deep"])
def test_sub_point_matches_an_iterative_geodetic_inverse(predictor):
    for t in random_instants(predictor, 3):
        r, _ = teme_to_ecef(*teme_state(predictor, t), t)
        lat, lon, h = ecef_to_geodetic_iterative(r)
        point = predictor.sub_point(t)
        assert isinstance(point, GeodeticPoint)
        assert point.latitude_deg == pytest.approx(lat, abs=1e-9)
        assert point.longitude_deg == pytest.approx(lon, abs=1e-9)
        assert point.altitude == pytest.approx(h, abs=1e-5)


def test_point_at_matches_the_lvlh_formulas():
    for t, target in zip(random_instants(PREDICTOR, 4), random_sites(5)):
        r, v = teme_state(PREDICTOR, t)
        rt, vt = ecef_to_teme(geodetic_to_ecef(target.latitude_deg, target.longitude_deg, target.altitude),
                              np.zeros(3), t)
        z = -r / np.linalg.norm(r)
        h = np.cross(r, v)
        y = -h / np.linalg.norm(h)
        axes = np.array([np.cross(y, z), y, z])
        d, dv = axes @ (rt - r), axes @ (vt - v)
        range_m = np.linalg.norm(d)
        pointing = PREDICTOR.point_at(t, target)
        assert isinstance(pointing, Pointing)
        direction = pointing.direction
        assert [direction.x, direction.y, direction.z] == pytest.approx(d / range_m, abs=1e-12)
        assert pointing.range == pytest.approx(range_m, rel=1e-12)
        assert pointing.range_rate == pytest.approx(np.dot(d, dv) / range_m, abs=1e-7)


def test_point_at_the_sub_satellite_point_looks_at_nadir():
    t = PREDICTOR.epoch + dt.timedelta(minutes=17)
    under = PREDICTOR.sub_point(t)
    pointing = PREDICTOR.point_at(t, GeodeticPoint(under.latitude_deg, under.longitude_deg, 0.0))
    assert pointing.off_nadir_deg < 0.2
    assert pointing.range == pytest.approx(under.altitude, rel=1e-3)


# --- Illumination -------------------------------------------------------------------------------


def sun_position_m(t):
    since = t - UNIX_EPOCH
    n = (since.days * 86400 + since.seconds + since.microseconds * 1e-6) / 86400 + 2440587.5 - 2451545.0
    g = math.radians(357.528 + 0.9856003 * n)
    mean_longitude = 280.46 + 0.9856474 * n
    ecliptic = math.radians(mean_longitude + 1.915 * math.sin(g) + 0.02 * math.sin(2 * g))
    obliquity = math.radians(23.439 - 0.0000004 * n)
    distance = (1.00014 - 0.01671 * math.cos(g) - 0.00014 * math.cos(2 * g)) * 149597870700
    return distance * np.array([math.cos(ecliptic), math.cos(obliquity) * math.sin(ecliptic),
                                math.sin(obliquity) * math.sin(ecliptic)])


def shadow_value_m(r, t):
    u = sun_position_m(t)
    u /= np.linalg.norm(u)
    along = np.dot(r, u)
    distance = math.sqrt(max(np.dot(r, r) - along * along, 0.0)) if along < 0 else np.linalg.norm(r)
    return 6378137 - distance


@pytest.mark.parametrize("predictor", [PREDICTOR, deep_space_predictor()], ids=["leo", "deep"])
def test_illumination_state_matches_the_cylindrical_shadow(predictor):
    states = set()
    for t in random_instants(predictor, 6, count=300):
        value = shadow_value_m(teme_state(predictor, t)[0], t)
        if abs(value) < 1.0:
            continue
        expected = IlluminationState.Eclipse if value > 0 else IlluminationState.Sunlit
        assert predictor.illumination_state(t) is expected
        states.add(expected)
    assert states == {IlluminationState.Sunlit, IlluminationState.Eclipse}


# --- Against Skyfield (UT1, polar motion and a real ephemeris explain the differences) ------------



@pytest.fixture(scope="module")
def skyfield_api():
    return pytest.importorskip("skyfield.api", reason="Skyfield not installed")


@pytest.fixture(scope="module")
def skyfield_setup(skyfield_api):
    skyfield_data = pytest.importorskip("skyfield_data", reason="no offline ephemeris")
    with warnings.catch_warnings():  # an outdated Earth-orientation table only widens UT1 - UTC
        warnings.simplefilter("ignore", RuntimeWarning)
        ephemeris = skyfield_api.load_file(os.path.join(skyfield_data.get_skyfield_data_path(), "de421.bsp"))
    return skyfield_api.load.timescale(builtin=True), ephemeris


@pytest.mark.parametrize("norad", ["06251", "28057", "23599"])
def test_agrees_with_skyfield(norad, skyfield_api, skyfield_setup):
    timescale, ephemeris = skyfield_setup
    line_1, line_2, _, _ = VERIFICATION[norad]
    predictor = Predictor.from_tle(Tle(norad, line_1, line_2))
    satellite = skyfield_api.EarthSatellite(line_1, line_2, norad, timescale)
    site = GeodeticPoint(48.85, 2.35, 35.0)
    topos = skyfield_api.wgs84.latlon(site.latitude_deg, site.longitude_deg, site.altitude)
    compared = 0
    for t in random_instants(predictor, 9, count=60, span_days=1.0):
        when = timescale.from_datetime(t)
        geocentric = satellite.at(when)
        under = skyfield_api.wgs84.geographic_position_of(geocentric)
        point = predictor.sub_point(t)
        # A second of UT1 - UTC turns the Earth by 15 arcseconds.
        assert point.latitude_deg == pytest.approx(under.latitude.degrees, abs=0.01)
        assert math.remainder(point.longitude_deg - under.longitude.degrees, 360) == pytest.approx(0, abs=0.01)
        assert point.altitude == pytest.approx(under.elevation.m, abs=100)
        alt, az, distance = (satellite - topos).at(when).altaz()
        seen = predictor.observe_at(t, site)
        assert seen.range == pytest.approx(distance.m, abs=600)
        if alt.degrees > 5:
            assert seen.elevation_deg == pytest.approx(alt.degrees, abs=0.05)
            assert math.remainder(seen.azimuth_deg - az.degrees, 360) == pytest.approx(0, abs=0.2)
        r, _ = teme_state(predictor, t)
        if abs(shadow_value_m(r, t)) > 50e3:
            sunlit = bool(geocentric.is_sunlit(ephemeris))
            assert (predictor.illumination_state(t) is IlluminationState.Sunlit) == sunlit
            compared += 1
    assert compared > 30


# --- Arbitrary inputs: a result or the documented exception, never a crash -----------------------

anything = st.floats(allow_nan=True, allow_infinity=True)


@settings(max_examples=200, deadline=None)
@given(t=st.datetimes(timezones=st.just(UTC)), site=st.tuples(anything, anything, anything))
def test_queries_at_any_instant_and_site(t, site):
    observer = GeodeticPoint(*site)
    for query in (PREDICTOR.propagate, PREDICTOR.sub_point, PREDICTOR.illumination_state,
                  lambda t: PREDICTOR.observe_at(t, observer), lambda t: PREDICTOR.point_at(t, observer)):
        try:
            query(t)
        except RuntimeError as error:
            assert str(error).startswith("SGP4 propagation error: ")


@settings(max_examples=300, deadline=None)
@given(values=st.fixed_dictionaries({name: st.one_of(st.floats(low, high), anything) for name, (low, high) in {
    "mean_motion": (0.5, 17.0), "eccentricity": (0.0, 0.99), "inclination": (0.0, 180.0),
    "right_ascension": (0.0, 360.0), "argument_of_perigee": (0.0, 360.0), "mean_anomaly": (0.0, 360.0),
    "mean_motion_dot": (-0.01, 0.01), "drag_term": (-0.01, 0.01)}.items()}), minutes=anything)
def test_predictors_from_arbitrary_elements(values, minutes):
    try:
        predictor = Predictor(keyword_elements(**values))
    except ValueError as error:
        assert str(error).startswith("SGP4 elements error: ")
        return
    offset = dt.timedelta(minutes=max(-1e6, min(1e6, minutes))) if math.isfinite(minutes) else dt.timedelta(0)
    try:
        state = predictor.propagate(predictor.epoch + offset)
    except RuntimeError as error:
        assert str(error).startswith("SGP4 propagation error: ")
        return
    assert all(map(math.isfinite, [state.position.x, state.position.y, state.position.z,
                                   state.velocity.x, state.velocity.y, state.velocity.z]))


@settings(max_examples=100, deadline=None)
@given(tolerance=anything, max_iter=st.integers(min_value=0, max_value=2**64 - 1))
def test_refinement_stores_any_float_and_count(tolerance, max_iter):
    r = Refinement(time_tolerance=tolerance, max_iter=max_iter)
    assert r.max_iter == max_iter
    assert r.time_tolerance == tolerance or math.isnan(tolerance)
    PREDICTOR.with_refinement(r)


def test_with_refinement_copies_the_values_at_the_call():
    if not hasattr(Predictor, "illumination_iter"):
        pytest.skip("searches not available")
    interval = type("Span", (), {"start": PREDICTOR.epoch, "end": PREDICTOR.epoch + dt.timedelta(hours=3)})()
    r = Refinement(max_iter=0)
    stubborn = PREDICTOR.with_refinement(r)
    r.max_iter = 100
    with pytest.raises(RuntimeError, match="^Roots error: failed to converge after 0 iterations"):
        list(stubborn.illumination_iter(interval))
    assert len(list(PREDICTOR.with_refinement(r).illumination_iter(interval))) >= 3
    assert len(list(PREDICTOR.illumination_iter(interval))) >= 3


# --- Surface ------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "obj, signature, doc_start",
    [
        (Predictor, "(elements)", "Parsed TLE with pre-computed SGP4 constants, ready for propagation.\n\n"
                                  "Construct from a `Tle` or `Elements`; then use its methods"),
        (Predictor.from_tle, "(tle)", "Parse TLE string lines and initialise SGP4 constants.\n\n"
                                      "Raises `ValueError` if the TLE is malformed."),
        (Predictor.with_refinement, "($self, refinement)", "Return a new `Predictor` with the given root-finder"),
        (Predictor.tle_age_seconds, "($self, now)", "Age of the TLE relative to `now` in seconds (positive = TLE is"),
        (Predictor.propagate, "($self, t)", "Propagate the TLE to the given UTC time.\n\nReturns a state vector"),
        (Predictor.sub_point, "($self, t)", "The geodetic point directly beneath the satellite at time `t`."),
        (Predictor.observe_at, "($self, t, observer)", "Calculate the observation from an observer at the given"),
        (Predictor.point_at, "($self, t, target)", "Where `target` lies as seen from the satellite at the given"),
        (Predictor.illumination_state, "($self, t)", "Determine whether the satellite is sunlit or in eclipse"),
        (Refinement, "(*, time_tolerance=None, max_iter=None)", "Root-finder configuration used to refine"),
        (Predictor.prediction_iter, "($self, interval, step)",
         "Iterate over state vectors in the TEME frame at regular intervals.\n\n"
         "`interval` must expose `.start` and `.end` datetime properties.\n"
         "Pass an `Interval`, `Transit`, or `Illumination` object.\0"),
        (Predictor.ground_track_iter, "($self, interval, step)",
         "Trace the satellite's ground track at regular intervals.\n\n"
         "`interval` must expose `.start` and `.end` datetime properties.\n"
         "Yields `(datetime, GeodeticPoint)` sub-satellite points.\0"),
        (Predictor.observation_iter, "($self, observer, interval, step)",
         "Iterate over observations from the given observer at regular intervals.\n\n"
         "`interval` must expose `.start` and `.end` datetime properties.\n"
         "Pass an `Interval`, `Transit`, or `Illumination` object.\0"),
        (Predictor.transits_iter,
         "($self, observer, interval, min_elevation_deg, *, min_step=None, max_step=None, walk_step=None, "
         "max_transit_duration=None, skip_leading_partial=None, clamp_to_interval=None)",
         "Iterate over satellite passes visible to the observer within the interval.\n\n"),
        (Predictor.detect_transit, "($self, t, observer, min_elevation_deg, *, walk_step=None, max_transit_duration=None)",
         "Detect whether a transit is in progress at time `t`.\n\n"),
        (Predictor.max_elevation, "($self, observer, interval, *, scan_step=None)",
         "Find the peak elevation of the satellite over an observer within the interval.\n\n"),
        (Predictor.illumination_iter, "($self, interval, *, step=None, walk_step=None, max_window_duration=None)",
         "Iterate over sunlit and eclipse windows within the interval.\n\n"),
        (Predictor.apsis_iter, "($self, interval, *, step=None)",
         "Iterate over apogee and perigee events within the interval.\n\n"),
    ],
)
def test_signatures_and_docstrings(obj, signature, doc_start):
    assert obj.__text_signature__ == signature
    assert (obj.__doc__ + "\0").startswith(doc_start)  # a trailing NUL pins the whole docstring


def test_module_and_read_only_epoch():
    assert Predictor.__module__ == Refinement.__module__ == "satvane._satvane"
    with pytest.raises(AttributeError):
        PREDICTOR.epoch = PREDICTOR.epoch
