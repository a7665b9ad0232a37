"""Command line of satvane: `python -m satvane [COMMAND] [OPTIONS]`.

    passes  the satellite's passes over an observer in the coming hours (the default command)
    now     where the satellite is now and how the observer sees it
    aoi     when an area on the ground is within reach of the satellite's payload

Without --tle the commands use the element set bundled with the package (an example set with the
ISS's orbit, epoch 2026-12-06, not an official one: pass a current TLE for real predictions); without
--observer, an observer at the Royal Observatory, Greenwich. Times are UTC, written in ISO 8601.
"""

from __future__ import annotations

import argparse
import datetime as dt
import json
import os
import sys
from collections.abc import Iterator
from importlib import resources
from typing import NamedTuple, NoReturn

from satvane import (Circle, Coverage, GeodeticPoint, IlluminationState, Interval, Polygon, Predictor, Rectangle,
                     Tle)

UTC = dt.timezone.utc
GREENWICH = GeodeticPoint(51.4779, -0.0015, 46.0)
COMPASS_POINTS = "N NNE NE ENE E ESE SE SSE S SSW SW WSW W WNW NW NNW".split()
MAX_HOURS = 366 * 24
MAX_ALTITUDE_M = 100_000.0  # an observer on or near the ground (or an aircraft)


class InputError(Exception):
    """Bad input from the command line: reported as one line, without a traceback."""


# ---------------------------------------------------------------------------------------------
# Input


def read_tle(path: str | None) -> Tle:
    if path is None:
        text = resources.files("satvane").joinpath("data/iss.tle").read_text()
    else:
        try:
            with open(path, encoding="ascii") as f:
                text = f.read()
        except (OSError, UnicodeDecodeError) as error:
            raise InputError(f"cannot read {path}: {getattr(error, 'strerror', None) or error}") from None
    lines = [line.rstrip() for line in text.splitlines() if line.strip()]
    if len(lines) == 2:
        lines.insert(0, "UNNAMED")
    if len(lines) != 3:
        raise InputError(f"{path}: expected a name line and two element lines")
    try:
        tle = Tle(*lines)
        tle.to_elements()  # parse now, so that a bad line is reported with the file's name
        return tle
    except ValueError as error:
        raise InputError(f"{path}: {error}") from None


def utc_time(text: str) -> dt.datetime:
    """An ISO 8601 date or date-time, UTC unless it names an offset."""
    try:
        t = dt.datetime.fromisoformat(text)
    except ValueError:
        raise argparse.ArgumentTypeError(
            f"'{text}' is not an ISO 8601 date-time such as 2026-12-24T18:00Z") from None
    return t.replace(tzinfo=UTC) if t.tzinfo is None else t.astimezone(UTC)


def hours(text: str) -> float:
    value = float(text)
    if not 0 < value <= MAX_HOURS:
        raise argparse.ArgumentTypeError(f"must be more than 0 and at most {MAX_HOURS} hours, not {text}")
    return value


def elevation_deg(text: str) -> float:
    value = float(text)
    if not -90 <= value <= 90:
        raise argparse.ArgumentTypeError(f"must be a number of degrees from -90 to 90, not {text}")
    return value


def off_nadir_deg(text: str) -> float:
    value = float(text)
    if not 0 <= value <= 90:
        raise argparse.ArgumentTypeError(f"must be a number of degrees from 0 to 90, not {text}")
    return value


