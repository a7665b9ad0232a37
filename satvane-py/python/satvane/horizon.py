"""Horizon masks: a minimum elevation that depends on azimuth, for stations behind buildings or hills.

A mask is a list of (azimuth_deg, elevation_deg) points, azimuths rising within [0, 360); between
two points the minimum elevation runs linearly in azimuth, and from the last point it runs on past
north to the first.

Passes against a mask come from the pass search at the mask's lowest elevation (every pass over
the mask lies inside one of those passes), each then sampled at the search's `min_step` and its
edges refined by bisection to 1 ms. So a pass over the mask that lasts `min_step` or longer is
always found, as with a flat minimum, and a mask that is flat gives exactly the passes of
`Predictor.transits_iter`.
"""

from __future__ import annotations

import bisect
import datetime as _dt
import math
from collections.abc import Iterable, Iterator

from satvane._satvane import GeodeticPoint, Interval, Predictor

_TIME_TOLERANCE = _dt.timedelta(milliseconds=1)
_DEFAULT_MIN_STEP = _dt.timedelta(seconds=10)


class HorizonMask:
    """The lowest elevation worth a pass at each azimuth, interpolated linearly and wrapping at north.

    `HorizonMask([(0, 5), (90, 20), (180, 5)])`: 5° to the north, rising to 20° in the east,
    5° again to the south, and from there back to 5° at north.
    """

    __slots__ = ("_azimuths_deg", "_elevations_deg")

    def __init__(self, points: Iterable[tuple[float, float]]):
        azimuths, elevations = [], []
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


def mask_passes(predictor: Predictor, observer: GeodeticPoint, interval, mask: HorizonMask,
                **transit_options) -> Iterator[Interval]:
    """The passes above the mask within the interval, in time order, as `Interval`s from AoS to LoS.

    `transit_options` are those of `Predictor.transits_iter` and mean the same here.
    """
    lowest_deg = mask.min_elevation_deg
    transits = predictor.transits_iter(observer, interval, lowest_deg, **transit_options)
    if lowest_deg == mask.max_elevation_deg:  # a flat mask is a plain minimum
        yield from transits
        return
    step = max(transit_options.get("min_step") or _DEFAULT_MIN_STEP, _dt.timedelta(seconds=1))

    def clearance(t: _dt.datetime, at_edge: bool = False) -> float:
        """Elevation above the mask; at a pass edge found at the lowest elevation, where the mask
        itself is that lowest, the edge is the mask's edge too."""
        seen = predictor.observe_at(t, observer)
        above_deg = seen.elevation_deg - mask.elevation_deg(seen.azimuth_deg)
        return max(above_deg, 0.0) if at_edge and mask.elevation_deg(seen.azimuth_deg) == lowest_deg else above_deg

    for transit in transits:
        yield from _runs_above(transit.start, transit.end, step, clearance)


def _runs_above(start: _dt.datetime, end: _dt.datetime, step: _dt.timedelta, clearance) -> Iterator[Interval]:
    """The stretches of [start, end] where clearance(t) >= 0, seen on a grid of `step` from start."""
    count = max(math.ceil((end - start) / step), 1)
    times = [min(start + k * step, end) for k in range(count + 1)]
    inside = [clearance(t, at_edge=k in (0, count)) >= 0.0 for k, t in enumerate(times)]
    run_start = start if inside[0] else None
    for k in range(1, len(times)):
        if inside[k] == inside[k - 1]:
            continue
        edge = _crossing(times[k - 1], times[k], clearance, rising=inside[k])
        if inside[k]:
            run_start = edge
        else:
            yield Interval(run_start, edge)
            run_start = None
    if run_start is not None:
        yield Interval(run_start, end)


def _crossing(before: _dt.datetime, after: _dt.datetime, clearance, rising: bool) -> _dt.datetime:
    """Bisects a sign change of clearance between two instants down to 1 ms; the instant returned is
    the first inside one (the later end when rising, the earlier when setting)."""
    while after - before > _TIME_TOLERANCE:
        middle = before + (after - before) / 2
        if (clearance(middle) >= 0.0) == rising:
            after = middle
        else:
            before = middle
    return after if rising else before
