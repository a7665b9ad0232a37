import copy
import pickle
import subprocess
import sys
from datetime import datetime, timedelta, timezone
from importlib import resources

import pytest

import satvane
from satvane import (Circle, FillRule, GeodeticPoint, Interval, LatLon, Polygon, Predictor, Rectangle, Refinement,
                     Tle)
from satvane import _batch
from satvane.horizon import HorizonMask
from satvane.passes import passes
from catalog_data import TLES, elements

T0 = datetime(2024, 3, 1, 12, tzinfo=timezone.utc)
T0_S = int(T0.timestamp())
PROBES = [(lat, lon) for lat in (-89.5, -40.0, 0.0, 12.5, 60.0) for lon in (-179.0, -3.0, 0.0, 21.0, 150.0)]


def made(class_name, *state):
    """Classes only the searches make, built from an exact state with sub-microsecond instants."""
    return _batch.from_pickle_state(class_name, state)


OBJECTS = {
    "Tle": Tle(*TLES[2]),
    "LatLon": LatLon(-33.9, 151.2),
    "GeodeticPoint": GeodeticPoint(78.2, 15.4, 450.0),
    "Refinement": Refinement(time_tolerance=1e-6, max_iter=17),
    "Elements": elements(TLES[2]),  # its epoch is not a whole microsecond
    "Predictor": Predictor.from_tle(Tle(*TLES[0])).with_refinement(Refinement(time_tolerance=0.25, max_iter=9)),
    "Interval": Interval(T0, T0 + timedelta(microseconds=1)),
    "Transit": made("Transit", T0_S, 123_456_789, T0_S + 600, 999_999_999),
    "AoiWindow": made("AoiWindow", T0_S, 1, T0_S + 60, 2),
    "Illumination": made("Illumination", T0_S, 5, T0_S + 3000, 7, 1),
    "Apsis": made("Apsis", T0_S, 333, 1, 412345.6789),
    "Circle": Circle((51.5, -0.1), 12.3),
    "Rectangle": Rectangle((10, 170), (20, -170)),
    "Band": Rectangle.latitude_band(-30, 45),
    "Polygon": Polygon([(0, 0), (0, 10), (10, 10), (5, 3)], FillRule.EvenOdd),
    "HorizonMask": HorizonMask([(0, 5), (90, 20.25), (180, 5)]),
}
HAVE_EQUALITY = {"Tle", "LatLon", "GeodeticPoint", "Refinement", "Interval", "Transit", "AoiWindow", "Illumination",
                 "Apsis", "HorizonMask"}
HASHABLE = {"Tle", "Interval", "Transit", "AoiWindow", "Illumination", "HorizonMask"}
DEFAULT_REPR = {"Tle", "Refinement", "Predictor"}
BY_STATE = set(OBJECTS) - {"Tle", "LatLon", "GeodeticPoint", "Refinement", "HorizonMask"}

ISS = Predictor.from_tle(Tle(*resources.files("satvane").joinpath("data/iss.tle").read_text().splitlines()))
GREENWICH = GeodeticPoint(51.4779, -0.0015, 46.0)
DAY = Interval(ISS.epoch, ISS.epoch + timedelta(days=1))
# What the searches and the pass planner make, from the bundled ISS elements over one day.
SEARCHED = {
    "Transit": lambda: list(ISS.transits_iter(GREENWICH, DAY, 10.0)),
    "Illumination": lambda: list(ISS.illumination_iter(DAY)),
    "Apsis": lambda: list(ISS.apsis_iter(DAY)),
    "AoiWindow": lambda: list(ISS.aoi_iter(Circle((51.5, 0.0), 10.0), DAY)),
    "Pass": lambda: passes(ISS, GREENWICH, DAY, OBJECTS["HorizonMask"]),
}


@pytest.mark.parametrize("name", OBJECTS)
@pytest.mark.parametrize("protocol", [2, pickle.HIGHEST_PROTOCOL])
def test_round_trips_give_equal_objects(name, protocol):
    obj = OBJECTS[name]
    back = pickle.loads(pickle.dumps(obj, protocol))
    assert type(back) is type(obj) and back is not obj
    if name not in DEFAULT_REPR:
        assert repr(back) == repr(obj) == repr(copy.deepcopy(obj))
    if name in HAVE_EQUALITY:
        assert back == obj
    if name in HASHABLE:
        assert hash(back) == hash(obj)
    if name in BY_STATE:  # everything the object holds, bit for bit
        assert _batch.pickle_state(back) == _batch.pickle_state(obj)


@pytest.mark.parametrize("name", SEARCHED)
def test_what_searches_make_round_trips(name):
    found = SEARCHED[name]()
    back = pickle.loads(pickle.dumps(found))
    assert found and back == found
    assert [repr(x) for x in back] == [repr(x) for x in found]
    if name == "Pass":  # visible stretches are Intervals inside the records
        assert any(p.visible for p in back)


@pytest.mark.parametrize("name", ["Circle", "Rectangle", "Band", "Polygon"])
def test_areas_give_equal_offsets(name):
    area, back = OBJECTS[name], pickle.loads(pickle.dumps(OBJECTS[name]))
    for point in PROBES:
        assert back.signed_angular_offset_deg(point) == area.signed_angular_offset_deg(point)


def test_predictors_propagate_alike_and_keep_their_refinement():
    predictor = OBJECTS["Predictor"]
    back = pickle.loads(pickle.dumps(predictor))
    assert _batch.pickle_state(back)[1:] == (0.25, 9)
    for minutes in (-700, 0, 1, 95.5, 4000):
        t = predictor.epoch + timedelta(minutes=minutes)
        assert back.propagate(t) == predictor.propagate(t)


def test_another_process_reads_the_same_objects():
    data = pickle.dumps([OBJECTS["Predictor"], OBJECTS["Transit"], OBJECTS["Polygon"]])
    code = ("import pickle, sys, satvane._batch as b; p, w, a = pickle.loads(sys.stdin.buffer.read()); "
            "print(repr(p.propagate(w.start).position), repr(w), b.pickle_state(a))")
    out = subprocess.run([sys.executable, "-c", code], input=data, capture_output=True, check=True).stdout.decode()
    p, w, a = OBJECTS["Predictor"], OBJECTS["Transit"], OBJECTS["Polygon"]
    assert out.strip() == f"{p.propagate(w.start).position!r} {w!r} {_batch.pickle_state(a)}"


@pytest.mark.parametrize("class_name, state, message", [
    ("Transit", (1, 2, 3), "not a pickled satvane Transit"),
    ("Transit", (1, 2_000_000_000, 3, 0), "not a pickled satvane Transit"),
    ("Elements", "text", "not a pickled satvane Elements"),
    ("Circle", (1.0, 0.0, 0.0, 2.0), "circle radius must lie in (0, 90°)"),
    ("Polygon", (0, 1.0, 0.0, 0.0, 0.0, 1.0, 0.0), "polygon needs at least 3 distinct vertices, got 2"),
    ("Rectangle", (0.1, 0.1, 0.0, 1.0), "rectangle is empty"),
    ("Vec3", (), "no pickled satvane class named 'Vec3'"),
])
def test_malformed_states_are_refused(class_name, state, message):
    with pytest.raises(ValueError) as info:
        _batch.from_pickle_state(class_name, state)
    assert message in str(info.value)
    with pytest.raises(TypeError, match="cannot take the pickle state of a 'Vec3'"):
        _batch.pickle_state(satvane.Vec3(1, 2, 3))
