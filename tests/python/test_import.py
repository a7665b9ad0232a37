import satvane
from satvane import _satvane

# The module's classes in the order the module adds them; classes still to come are absent.
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
    assert names == [name for name in CLASS_ORDER if name in names]
    assert {"Classification", "Elements", "Tle"} <= set(names)


def test_classes_report_the_extension_module():
    for name in public_names():
        cls = getattr(_satvane, name)
        assert cls.__module__ == "satvane._satvane"
        assert cls.__qualname__ == name


def test_package_reexports_every_class_and_the_aliases():
    assert satvane.__all__ == public_names() + ["LatLonLike", "IntervalRange", "Area"]
    for name in public_names():
        assert getattr(satvane, name) is getattr(_satvane, name)
