"""Whole pass records and the passes an observer can see with the eye.

A `Pass` tells the story of one pass: AoS, peak and LoS (each with time, azimuth, elevation and
range), its duration, the time the satellite spends in sunlight, and its visible stretches: the
times in which the satellite is above the minimum (or the horizon mask), in sunlight, and the
observer's sky is dark, that is the Sun is below the twilight threshold.

Sunlight comes from the illumination search (a cylindrical shadow, edges a few seconds from a
conical umbra model); the Sun's elevation at the observer from the same solar model
(`satvane.sun`, within 0.011° of DE421), so twilight edges lie within a few seconds of an
ephemeris-grade computation.
"""

from __future__ import annotations

import dataclasses
import datetime as _dt
from collections.abc import Iterator
from typing import Any

from satvane import IntervalRange
from satvane._satvane import GeodeticPoint, IlluminationState, Interval, Predictor
from satvane.horizon import HorizonMask, mask_passes
from satvane.sun import SunSky, twilight_deg

_TIME_TOLERANCE = _dt.timedelta(milliseconds=1)
# The peak search over a pass looks for the elevation rate's turn at this step: a pass has one
# peak, and two turns of the elevation within half a minute of each other would need a satellite
# that turns back in the sky.
_PEAK_SCAN_STEP = _dt.timedelta(seconds=30)
# The Sun's elevation is sampled this often within a pass: it turns no faster than 0.25° a minute,
# so a dusk or dawn edge cannot slip between two samples unless the Sun merely grazes the threshold.
_SUN_STEP = _dt.timedelta(minutes=2)
# A bound on how fast the Sun's elevation can change: the Earth's turn (360.99° a sidereal day)
# plus the Sun's own drift (under 1.1° a day).
_SUN_RATE_DEG_S = 361.0 / 86164.0 + 1.1 / 86400.0


@dataclasses.dataclass(frozen=True, slots=True)
class LookPoint:
    """Where the observer sees the satellite at one instant: azimuth in [0, 360) degrees from north."""

    time: _dt.datetime
    azimuth_deg: float
    elevation_deg: float
    range_m: float

    @classmethod
    def seen(cls, predictor: Predictor, observer: GeodeticPoint, t: _dt.datetime) -> LookPoint:
        o = predictor.observe_at(t, observer)
        return cls(t, o.azimuth_deg % 360.0, o.elevation_deg, o.range)

    def __str__(self) -> str:
        return (f"{_whole_second(self.time):%Y-%m-%d %H:%M:%S}Z az {self.azimuth_deg:5.1f}°"
                f" el {self.elevation_deg:4.1f}° {self.range_m / 1000:.0f} km")


@dataclasses.dataclass(frozen=True, slots=True)
class Pass:
    """One pass over an observer: AoS, peak and LoS, time in sunlight and the visible stretches.

    A `Pass` is an interval (`start` is the AoS, `end` the LoS), so it can be handed to the
    searches and series of `Predictor`.
    """

    aos: LookPoint
    peak: LookPoint
    los: LookPoint
    sunlit: _dt.timedelta
    visible: tuple[Interval, ...]

    @property
    def start(self) -> _dt.datetime:
        return self.aos.time

    @property
    def end(self) -> _dt.datetime:
        return self.los.time

    @property
    def duration(self) -> _dt.timedelta:
        return self.los.time - self.aos.time

    @property
    def peak_elevation_deg(self) -> float:
        return self.peak.elevation_deg

    @property
    def visible_duration(self) -> _dt.timedelta:
        return sum((stretch.duration for stretch in self.visible), _dt.timedelta())

    def as_dict(self) -> dict[str, Any]:
        """A flat dict, one key per column of a pass table; the times are datetimes, spans timedeltas."""
        row: dict[str, Any] = {}
        for name in ("aos", "peak", "los"):
            point = getattr(self, name)
            row.update({f"{name}_time": point.time, f"{name}_azimuth_deg": point.azimuth_deg,
                        f"{name}_elevation_deg": point.elevation_deg, f"{name}_range_m": point.range_m})
        row.update(duration=self.duration, sunlit=self.sunlit, visible_duration=self.visible_duration,
                   visible_start=self.visible[0].start if self.visible else None,
                   visible_end=self.visible[-1].end if self.visible else None)
        return row

    def as_row(self) -> tuple[Any, ...]:
        """The values of `as_dict()` in its order, for a table row."""
        return tuple(self.as_dict().values())

    def __str__(self) -> str:
        aos, los = _whole_second(self.aos.time), _whole_second(self.los.time)
        seen = "not visible"
        if self.visible:
            first, last = _whole_second(self.visible[0].start), _whole_second(self.visible[-1].end)
            seen = f"visible {first:%H:%M:%S}-{last:%H:%M:%S}Z"
        return (f"pass {aos:%Y-%m-%d %H:%M:%S}Z-{los:%H:%M:%S}Z peak {self.peak_elevation_deg:.1f}°"
                f" at az {self.peak.azimuth_deg:.0f}°, sunlit {_minutes(self.sunlit)}, {seen}")


def _whole_second(t: _dt.datetime) -> _dt.datetime:
    return (t + _dt.timedelta(microseconds=500_000)).replace(microsecond=0)


def _minutes(span: _dt.timedelta) -> str:
    seconds = round(span.total_seconds())
    return f"{seconds // 60}:{seconds % 60:02d}"