def polygon_from_geojson(path: str) -> Polygon:
    """The outer ring of a GeoJSON Polygon, alone or as the geometry of a Feature."""
    try:
        with open(path, encoding="utf-8") as f:
            shape = json.load(f)
    except (OSError, UnicodeDecodeError) as error:
        raise InputError(f"cannot read {path}: {getattr(error, 'strerror', None) or error}") from None
    except ValueError as error:
        raise InputError(f"{path}: not JSON: {error}") from None
    if isinstance(shape, dict) and shape.get("type") == "Feature":
        shape = shape.get("geometry")
    if not isinstance(shape, dict) or shape.get("type") != "Polygon":
        raise InputError(f"{path}: expected a GeoJSON Polygon (or a Feature whose geometry is one)")
    rings = shape.get("coordinates")
    if not isinstance(rings, list) or len(rings) != 1 or not isinstance(rings[0], list):
        raise InputError(f"{path}: expected a Polygon with exactly one ring (holes are not supported)")
    try:
        # GeoJSON positions are [longitude, latitude(, altitude)].
        vertices = [(float(position[1]), float(position[0])) for position in rings[0]]
    except (TypeError, ValueError, IndexError, KeyError):
        raise InputError(f"{path}: each position must be [longitude, latitude] in degrees") from None
    return Polygon(vertices)


def is_number(text: str) -> bool:
    try:
        float(text)
    except ValueError:
        return False
    return True


def parse_area(text: str) -> tuple[Circle | Rectangle | Polygon, str]:
    """The area and its description: LAT,LON,RADIUS_DEG (a circle), S,W,N,E (a box running east from
    W to E; -180 to 180 is a band over every longitude) or a GeoJSON file holding a Polygon."""
    parts = text.split(",")
    try:
        if len(parts) in (3, 4):
            for part in parts:
                if not is_number(part):
                    raise InputError(f"'{part}' is not a number of degrees")
        if len(parts) == 3:
            latitude, longitude, radius = map(float, parts)
            circle = f"the circle of {radius:g}° around {latitude:g}°, {longitude:g}°"
            return Circle((latitude, longitude), radius), circle
        if len(parts) == 4:
            south, west, north, east = map(float, parts)
            if east - west == 360:
                return Rectangle.latitude_band(south, north), f"the band from {south:g}° to {north:g}° latitude"
            box = f"the box from {south:g}° to {north:g}° latitude and {west:g}° east to {east:g}° longitude"
            return Rectangle((south, west), (north, east)), box
        if len(parts) > 1:
            raise InputError(f"expected LAT,LON,RADIUS_DEG, S,W,N,E or a GeoJSON file, not '{text}'")
        polygon = polygon_from_geojson(text)
        return polygon, f"the polygon of {len(polygon.vertices)} vertices in {text}"
    except (ValueError, InputError) as error:
        raise InputError(f"--area: {error}") from None


def observer_point(values: list[float] | None) -> tuple[GeodeticPoint, str]:
    if values is None:
        return GREENWICH, "Greenwich"
    latitude_deg, longitude_deg, altitude_m = values
    if not -90 <= latitude_deg <= 90:
        raise InputError(f"--observer: latitude {latitude_deg:g} is outside [-90, 90] degrees")
    if not -360 <= longitude_deg <= 360:
        raise InputError(f"--observer: longitude {longitude_deg:g} is outside [-360, 360] degrees")
    if not abs(altitude_m) <= MAX_ALTITUDE_M:
        raise InputError(f"--observer: altitude {altitude_m:g} m is more than {MAX_ALTITUDE_M:g} m from the ellipsoid")
    return GeodeticPoint(latitude_deg, longitude_deg, altitude_m), "the observer"


# ---------------------------------------------------------------------------------------------
# People's units


def compass(azimuth_deg: float) -> str:
    """A bearing in whole degrees within [0, 360) with its 16-point compass letter: '212° SSW'."""
    degrees = round(azimuth_deg % 360.0) % 360
    return f"{degrees:3d}° {COMPASS_POINTS[int(degrees / 22.5 + 0.5) % 16]:<3}"


def whole_second(t: dt.datetime) -> dt.datetime:
    return (t + dt.timedelta(microseconds=500_000)).replace(microsecond=0)


def iso(t: dt.datetime) -> str:
    return whole_second(t).strftime("%Y-%m-%dT%H:%M:%SZ")


def minutes_seconds(span: dt.timedelta) -> str:
    seconds = round(span.total_seconds())
    return f"{seconds // 60}:{seconds % 60:02d}"


