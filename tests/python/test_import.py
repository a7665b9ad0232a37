import gc
import importlib.util
import json
import weakref
from datetime import datetime, timezone

import satvane
from satvane import _satvane
from test_elements import OMM

# The module's classes in the order the module adds them.
CLASS_ORDER = [
    "Classification", "Elements", "Tle", "LatLon", "GeodeticPoint", "Vec3", "StateVectorTeme",
    "StateVectorEcef", "StateVectorEnu", "StateVectorLvlh", "Interval", "Observation", "Pointing",
    "Transit", "ApsisEvent", "Apsis", "IlluminationState", "Illumination", "FillRule", "Polygon",
    "Rectangle", "Circle", "Coverage", "AoiWindow", "Predictor", "PredictionIter", "ApsisIter",
    "IlluminationIter", "TransitIter", "ObservationIter", "GroundTrackIter", "AoiIter", "Refinement",
]


def public_names():
    return [name for name in vars(_satvane) if not name.startswith("_")]


def test_module_has_an_empty_docstring_and_only_classes_in_order():
    assert _satvane.__doc__ == ""
    names = public_names()
    assert all(isinstance(getattr(_satvane, name), type) for name in names)
    assert names == CLASS_ORDER  # all 33, none left out


def test_classes_report_the_extension_module():
    for name in public_names():
        cls = getattr(_satvane, name)
        assert cls.__module__ == "satvane._satvane"
        assert cls.__qualname__ == name


def test_package_reexports_every_class_and_the_aliases():
    assert satvane.__all__ == public_names() + ["LatLonLike", "IntervalRange", "Area", "load_catalog"]
    for name in public_names():
        assert getattr(satvane, name) is getattr(_satvane, name)


def fresh_module_instance():
    module_spec = importlib.util.find_spec("satvane._satvane")
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


def test_each_module_instance_has_its_own_classes_and_is_freed_with_them():
    module = fresh_module_instance()
    assert module.Classification is not _satvane.Classification
    assert module.Tle("x", "", "") == module.Tle("x", "", "")
    assert module.Tle("x", "", "") != _satvane.Tle("x", "", "")  # different classes
    elements = module.Elements(norad_id=1, epoch=datetime(2024, 1, 1, tzinfo=timezone.utc), mean_motion=15.0,
                               eccentricity=0.0, inclination=0.0, right_ascension=0.0, argument_of_perigee=0.0,
                               mean_anomaly=0.0, mean_motion_dot=0.0)
    assert elements.classification is module.Classification.Unclassified
    assert type(module.Elements.from_json(json.dumps({**OMM, "CLASSIFICATION_TYPE": "S"})).classification) is module.Classification

    classes = [weakref.ref(getattr(module, name)) for name in public_names()]
    del module, elements
    gc.collect()
    assert [ref for ref in classes if ref() is not None] == []


def test_objects_of_another_module_instance_are_refused_saying_so():
    module = fresh_module_instance()
    utc = timezone.utc
    predictor = _satvane.Predictor.from_tle(_satvane.Tle(
        "ISS", "1 25544U 98067A   20194.05494676  .00000943  00000-0  24953-4 0  9990",
        "2 25544  51.6435 225.4004 0001771  44.9625   5.1087 15.49560532235875"))
    window = _satvane.Interval(datetime(2020, 7, 12, tzinfo=utc), datetime(2020, 7, 13, tzinfo=utc))
    calls = {
        "GeodeticPoint": lambda: predictor.observe_at(window.start, module.GeodeticPoint(0, 0, 0)),
        "LatLon": lambda: _satvane.Circle(module.LatLon(0, 0), 5),
        "Elements": lambda: _satvane.Predictor(module.Elements.from_json(json.dumps(OMM))),
    }
    for name, call in calls.items():
        try:
            call()
        except TypeError as error:
            assert str(error) == (f"'{name}' object is not an instance of '{name}': it comes from another instance "
                                  "of the module satvane._satvane")
        else:
            raise AssertionError(f"{name} of another module instance accepted")