def passes(predictor: Predictor, observer: GeodeticPoint, interval: IntervalRange,
           horizon: float | HorizonMask = 0.0, *, twilight: str | float = "civil",
           **transit_options: Any) -> list[Pass]:
    """Every pass over the observer within the interval, in time order, as whole `Pass` records.

    `horizon` is the minimum elevation in degrees or a `HorizonMask`. `twilight` is the Sun's
    elevation below which the sky counts as dark: 'civil' (-6°, the default), 'nautical' (-12°),
    'astronomical' (-18°) or a number of degrees. `transit_options` are the keyword options of
    `Predictor.transits_iter`.
    """
    dark_below_deg, sky = twilight_deg(twilight), _sky(observer)
    records = []
    for window in _windows(predictor, observer, interval, horizon, transit_options):
        sunlit = _sunlit(predictor, window)
        dark = _dark_stretches(sky, window.start, window.end, dark_below_deg)
        records.append(_record(predictor, observer, window, sunlit, _overlaps(dark, sunlit)))
    return records


def visible_passes(predictor: Predictor, observer: GeodeticPoint, interval: IntervalRange,
                   horizon: float | HorizonMask = 0.0, *, twilight: str | float = "civil",
                   **transit_options: Any) -> list[Pass]:
    """The passes with at least one visible stretch, as `passes` gives them (same arguments)."""
    dark_below_deg, sky = twilight_deg(twilight), _sky(observer)
    records = []
    for window in _windows(predictor, observer, interval, horizon, transit_options):
        dark = _dark_stretches(sky, window.start, window.end, dark_below_deg)
        if not dark:  # a daylight pass: no need to ask about the satellite's sunlight
            continue
        sunlit = _sunlit(predictor, window)
        visible = _overlaps(dark, sunlit)
        if visible:
            records.append(_record(predictor, observer, window, sunlit, visible))
    return records


Span = tuple[_dt.datetime, _dt.datetime]


def _windows(predictor: Predictor, observer: GeodeticPoint, interval: IntervalRange,
             horizon: float | HorizonMask, transit_options: dict[str, Any]) -> Iterator[IntervalRange]:
    if isinstance(horizon, HorizonMask):
        return mask_passes(predictor, observer, interval, horizon, **transit_options)
    return iter(predictor.transits_iter(observer, interval, horizon, **transit_options))


def _sunlit(predictor: Predictor, window: IntervalRange) -> list[Span]:
    if not window.end > window.start:
        return []
    return [(w.start, w.end) for w in predictor.illumination_iter(window) if w.state == IlluminationState.Sunlit]


def _record(predictor: Predictor, observer: GeodeticPoint, window: IntervalRange, sunlit: list[Span],
            visible: tuple[Interval, ...]) -> Pass:
    # A short pass is scanned more finely, so that its peak is never just one of its ends.
    scan_step = min(_PEAK_SCAN_STEP, (window.end - window.start) / 4)
    peak_time, top = predictor.max_elevation(observer, window, scan_step=scan_step)
    return Pass(LookPoint.seen(predictor, observer, window.start),
                LookPoint(peak_time, top.azimuth_deg % 360.0, top.elevation_deg, top.range),
                LookPoint.seen(predictor, observer, window.end),
                sum((end - start for start, end in sunlit), _dt.timedelta()), visible)


def _sky(observer: GeodeticPoint) -> SunSky:
    return SunSky(observer.latitude_deg, observer.longitude_deg, observer.altitude)


def _overlaps(first: list[Span], second: list[Span]) -> tuple[Interval, ...]:
    """The overlaps of two time-ordered lists of disjoint (start, end) pairs, as Intervals."""
    found, i, j = [], 0, 0
    while i < len(first) and j < len(second):
        start, end = max(first[i][0], second[j][0]), min(first[i][1], second[j][1])
        if start < end:
            found.append(Interval(start, end))
        if first[i][1] < second[j][1]:
            i += 1
        else:
            j += 1
    return tuple(found)


def _dark_stretches(sky: SunSky, start: _dt.datetime, end: _dt.datetime, dark_below_deg: float) -> list[Span]:
    """The stretches of [start, end] in which the Sun is below the twilight threshold."""
    def above_threshold_deg(t: _dt.datetime) -> float:
        return sky.elevation_deg(t) - dark_below_deg

    # Most passes are far from dusk or dawn: one look at the Sun settles them.
    margin_deg = above_threshold_deg(start)
    if abs(margin_deg) > _SUN_RATE_DEG_S * (end - start).total_seconds():
        return [(start, end)] if margin_deg < 0.0 else []
    times = [start]
    while times[-1] + _SUN_STEP < end:
        times.append(times[-1] + _SUN_STEP)
    times.append(end)
    states = [above_threshold_deg(t) < 0.0 for t in times]
    stretches: list[Span] = []
    opened = start  # where the dark stretch under way began, while states say dark
    for k in range(1, len(times)):
        if states[k] != states[k - 1]:
            before, after = times[k - 1], times[k]
            while after - before > _TIME_TOLERANCE:
                middle = before + (after - before) / 2
                if (above_threshold_deg(middle) < 0.0) == states[k]:
                    after = middle
                else:
                    before = middle
            if states[k]:
                opened = after
            else:
                stretches.append((opened, before))
    if states[-1]:
        stretches.append((opened, end))
    return stretches