def human_age(seconds: float) -> str:
    days = seconds / 86400.0
    if abs(days) >= 1.0:
        return f"{days:.1f} days"
    return f"{seconds / 3600.0:.1f} hours"


def describe_epoch(predictor: Predictor, now: dt.datetime) -> str:
    age_s = predictor.tle_age_seconds(now)
    return f"{iso(predictor.epoch)} ({human_age(age_s)} {'old' if age_s >= 0 else 'ahead'})"


def describe_observer(observer: GeodeticPoint, name: str) -> str:
    return (f"{name} ({observer.latitude_deg:.4f}° lat {observer.longitude_deg:.4f}° lon,"
            f" {observer.altitude:.0f} m)")


# ---------------------------------------------------------------------------------------------
# passes


class Pass(NamedTuple):
    aos: dt.datetime
    aos_azimuth_deg: float
    peak: dt.datetime
    peak_elevation_deg: float
    peak_azimuth_deg: float
    los: dt.datetime
    los_azimuth_deg: float
    sunlit_at_peak: bool
    cut: bool  # already up at the start or still up at the end of the search


def find_passes(predictor: Predictor, observer: GeodeticPoint, start: dt.datetime, end: dt.datetime,
                min_elevation_deg: float) -> Iterator[Pass]:
    """The passes above `min_elevation_deg` in [start, end), each with its peak.

    A pass in progress at either end is cut there rather than skipped, so that a satellite that
    never sets (a geostationary one) shows as one pass over the whole span instead of an error.
    """
    span = end - start
    transits = predictor.transits_iter(observer, Interval(start, end), min_elevation_deg,
                                       skip_leading_partial=False, clamp_to_interval=True,
                                       max_transit_duration=span + dt.timedelta(minutes=1))
    for transit in transits:
        peak, seen = predictor.max_elevation(observer, transit)
        yield Pass(
            aos=transit.start, aos_azimuth_deg=predictor.observe_at(transit.start, observer).azimuth_deg,
            peak=peak, peak_elevation_deg=seen.elevation_deg, peak_azimuth_deg=seen.azimuth_deg,
            los=transit.end, los_azimuth_deg=predictor.observe_at(transit.end, observer).azimuth_deg,
            sunlit_at_peak=predictor.illumination_state(peak) == IlluminationState.Sunlit,
            cut=transit.start <= start or transit.end >= end)


PASS_HEADER = (f"{'AoS (UTC)':<20}  {'azimuth':<8}  {'peak (UTC)':<20}  {'elev.':>5}  {'azimuth':<8}  "
               f"{'LoS (UTC)':<20}  {'azimuth':<8}  {'duration':>8}  sunlit")


def pass_row(p: Pass) -> str:
    duration = minutes_seconds(whole_second(p.los) - whole_second(p.aos))
    return (f"{iso(p.aos)}  {compass(p.aos_azimuth_deg)}  {iso(p.peak)}  {p.peak_elevation_deg:4.1f}°  "
            f"{compass(p.peak_azimuth_deg)}  {iso(p.los)}  {compass(p.los_azimuth_deg)}  "
            f"{duration:>8}{'*' if p.cut else ' '} {'yes' if p.sunlit_at_peak else 'no'}")


def run_passes(args: argparse.Namespace) -> None:
    tle = read_tle(args.tle)
    observer, observer_name = observer_point(args.observer)
    start = args.start or dt.datetime.now(UTC).replace(microsecond=0)
    try:
        end = start + dt.timedelta(hours=args.hours)
    except OverflowError:
        raise InputError("the search would run past the year 9999") from None
    predictor = Predictor.from_tle(tle)
    print(f"{tle.satellite_name}, element set epoch {describe_epoch(predictor, start)}")
    print(f"passes above {args.min_elevation:g}° seen from {describe_observer(observer, observer_name)}")
    print(f"from {iso(start)} to {iso(end)}")
    print()
    count = 0
    cut = False
    for p in find_passes(predictor, observer, start, end, args.min_elevation):
        if count == 0:
            print(PASS_HEADER)
        print(pass_row(p), flush=True)
        count += 1
        cut |= p.cut
    if count == 0:
        print("no passes")
    if cut:
        print("* cut at the start or end of the search: the satellite is already up or still up there")


