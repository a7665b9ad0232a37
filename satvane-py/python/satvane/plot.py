"""Pictures of passes: a polar sky plot and a ground-track map, as PNG or SVG files.

Needs matplotlib, the optional extra `satvane[plot]`. Each function draws on a figure of its own
(no pyplot state), writes it to `path` in the format its suffix names, and returns the figure.
Each pass track carries the gid "pass-N" (the id of its SVG element), the mask "horizon-mask",
the ground track "ground-track" and the visibility circle "visibility-circle".
"""

from __future__ import annotations

import datetime as _dt
import math
import os
from collections.abc import Iterable, Sequence
from typing import TYPE_CHECKING, Any

from satvane import IntervalRange
from satvane._satvane import GeodeticPoint, Predictor
from satvane.horizon import HorizonMask

if TYPE_CHECKING:
    from matplotlib.figure import Figure

_MISSING = "satvane's plots need matplotlib: pip install 'satvane[plot]' (or pip install matplotlib)"
_EARTH_RADIUS_M = 6371008.8  # mean radius: the visibility circle is drawn on a sphere


def _figure(size_in: tuple[float, float], dpi: int) -> Figure:
    try:
        from matplotlib.figure import Figure
    except ImportError:
        raise ImportError(_MISSING) from None
    return Figure(figsize=size_in, dpi=dpi)


def sky_plot(predictor: Predictor, observer: GeodeticPoint, passes: Iterable[IntervalRange],
             path: str | os.PathLike[str], *, mask: HorizonMask | None = None,
             step: _dt.timedelta = _dt.timedelta(seconds=10), title: str | None = None,
             size_in: tuple[float, float] = (6.0, 6.0), dpi: int = 100) -> Figure:
    """The passes across the observer's sky: north up, east to the right, the zenith at the centre
    and the horizon at the rim. Each pass is a track from AoS to LoS with its AoS time written at
    its start and a dot every minute; its visible stretches, where it has them, are drawn thick.
    `passes` are `satvane.passes.Pass` records or any intervals; `mask` a `HorizonMask`, drawn as
    the shaded sky it hides."""
    figure = _figure(size_in, dpi)
    axes: Any = figure.add_subplot(projection="polar")  # a PolarAxes
    axes.set_theta_zero_location("N")
    axes.set_theta_direction(-1)
    axes.set_rlim(0, 90)
    axes.set_rticks([30, 60, 90], labels=["60°", "30°", "0°"])
    axes.set_xticks([math.radians(a) for a in range(0, 360, 45)], labels="N NE E SE S SW W NW".split())
    if mask is not None:
        azimuths = [a / 2 for a in range(721)]
        axes.fill_between([math.radians(a) for a in azimuths], [90 - mask.elevation_deg(a) for a in azimuths], 90,
                          color="0.8", gid="horizon-mask", label="horizon mask")
    for number, one in enumerate(passes):
        azimuths, zeniths = _track(predictor, observer, one.start, one.end, step)
        line, = axes.plot(azimuths, zeniths, gid=f"pass-{number}", label=f"{one.start:%m-%d %H:%M}Z")
        colour = line.get_color()
        for stretch in getattr(one, "visible", ()):
            axes.plot(*_track(predictor, observer, stretch.start, stretch.end, step), color=colour, linewidth=4,
                      alpha=0.5)
        minutes = _every(one.start, one.end, _dt.timedelta(minutes=1))
        axes.plot(*_track_at(predictor, observer, minutes), ".", color=colour)
        axes.annotate(f"{one.start:%H:%M}", (azimuths[0], zeniths[0]), color=colour, fontsize=8)
    if title:
        axes.set_title(title)
    if axes.get_legend_handles_labels()[0]:
        axes.legend(loc="lower left", bbox_to_anchor=(-0.12, -0.12), fontsize=7)
    figure.savefig(path)
    return figure


