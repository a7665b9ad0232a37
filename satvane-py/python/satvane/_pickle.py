"""Pickling of the library's value classes, registered with `copyreg` when `satvane` is imported.

The classes of `satvane._satvane` define no pickling methods of their own. Classes whose
constructor takes exactly what they hold pickle as that call; the others (instants kept to
the nanosecond, areas kept in radians and unit vectors, a Predictor with its Refinement, the
window classes that only searches make) pickle as an exact state taken and restored by
`satvane._batch`, so a round trip gives an equal object that gives equal results.
"""

from __future__ import annotations

import copyreg
from typing import Any, Callable

from satvane import _batch, _satvane


# What copyreg takes for a class: the callable that rebuilds an object, and its arguments.
_Reduced = tuple[Callable[..., object], tuple[Any, ...]]


def _rebuild(class_name: str, state: tuple[Any, ...]) -> object:
    return _batch.from_pickle_state(class_name, state)


def _reduce_exact(obj: object) -> _Reduced:
    return _rebuild, (type(obj).__name__, _batch.pickle_state(obj))


def _refinement(time_tolerance: float, max_iter: int) -> _satvane.Refinement:
    return _satvane.Refinement(time_tolerance=time_tolerance, max_iter=max_iter)


_BY_CONSTRUCTOR: dict[type[Any], Callable[[Any], _Reduced]] = {
    _satvane.Tle: lambda t: (_satvane.Tle, (t.satellite_name, t.line_1, t.line_2)),
    _satvane.LatLon: lambda p: (_satvane.LatLon, (p.latitude_deg, p.longitude_deg)),
    _satvane.GeodeticPoint: lambda p: (_satvane.GeodeticPoint, (p.latitude_deg, p.longitude_deg, p.altitude)),
    _satvane.Refinement: lambda r: (_refinement, (r.time_tolerance, r.max_iter)),
}

_BY_STATE = ("Elements", "Predictor", "Interval", "Transit", "AoiWindow", "Illumination", "Apsis", "Circle",
             "Rectangle", "Polygon")


def register() -> None:
    for cls, reduce in _BY_CONSTRUCTOR.items():
        copyreg.pickle(cls, reduce)
    for name in _BY_STATE:
        copyreg.pickle(getattr(_satvane, name), _reduce_exact)