# ---------------------------------------------------------------------------------------------
# now


def now_report(tle: Tle, observer: GeodeticPoint, observer_name: str, now: dt.datetime) -> str:
    predictor = Predictor.from_tle(tle)
    age_s = predictor.tle_age_seconds(now)
    under = predictor.sub_point(now)
    position_m = predictor.propagate(now).position
    seen = predictor.observe_at(now, observer)
    sunlit = predictor.illumination_state(now) == IlluminationState.Sunlit
    visibility = "above the horizon" if seen.elevation_deg > 0 else "below the horizon"
    motion = "receding" if seen.range_rate > 0 else "approaching"
    return "\n".join([
        f"{tle.satellite_name} at {now:%Y-%m-%d %H:%M:%S} UTC",
        f"  element set epoch   {predictor.epoch:%Y-%m-%d %H:%M:%S} UTC"
        f" ({human_age(age_s)} {'old' if age_s >= 0 else 'ahead'})",
        f"  sub-satellite point {under.latitude_deg:8.4f}° lat {under.longitude_deg:9.4f}° lon,"
        f" altitude {under.altitude / 1000:.1f} km",
        f"  TEME position       x {position_m.x / 1000:10.3f}  y {position_m.y / 1000:10.3f}"
        f"  z {position_m.z / 1000:10.3f} km",
        f"  in {'sunlight' if sunlit else 'the Earth’s shadow'}",
        f"Seen from {describe_observer(observer, observer_name)}",
        f"  azimuth {seen.azimuth_deg:7.2f}°  elevation {seen.elevation_deg:6.2f}° ({visibility})",
        f"  range {seen.range / 1000:.1f} km, range rate {seen.range_rate / 1000:+.3f} km/s ({motion})",
    ])


def run_now(args: argparse.Namespace) -> None:
    tle = read_tle(args.tle)
    observer, observer_name = observer_point(args.observer)
    print(now_report(tle, observer, observer_name, args.at or dt.datetime.now(UTC)))


# ---------------------------------------------------------------------------------------------
# aoi


def run_aoi(args: argparse.Namespace) -> None:
    tle = read_tle(args.tle)
    area, area_name = parse_area(args.area)
    coverage = Coverage.Full if args.coverage == "full" else Coverage.Any
    start = args.start or dt.datetime.now(UTC).replace(microsecond=0)
    try:
        end = start + dt.timedelta(hours=args.hours)
    except OverflowError:
        raise InputError("the search would run past the year 9999") from None
    predictor = Predictor.from_tle(tle)
    print(f"{tle.satellite_name}, element set epoch {describe_epoch(predictor, start)}")
    rule = "all of" if coverage == Coverage.Full else "any part of"
    reach = f"within reach, off-nadir up to {args.off_nadir:g}°" if args.off_nadir > 0 else "under the ground track"
    print(f"windows with {rule} {area_name} {reach}")
    print(f"from {iso(start)} to {iso(end)}")
    print()
    # Windows in progress at either end are cut there, so an area the satellite never leaves (a
    # wide band) shows as one window over the whole span instead of an error.
    windows = predictor.aoi_iter(area, Interval(start, end), max_off_nadir_deg=args.off_nadir, coverage=coverage,
                                 skip_leading_partial=False, clamp_to_interval=True,
                                 max_window_duration=end - start + dt.timedelta(minutes=1))
    count = 0
    cut = False
    for window in windows:
        if count == 0:
            print(f"{'start (UTC)':<20}  {'end (UTC)':<20}  {'duration':>8}  coverage")
        ends_cut = window.start <= start or window.end >= end
        duration = minutes_seconds(whole_second(window.end) - whole_second(window.start))
        print(f"{iso(window.start)}  {iso(window.end)}  {duration:>8}{'*' if ends_cut else ' '} {args.coverage}",
              flush=True)
        count += 1
        cut |= ends_cut
    if count == 0:
        print("no windows")
    if cut:
        print("* cut at the start or end of the search: the area is already or still within reach there")