def ground_track_plot(predictor: Predictor, observer: GeodeticPoint, interval: IntervalRange,
                      path: str | os.PathLike[str], *,
                      min_elevation_deg: float = 0.0, step: _dt.timedelta = _dt.timedelta(seconds=30),
                      title: str | None = None, size_in: tuple[float, float] = (10.0, 5.0),
                      dpi: int = 100) -> Figure:
    """The satellite's ground track over the interval on a longitude-latitude map, with the observer
    and its visibility circle: the sub-satellite points from which the satellite, at its mean height
    over the interval, stands at `min_elevation_deg` for the observer."""
    figure = _figure(size_in, dpi)
    axes = figure.add_subplot()
    axes.set_xlim(-180, 180)
    axes.set_ylim(-90, 90)
    axes.set_xticks(range(-180, 181, 30))
    axes.set_yticks(range(-90, 91, 30))
    axes.set_xlabel("longitude (°)")
    axes.set_ylabel("latitude (°)")
    axes.grid(color="0.85")
    points = [point for _, point in predictor.ground_track_iter(interval, step)]
    axes.plot(*_split_at_antimeridian([(p.longitude_deg, p.latitude_deg) for p in points]), gid="ground-track",
              label="ground track")
    height_m = sum(p.altitude for p in points) / max(len(points), 1)
    axes.plot(*_split_at_antimeridian(_visibility_circle(observer, height_m, min_elevation_deg)), color="tab:red",
              gid="visibility-circle", label=f"seen above {min_elevation_deg:g}°")
    axes.plot([observer.longitude_deg], [observer.latitude_deg], "^", color="tab:red", gid="observer", label="observer")
    axes.set_title(title or f"ground track {interval.start:%Y-%m-%d %H:%M} to {interval.end:%Y-%m-%d %H:%M} UTC")
    axes.legend(loc="lower left", fontsize=8)
    figure.savefig(path)
    return figure


def _every(start: _dt.datetime, end: _dt.datetime, step: _dt.timedelta) -> list[_dt.datetime]:
    times = [start]
    while times[-1] + step < end:
        times.append(times[-1] + step)
    return times


Curve = tuple[list[float], list[float]]


def _track(predictor: Predictor, observer: GeodeticPoint, start: _dt.datetime, end: _dt.datetime,
           step: _dt.timedelta) -> Curve:
    return _track_at(predictor, observer, _every(start, end, step) + [end])


def _track_at(predictor: Predictor, observer: GeodeticPoint, times: list[_dt.datetime]) -> Curve:
    """Polar coordinates of the satellite in the sky: azimuth in radians, zenith distance in degrees."""
    seen = [predictor.observe_at(t, observer) for t in times]
    return [math.radians(o.azimuth_deg % 360.0) for o in seen], [90.0 - max(o.elevation_deg, 0.0) for o in seen]


def _visibility_circle(observer: GeodeticPoint, height_m: float,
                       min_elevation_deg: float) -> list[tuple[float, float]]:
    """(longitude, latitude) points at the central angle where a satellite at `height_m` stands at the
    minimum elevation, on a sphere of the Earth's mean radius."""
    e = math.radians(min_elevation_deg)
    angle = math.acos(_EARTH_RADIUS_M * math.cos(e) / (_EARTH_RADIUS_M + height_m)) - e
    lat0, lon0 = math.radians(observer.latitude_deg), math.radians(observer.longitude_deg)
    points = []
    for k in range(361):
        bearing = math.radians(k)
        lat = math.asin(math.sin(lat0) * math.cos(angle) + math.cos(lat0) * math.sin(angle) * math.cos(bearing))
        lon = lon0 + math.atan2(math.sin(bearing) * math.sin(angle) * math.cos(lat0),
                                math.cos(angle) - math.sin(lat0) * math.sin(lat))
        points.append(((math.degrees(lon) + 180.0) % 360.0 - 180.0, math.degrees(lat)))
    return points


def _split_at_antimeridian(points: Sequence[tuple[float, float]]) -> Curve:
    """x and y lists with a NaN gap wherever the longitude jumps across ±180°, so no line crosses the map."""
    xs: list[float] = []
    ys: list[float] = []
    for k, (x, y) in enumerate(points):
        if k and abs(x - points[k - 1][0]) > 180.0:
            xs.append(math.nan)
            ys.append(math.nan)
        xs.append(x)
        ys.append(y)
    return xs, ys
