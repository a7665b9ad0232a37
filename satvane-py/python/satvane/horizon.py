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
from collections.abc import Callable, Iterable, Iterator
from typing import Any

from satvane import IntervalRange
from satvane._satvane import GeodeticPoint, Interval, Predictor

_TOLERANCE_S = 0.001
_DEFAULT_MIN_STEP = _dt.timedelta(seconds=10)


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
    lowest_deg = mask.min_elevation_deg
    transits = predictor.transits_iter(observer, interval, lowest_deg, **transit_options)
    if lowest_deg == mask.max_elevation_deg:  # a flat mask is a plain minimum
        yield from transits
        return
    given_step = transit_options.get("min_step")
    step = max(_DEFAULT_MIN_STEP if given_step is None else given_step, _dt.timedelta(seconds=1))
    highest_deg, mask_at = mask.max_elevation_deg, mask.elevation_deg

    def clearance_deg(t: _dt.datetime) -> float:
        seen = predictor.observe_at(t, observer)
        return seen.elevation_deg - mask_at(seen.azimuth_deg)

    for transit in transits:
        # The grid: every `step` from the AoS, and the LoS. At the pass's own edges the elevation is
        # the mask's lowest (to the refinement's tolerance), so they are inside where the mask is at
        # its lowest too; at an edge cut at the interval's end the elevation speaks for itself.
        samples = list(predictor.observation_iter(observer, transit, step))
        samples.append((transit.end, predictor.observe_at(transit.end, observer)))
        last = len(samples) - 1
        inside = [seen.elevation_deg >= highest_deg or seen.elevation_deg >= mask_at(seen.azimuth_deg)
                  or (k in (0, last) and mask_at(seen.azimuth_deg) == lowest_deg)
                  for k, (_, seen) in enumerate(samples)]
        opened = transit.start if inside[0] else transit.end  # an inside run starts here
        for k in range(1, len(samples)):
            if inside[k] == inside[k - 1]:
                continue
            (t0, seen0), (t1, seen1) = samples[k - 1], samples[k]
            edge = _crossing(t0, t1, seen0.elevation_deg - mask_at(seen0.azimuth_deg),
                             seen1.elevation_deg - mask_at(seen1.azimuth_deg), clearance_deg, rising=inside[k])
            if inside[k]:
                opened = edge
            else:
                yield Interval(opened, edge)
        if inside[-1]:
            yield Interval(opened, transit.end)


def _crossing(before: _dt.datetime, after: _dt.datetime, g_before: float, g_after: float,
              clearance_deg: Callable[[_dt.datetime], float], rising: bool) -> _dt.datetime:
    """The change of sign of the clearance between two instants at which it is known, by false
    position with the Illinois rule down to a bracket of 1 ms; returns the bracket's inside end
    (the later when rising, the earlier when setting)."""
    low_s, high_s = 0.0, (after - before).total_seconds()
    f_low, f_high = g_before, g_after
    side = 0
    while high_s - low_s > _TOLERANCE_S:
        x_s = (low_s * f_high - high_s * f_low) / (f_high - f_low) if f_high != f_low else (low_s + high_s) / 2
        if not low_s < x_s < high_s:
            x_s = (low_s + high_s) / 2
        f_x = clearance_deg(before + _dt.timedelta(seconds=x_s))
        if (f_x >= 0.0) == rising:  # the crossing lies before x
            high_s, f_high = x_s, f_x
            if side == -1:
                f_low /= 2
            side = -1
        else:
            low_s, f_low = x_s, f_x
            if side == 1:
                f_high /= 2
            side = 1
    return before + _dt.timedelta(seconds=high_s if rising else low_s)