# ---------------------------------------------------------------------------------------------
# Parser


class Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:  # one line, not argparse's usage block
        self.exit(2, f"{self.prog}: {message} (see --help)\n")


def parser() -> argparse.ArgumentParser:
    top = Parser(prog="python -m satvane", description=__doc__.split("\n\n")[0],
                 epilog="Without a command it runs 'passes'.")
    common = Parser(add_help=False)
    common.add_argument("--tle", metavar="FILE", help="file with an optional name line and two element lines")
    common.add_argument("--observer", nargs=3, type=float, metavar=("LAT", "LON", "ALT_M"),
                        help="observer latitude and longitude in degrees, altitude in metres")
    commands = top.add_subparsers(title="commands", dest="command", parser_class=Parser)

    passes = commands.add_parser("passes", parents=[common], help="passes over the observer in the coming hours",
                                 description="Passes over the observer: rise (AoS), peak and set (LoS) with compass"
                                 " bearings, duration, and whether the satellite is sunlit at the peak.")
    passes.add_argument("--start", type=utc_time, help="ISO 8601 start, UTC unless it names an offset (default: now)")
    passes.add_argument("--hours", type=hours, default=24.0, help="length of the search in hours (default: 24)")
    passes.add_argument("--min-elevation", type=elevation_deg, default=10.0, metavar="DEG",
                        help="minimum elevation in degrees (default: 10)")
    passes.set_defaults(run=run_passes)

    now = commands.add_parser("now", parents=[common], help="where the satellite is now and how the observer sees it",
                              description="Sub-satellite point, TEME position, sunlight or shadow, and the observer's"
                              " azimuth, elevation, range and range rate at one instant.")
    now.add_argument("--at", type=utc_time, help="ISO 8601 instant, UTC unless it names an offset (default: now)")
    now.set_defaults(run=run_now)

    aoi = commands.add_parser("aoi", parents=[common], help="when an area is within reach of the payload",
                              description="Windows in which an area on the ground is within reach of the payload"
                              " (a cone of half-angle --off-nadir around nadir): start, end, duration and"
                              " coverage rule. An area that starts with a minus sign is written --area=-10,20,5.")
    aoi.add_argument("--area", required=True, metavar="AREA",
                     help="a circle LAT,LON,RADIUS_DEG, a box S,W,N,E (running east from W to E), or a GeoJSON"
                     " file holding a Polygon")
    aoi.add_argument("--off-nadir", type=off_nadir_deg, default=0.0, metavar="DEG",
                     help="largest angle from nadir the payload can be pointed, degrees (default: 0, the ground"
                     " track itself)")
    aoi.add_argument("--coverage", choices=("any", "full"), default="any",
                     help="whether any part of the area or all of it must be within reach (default: any)")
    aoi.add_argument("--start", type=utc_time, help="ISO 8601 start, UTC unless it names an offset (default: now)")
    aoi.add_argument("--hours", type=hours, default=24.0, help="length of the search in hours (default: 24)")
    aoi.set_defaults(run=run_aoi)
    return top


def main(argv: list[str] | None = None) -> int:
    argv = sys.argv[1:] if argv is None else list(argv)
    top = parser()
    if not argv or (argv[0].startswith("-") and argv[0] not in ("-h", "--help")):
        argv.insert(0, "passes")
    args = top.parse_args(argv)
    try:
        args.run(args)
    except InputError as error:
        print(f"{top.prog}: {error}", file=sys.stderr)
        return 2
    except (ValueError, RuntimeError, OverflowError) as error:  # an element set SGP4 cannot use there
        print(f"{top.prog}: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:  # the reader (head, a closed pager) went away: stop quietly
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    return 0
