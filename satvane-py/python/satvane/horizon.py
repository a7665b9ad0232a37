"""Horizon masks: a minimum elevation that depends on azimuth, for stations behind buildings or hills.

A mask is a list of (azimuth_deg, elevation_deg) points, azimuths rising within [0, 360); between
two points the minimum elevation runs linearly in azimuth, and from the last point it runs on past
north to the first.

Passes against a mask come from the engine of the pass search, run on the elevation above the
mask: with the pass scan's stride at the mask's lowest elevation while the satellite is below
it, every `min_step` while it is above that but under the mask, and edges refined to the
predictor's time tolerance (1 ms by default). So a pass over the mask that lasts `min_step` or
longer is always found, as with a flat minimum, and a mask that is flat gives exactly the passes
of `Predictor.transits_iter`.
"""

from __future__ import annotations

import bisect
from collections.abc import Iterable, Iterator
from typing import Any

from satvane import IntervalRange, _batch
from satvane._satvane import GeodeticPoint, Predictor


class HorizonMask:
    """The lowest elevation worth a pass at each azimuth, interpolated linearly and wrapping at north.

    `HorizonMask([(0, 5), (90, 20), (180, 5)])`: 5° to the north, rising to 20° in the east,
    5° again to the south, and from there back to 5° at north.
    """

    __slots__ = ("_azimuths_deg", "_elevations_deg")

    def __init__(self, points: Iterable[tuple[float, float]]):
        azimuths: list[float] = []
        elevations: list[float] = []
        for index, point in enumerate(points):
            try:
                azimuth_deg, elevation_deg = (float(value) for value in point)
            except (TypeError, ValueError):
                raise ValueError(f"horizon mask point {index}: expected (azimuth_deg, elevation_deg)"
                                 f" numbers, got {point!r}") from None
            if not 0.0 <= azimuth_deg < 360.0:
                raise ValueError(f"horizon mask point {index}: azimuth {azimuth_deg:g} is outside [0, 360) degrees")
            if not -90.0 <= elevation_deg <= 90.0:
                raise ValueError(f"horizon mask point {index}: elevation {elevation_deg:g} is outside"
                                 f" [-90, 90] degrees")
            if azimuths and azimuth_deg <= azimuths[-1]:
                raise ValueError(f"horizon mask point {index}: azimuth {azimuth_deg:g} does not follow"
                                 f" {azimuths[-1]:g}; azimuths must rise")
            azimuths.append(azimuth_deg)
            elevations.append(elevation_deg)
        if len(azimuths) < 2:
            raise ValueError(f"a horizon mask needs at least two points, got {len(azimuths)}")
        self._azimuths_deg = tuple(azimuths)
        self._elevations_deg = tuple(elevations)

    @property
    def points(self) -> tuple[tuple[float, float], ...]:
        """The (azimuth_deg, elevation_deg) points, in azimuth order."""
        return tuple(zip(self._azimuths_deg, self._elevations_deg))

    @property
    def min_elevation_deg(self) -> float:
        return min(self._elevations_deg)

    @property
    def max_elevation_deg(self) -> float:
        return max(self._elevations_deg)

    def elevation_deg(self, azimuth_deg: float) -> float:
        """The mask's minimum elevation at an azimuth in degrees (any value: it is taken modulo 360)."""
        azimuths, elevations = self._azimuths_deg, self._elevations_deg
        azimuth_deg %= 360.0
        i = bisect.bisect_right(azimuths, azimuth_deg)
        if 0 < i < len(azimuths):
            a0, a1, e0, e1 = azimuths[i - 1], azimuths[i], elevations[i - 1], elevations[i]
        else:  # between the last point and the first, across north
            a0, a1, e0, e1 = azimuths[-1], azimuths[0] + 360.0, elevations[-1], elevations[0]
            if azimuth_deg < a0:
                azimuth_deg += 360.0
        return e0 + (e1 - e0) * (azimuth_deg - a0) / (a1 - a0)

    def __eq__(self, other: object) -> bool:
        return isinstance(other, HorizonMask) and self.points == other.points

    def __hash__(self) -> int:
        return hash(self.points)

    def __repr__(self) -> str:
        return f"HorizonMask({[(a, e) for a, e in self.points]!r})"


def mask_passes(predictor: Predictor, observer: GeodeticPoint, interval: IntervalRange, mask: HorizonMask,
                **transit_options: Any) -> Iterator[IntervalRange]:
    """The passes above the mask within the interval, in time order, as `Interval`s from AoS to LoS.

    `transit_options` are those of `Predictor.transits_iter` and mean the same here.
    """
    if mask.min_elevation_deg == mask.max_elevation_deg:  # a flat mask is a plain minimum
        return iter(predictor.transits_iter(observer, interval, mask.min_elevation_deg, **transit_options))
    return iter(_batch.mask_passes(predictor, observer, interval, mask.points, **transit_options))
