"""Fast, exact satellite pass prediction with SGP4."""

from __future__ import annotations

import datetime as _datetime
import typing as _typing

from satvane import _pickle, _satvane
from satvane._satvane import *  # noqa: F401,F403
from satvane.catalog import load_catalog

_pickle.register()


@_typing.runtime_checkable
class IntervalRange(_typing.Protocol):
    """Anything with `.start` and `.end` datetime attributes: an `Interval`, a `Transit`, an
    `AoiWindow`, an `Illumination` or an object of your own."""

    @property
    def start(self) -> _datetime.datetime: ...

    @property
    def end(self) -> _datetime.datetime: ...


# A position on the ground: a LatLon, a GeodeticPoint (altitude ignored) or a
# (latitude_deg, longitude_deg) tuple.
LatLonLike = _typing.Union["LatLon", "GeodeticPoint", "tuple[float, float]"]

# An area of interest on the ground.
Area = _typing.Union["Polygon", "Rectangle", "Circle"]

__all__ = [name for name in vars(_satvane) if not name.startswith("_")] + [
    "LatLonLike", "IntervalRange", "Area", "load_catalog"]
