"""Command line of satvane: `satvane [COMMAND] [OPTIONS]`, the same as `python -m satvane`.

    passes   the satellite's passes over an observer in the coming hours (the default command)
    visible  the passes the observer can see with the eye: satellite sunlit, sky dark
    now      where the satellite is now and how the observer sees it
    aoi      when an area on the ground is within reach of the satellite's payload
    screen   every pass of a whole catalogue over many observers, as a CSV or Parquet table

Without --tle the commands use the element set bundled with the package (an example set with the
ISS's orbit, epoch 2026-12-06, not an official one: pass a current TLE for real predictions); without
--observer, an observer at the Royal Observatory, Greenwich. Times are UTC, written in ISO 8601.
"""

from __future__ import annotations

import argparse
import csv
import datetime as dt
import importlib
import json
import os
import sys
import zoneinfo
from collections.abc import Collection
from importlib import resources
from typing import TYPE_CHECKING, Any, NamedTuple, NoReturn, TextIO

from satvane import (Circle, Coverage, Elements, GeodeticPoint, IlluminationState, Interval, Polygon, Predictor,
                     Rectangle, Tle)
from satvane.catalog import Catalog, load_catalog
from satvane.horizon import HorizonMask
from satvane.passes import LookPoint, Pass, passes
from satvane.catalog import Catalog, load_catalog
from satvane.sun import twilight_deg

if TYPE_CHECKING:
    import numpy as np

    from satvane.batch import Table

UTC = dt.timezone.utc
GREENWICH = GeodeticPoint(51.4779, -0.0015, 46.0)
COMPASS_POINTS = "N NNE NE ENE E ESE SE SSE S SSW SW WSW W WNW NW NNW".split()
MAX_HOURS = 366 * 24
MAX_ALTITUDE_M = 100_000.0  # an observer on or near the ground (or an aircraft)


class InputError(Exception):
    """Bad input from the command line: reported as one line, without a traceback."""


# ---------------------------------------------------------------------------------------------
# Input


class Satellite(NamedTuple):
    name: str
    predictor: Predictor


def read_text(path: str | None) -> str:
    if path is None:
        return resources.files("satvane").joinpath("data/iss.tle").read_text()
    if path == "-":
        return sys.stdin.read()
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except (OSError, UnicodeDecodeError) as error:
        raise InputError(f"cannot read {path}: {getattr(error, 'strerror', None) or error}") from None


def read_satellite(path: str | None, name: str | None = None, norad: int | None = None) -> Satellite:
    """One element set from a file ('-': standard input): a TLE with or without its name line, one OMM
    record in JSON (an object, or an array holding one), or the satellite picked by `name` or `norad`
    from a catalogue (TLE, OMM JSON array or OMM CSV) read by `load_catalog`."""
    text, where = read_text(path), "standard input" if path == "-" else path
    try:
        if name is None and norad is None and not is_omm_csv(text):
            if text.lstrip().startswith(("{", "[")):
                return omm_satellite(text, where)
            return tle_satellite(text, where)
        return pick_satellite(load_catalog(text.encode()), name, norad)
    except ValueError as error:
        raise InputError(f"{where}: {error}") from None


def is_omm_csv(text: str) -> bool:
    first_line = text.lstrip().split("\n", 1)[0]
    return not first_line.startswith(("{", "[")) and "NORAD_CAT_ID" in first_line


def several_sets(count: int) -> ValueError:
    return ValueError(f"holds {count} element sets: pick one with --name NAME or --norad NUMBER")


def pick_satellite(catalog: Catalog, name: str | None, norad: int | None) -> Satellite:
    """The catalogue's one satellite, or the one with this catalogue number or name (ignoring case)."""
    if norad is not None:
        found, what = [s for s in catalog if s.elements.norad_id == norad], f"with NORAD number {norad}"
    elif name is not None:
        found, what = [s for s in catalog if s.name.casefold() == name.strip().casefold()], f"named '{name}'"
    elif len(catalog) != 1:
        raise several_sets(len(catalog))
    else:
        found, what = catalog.satellites, ""
    if not found:
        raise ValueError(f"no element set {what} among the {len(catalog)} read")
    if len(found) > 1:
        numbers = ", ".join(str(s.elements.norad_id) for s in found)
        raise ValueError(f"{len(found)} element sets {what} (NORAD {numbers}): pick one with --norad NUMBER")
    return Satellite(found[0].name, found[0].predictor)


def tle_satellite(text: str, where: str | None) -> Satellite:
    lines = [line.rstrip() for line in text.splitlines() if line.strip()]
    if len(lines) == 2:
        lines.insert(0, "UNNAMED")
    if len(lines) != 3:
        count = sum(line.startswith("1 ") for line in lines)
        if count > 1:
            raise several_sets(count)
        raise ValueError("expected a name line and two element lines, or one OMM record in JSON")
    tle = Tle(*lines)
    return Satellite(tle.satellite_name, Predictor(tle.to_elements()))  # parse now, naming the file


def omm_satellite(text: str, where: str | None) -> Satellite:
    try:
        records = json.loads(text)
    except json.JSONDecodeError as error:
        raise ValueError(f"not JSON: {error}") from None
    if isinstance(records, list):
        if len(records) != 1:
            raise several_sets(len(records))
        records = records[0]
    elements = Elements.from_dict(records)
    return Satellite(elements.object_name or f"NORAD {elements.norad_id}", Predictor(elements))


def norad_number(text: str) -> int:
    if not text.isdigit() or int(text) == 0:
        raise argparse.ArgumentTypeError(f"must be a NORAD catalogue number (a whole number above 0), not {text}")
    return int(text)


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


def twilight(text: str) -> float:
    try:
        return twilight_deg(text if text in ("civil", "nautical", "astronomical") else float(text))
    except ValueError:
        raise argparse.ArgumentTypeError(
            f"must be civil, nautical, astronomical or degrees from -90 to 90, not {text}") from None


def time_zone(text: str) -> zoneinfo.ZoneInfo:
    try:
        return zoneinfo.ZoneInfo(text)
    except (zoneinfo.ZoneInfoNotFoundError, ValueError):
        raise argparse.ArgumentTypeError(f"unknown time zone '{text}' (use a name such as Europe/Paris)") from None


def horizon_mask(text: str) -> HorizonMask:
    """'AZ:EL,AZ:EL,...' in degrees."""
    try:
        points: Any = [tuple(point.split(":")) for point in text.split(",")]  # the mask reads the numbers
        return HorizonMask(points)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


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


def iso_ms(t: dt.datetime, zone: dt.tzinfo = UTC) -> str:
    """To the millisecond, for machine-readable output: UTC with a Z, or local with its offset."""
    t = t + dt.timedelta(microseconds=500)
    t = t.replace(microsecond=t.microsecond // 1000 * 1000).astimezone(zone)
    return t.strftime("%Y-%m-%dT%H:%M:%S.%fZ")[:-4] + "Z" if zone is UTC else t.isoformat(timespec="milliseconds")


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


class Clock:
    """Writes instants in UTC, with the local time of day beside them when a zone is given."""

    def __init__(self, zone: zoneinfo.ZoneInfo | None):
        self.zone = zone

    def cell(self, t: dt.datetime) -> str:
        if self.zone is None:
            return iso(t)
        return f"{iso(t)} {whole_second(t).astimezone(self.zone):%H:%M:%S}"

    def heading(self, what: str) -> str:
        return f"{what} (UTC)" if self.zone is None else f"{what} (UTC, local)"


def render(header: list[str], rows: list[list[str]], right: Collection[int] = ()) -> list[str]:
    """Columns two spaces apart, each as wide as its widest cell; the columns in `right` right-aligned."""
    widths = [max(len(cell) for cell in column) for column in zip(header, *rows)]
    return ["  ".join((cell.rjust if k in right else cell.ljust)(width) for k, (cell, width)
                      in enumerate(zip(line, widths))).rstrip() for line in [header, *rows]]


# ---------------------------------------------------------------------------------------------
# passes and visible


class Search(NamedTuple):
    satellite: Satellite
    observer: GeodeticPoint
    observer_name: str
    start: dt.datetime
    end: dt.datetime
    horizon: float | HorizonMask

    def cut(self, p: Pass) -> bool:
        """Whether a pass is cut at an end of the search: the satellite already up or still up there."""
        return p.start <= self.start or p.end >= self.end


def prepare(args: argparse.Namespace) -> Search:
    satellite = read_satellite(args.tle, args.name, args.norad)
    observer, observer_name = observer_point(args.observer)
    start = args.start or dt.datetime.now(UTC).replace(microsecond=0)
    try:
        end = start + dt.timedelta(hours=args.hours)
    except OverflowError:
        raise InputError("the search would run past the year 9999") from None
    return Search(satellite, observer, observer_name, start, end, args.mask or args.min_elevation)


def cut_passes(span: dt.timedelta) -> dict[str, Any]:
    """The search options of `passes`, `visible` and `screen`: a pass in progress at either end of a
    search `span` long is cut there (and flagged), never skipped."""
    return dict(skip_leading_partial=False, clamp_to_interval=True, max_transit_duration=span + dt.timedelta(minutes=1))


def find(search: Search, args: argparse.Namespace) -> list[Pass]:
    """The passes in [start, end). A pass in progress at either end is cut there rather than
    skipped, so that a satellite that never sets (a geostationary one) shows as one pass over the
    whole span instead of an error."""
    found = passes(search.satellite.predictor, search.observer, Interval(search.start, search.end), search.horizon,
                   twilight=getattr(args, "twilight", -6.0), **cut_passes(search.end - search.start))
    return [p for p in found if p.visible] if args.command == "visible" else found


def print_heading(search: Search, what: str) -> None:
    predictor = search.satellite.predictor
    above = (f"above the mask {', '.join(f'{a:g}:{e:g}' for a, e in search.horizon.points)}"
             if isinstance(search.horizon, HorizonMask) else f"above {search.horizon:g}°")
    print(f"{search.satellite.name}, element set epoch {describe_epoch(predictor, search.start)}")
    print(f"{what} {above} seen from {describe_observer(search.observer, search.observer_name)}")
    print(f"from {iso(search.start)} to {iso(search.end)}")
    print()


def pass_table(search: Search, found: list[Pass], clock: Clock) -> list[str]:
    """AoS, peak and LoS with bearings; the duration with `*` after it when cut; sunlit at the peak."""
    predictor = search.satellite.predictor
    header = [clock.heading("AoS"), "azimuth", clock.heading("peak"), "elev.", "azimuth", clock.heading("LoS"),
              "azimuth", "duration  sunlit"]
    rows = []
    for p in found:
        duration = minutes_seconds(whole_second(p.los.time) - whole_second(p.aos.time))
        sunlit = predictor.illumination_state(p.peak.time) is IlluminationState.Sunlit
        rows.append([clock.cell(p.aos.time), compass(p.aos.azimuth_deg), clock.cell(p.peak.time),
                     f"{p.peak_elevation_deg:4.1f}°", compass(p.peak.azimuth_deg), clock.cell(p.los.time),
                     compass(p.los.azimuth_deg),
                     f"{duration:>8}{'*' if search.cut(p) else ' '} {'yes' if sunlit else 'no'}"])
    return render(header, rows, right={3})


def visible_table(search: Search, found: list[Pass], clock: Clock) -> list[str]:
    """One row per visible stretch: where the satellite appears, its highest point, where it fades."""
    predictor, observer = search.satellite.predictor, search.observer
    header = [clock.heading("appears"), "azimuth", "elev.", clock.heading("highest"), "elev.", "azimuth",
              clock.heading("vanishes"), "azimuth", "elev.", "visible"]
    rows = []
    for stretch in (s for p in found for s in p.visible):
        first, last = predictor.observe_at(stretch.start, observer), predictor.observe_at(stretch.end, observer)
        top_time, top = predictor.max_elevation(observer, stretch)
        rows.append([clock.cell(stretch.start), compass(first.azimuth_deg), f"{first.elevation_deg:4.1f}°",
                     clock.cell(top_time), f"{top.elevation_deg:4.1f}°", compass(top.azimuth_deg),
                     clock.cell(stretch.end), compass(last.azimuth_deg), f"{last.elevation_deg:4.1f}°",
                     minutes_seconds(whole_second(stretch.end) - whole_second(stretch.start))])
    return render(header, rows, right={2, 4, 8, 9})


def record_fields(p: Pass, search: Search, zone: zoneinfo.ZoneInfo | None) -> dict[str, Any]:
    """A pass as JSON-ready fields: times in UTC to the millisecond (and local, with a zone), angles to
    0.001°, ranges to the metre, spans in seconds to the millisecond."""
    fields: dict[str, Any] = {}
    for key, value in p.as_dict().items():
        if isinstance(value, dt.datetime) or value is None:  # None: a pass without a visible stretch
            fields[key] = value and iso_ms(value)
            if zone is not None:
                fields[f"{key}_local"] = value and iso_ms(value, zone)
        elif isinstance(value, dt.timedelta):
            fields[f"{key}_s"] = round(value.total_seconds(), 3)
        elif key.endswith("_m"):
            fields[key] = round(value)
        elif isinstance(value, float):
            fields[key] = round(value, 3)
        else:
            fields[key] = value
    fields["cut"] = search.cut(p)
    return fields


def run_search(args: argparse.Namespace) -> None:
    search = prepare(args)
    found = find(search, args)
    if args.plot:
        from satvane.plot import sky_plot

        try:
            sky_plot(search.satellite.predictor, search.observer, found, args.plot,
                     mask=search.horizon if isinstance(search.horizon, HorizonMask) else None,
                     title=f"{search.satellite.name} from {search.observer_name}")
        except (ImportError, OSError) as error:
            raise InputError(f"--plot: {getattr(error, 'strerror', None) or error}") from None
    if args.format == "table":
        what = "visible passes" if args.command == "visible" else "passes"
        print_heading(search, what)
        clock = Clock(args.tz)
        lines = (visible_table if args.command == "visible" else pass_table)(search, found, clock)
        print("\n".join(lines) if found else f"no {what}")
        if any(search.cut(p) for p in found) and args.command == "passes":
            print("* cut at the start or end of the search: the satellite is already up or still up there")
        return
    rows = [record_fields(p, search, args.tz) for p in found]
    if args.format == "json":
        json.dump({"satellite": search.satellite.name,
                   "observer": {"latitude_deg": search.observer.latitude_deg,
                                "longitude_deg": search.observer.longitude_deg,
                                "altitude_m": search.observer.altitude},
                   "start": iso_ms(search.start), "end": iso_ms(search.end), "passes": rows}, sys.stdout, indent=1)
        print()
    else:
        columns = list(rows[0] if rows else record_fields(placeholder_pass(), search, args.tz))
        writer = csv.DictWriter(sys.stdout, columns, lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)


def placeholder_pass() -> Pass:
    """A pass that names the columns of a CSV file without passes."""
    point = LookPoint(dt.datetime(2000, 1, 1, tzinfo=UTC), 0.0, 0.0, 0.0)
    return Pass(point, point, point, dt.timedelta(), ())


# ---------------------------------------------------------------------------------------------
# now


def now_report(satellite: Satellite, observer: GeodeticPoint, observer_name: str, now: dt.datetime) -> str:
    name, predictor = satellite
    age_s = predictor.tle_age_seconds(now)
    under = predictor.sub_point(now)
    position_m = predictor.propagate(now).position
    seen = predictor.observe_at(now, observer)
    sunlit = predictor.illumination_state(now) == IlluminationState.Sunlit
    visibility = "above the horizon" if seen.elevation_deg > 0 else "below the horizon"
    motion = "receding" if seen.range_rate > 0 else "approaching"
    return "\n".join([
        f"{name} at {now:%Y-%m-%d %H:%M:%S} UTC",
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
    satellite = read_satellite(args.tle, args.name, args.norad)
    observer, observer_name = observer_point(args.observer)
    print(now_report(satellite, observer, observer_name, args.at or dt.datetime.now(UTC)))


# ---------------------------------------------------------------------------------------------
# aoi


def run_aoi(args: argparse.Namespace) -> None:
    satellite = read_satellite(args.tle, args.name, args.norad)
    area, area_name = parse_area(args.area)
    coverage = Coverage.Full if args.coverage == "full" else Coverage.Any
    start = args.start or dt.datetime.now(UTC).replace(microsecond=0)
    try:
        end = start + dt.timedelta(hours=args.hours)
    except OverflowError:
        raise InputError("the search would run past the year 9999") from None
    predictor = satellite.predictor
    print(f"{satellite.name}, element set epoch {describe_epoch(predictor, start)}")
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
# screen


def read_catalog(path: str) -> Catalog:
    try:
        catalog = load_catalog(os.fspath(path))
    except OSError as error:
        raise InputError(f"cannot read {path}: {error.strerror or error}") from None
    except ValueError as error:
        raise InputError(str(error)) from None
    if catalog.refused:
        first = catalog.refused[0]
        print(f"{path}: {catalog.refused_count} records refused, the first (record {first.record},"
              f" line {first.line}): {first.error}", file=sys.stderr)
    return catalog


def read_observers(path: str) -> tuple[list[str], list[GeodeticPoint]]:
    """Observers from CSV rows name,latitude_deg,longitude_deg,altitude_m (a header row may come first)."""
    try:
        with open(path, encoding="utf-8-sig", newline="") as f:
            rows = list(csv.reader(f))
    except (OSError, UnicodeDecodeError) as error:
        raise InputError(f"cannot read {path}: {getattr(error, 'strerror', None) or error}") from None
    names: list[str] = []
    points: list[GeodeticPoint] = []
    for line, row in enumerate(rows, 1):
        if not row or not "".join(row).strip():
            continue
        if len(row) != 4:
            raise InputError(f"{path}, line {line}: expected name,latitude,longitude,altitude, not {len(row)} fields")
        try:
            latitude_deg, longitude_deg, altitude_m = (float(v) for v in row[1:])
        except ValueError:
            if line == 1 and not points:
                continue  # the header row
            raise InputError(f"{path}, line {line}: latitude, longitude and altitude must be numbers") from None
        try:
            point, _ = observer_point([latitude_deg, longitude_deg, altitude_m])
        except InputError as error:
            raise InputError(f"{path}, line {line}: {str(error).removeprefix('--observer: ')}") from None
        names.append(row[0].strip())
        points.append(point)
    if not points:
        raise InputError(f"{path} holds no observers")
    return names, points


def threads(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, not {text}")
    return value


class ProgressBar:
    """A one-line bar on the terminal's standard error; nothing when it is not a terminal."""

    def __init__(self, stream: TextIO = sys.stderr, width: int = 30):
        self.stream = stream if stream.isatty() else None
        self.width = width

    def __call__(self, done: int, total: int) -> None:
        if self.stream is None:
            return
        filled = self.width * done // max(total, 1)
        self.stream.write(f"\rscreening [{'#' * filled}{'.' * (self.width - filled)}] {done}/{total} satellites")
        self.stream.flush()

    def close(self) -> None:
        if self.stream is not None:
            self.stream.write("\n")


def screen_columns(passes: Table, satellite_names: list[str], observer_names: list[str]) -> dict[str, list[Any]]:
    """The pass table with names for indices and ISO 8601 times (to the millisecond)."""
    def iso_ms_column(times: np.ndarray) -> list[str]:
        return [f"{t}Z" for t in times.astype("datetime64[ms]")]
    return {
        "satellite": [satellite_names[i] for i in passes.satellite],
        "observer": [observer_names[i] for i in passes.observer],
        "aos": iso_ms_column(passes.aos), "peak": iso_ms_column(passes.peak), "los": iso_ms_column(passes.los),
        **{name: [round(float(v), 4) for v in passes[name]]
           for name in ("peak_elevation_deg", "aos_azimuth_deg", "peak_azimuth_deg", "los_azimuth_deg")},
        "peak_range_m": [round(float(v), 1) for v in passes.peak_range_m],
        "sunlit_at_peak": passes.sunlit_at_peak.tolist(),
        "cut": passes.cut.tolist(),
    }


def write_table(columns: dict[str, list[Any]], output: str) -> None:
    if output.endswith(".parquet"):
        try:  # by name: pyarrow ships no type information
            pyarrow = importlib.import_module("pyarrow")
            parquet = importlib.import_module("pyarrow.parquet")
        except ImportError:
            raise InputError("writing Parquet needs pyarrow: pip install pyarrow") from None
        parquet.write_table(pyarrow.table(columns), output)
        return
    try:
        f = sys.stdout if output == "-" else open(output, "w", encoding="utf-8", newline="")
    except OSError as error:
        raise InputError(f"cannot write {output}: {error.strerror or error}") from None
    try:
        writer = csv.writer(f)
        writer.writerow(columns)
        writer.writerows(zip(*columns.values()))
    finally:
        if f is not sys.stdout:
            f.close()


def run_screen(args: argparse.Namespace) -> None:
    from satvane import batch
    catalog = read_catalog(args.catalog)
    observer_names, observers = read_observers(args.observers)
    start = args.start or dt.datetime.now(UTC).replace(microsecond=0)
    try:
        end = start + dt.timedelta(hours=args.hours)
    except OverflowError:
        raise InputError("the search would run past the year 9999") from None
    bar = ProgressBar()
    try:
        found = batch.transits(catalog.predictors, observers, Interval(start, end), args.min_elevation,
                               threads=args.threads, progress=bar, **cut_passes(end - start))
    finally:
        bar.close()
    write_table(screen_columns(found.passes, catalog.names, observer_names), args.output)
    errors = found.errors
    for s, o, t, text in zip(errors.satellite, errors.observer, errors.time, errors.text):
        who = catalog.names[s] + ("" if o < 0 else f" over {observer_names[o]}")
        print(f"{who}: from {str(t.astype('datetime64[s]'))}Z: {text}", file=sys.stderr)


# ---------------------------------------------------------------------------------------------
# Parser


class Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:  # one line, not argparse's usage block
        self.exit(2, f"{self.prog}: {message} (see --help)\n")


PROG = "python -m satvane"


def parser(prog: str = PROG) -> argparse.ArgumentParser:
    top = Parser(prog=prog, description=__doc__.split("\n\n")[0], epilog="Without a command it runs 'passes'.")
    common = Parser(add_help=False)
    common.add_argument("--tle", "--elements", metavar="FILE", dest="tle",
                        help="element set: a TLE (name line optional) or one OMM record in JSON, or a catalogue of"
                        " them (TLE, OMM JSON or OMM CSV) with --name or --norad; '-' reads standard input (default:"
                        " the bundled example ISS set)")
    pick = common.add_mutually_exclusive_group()
    pick.add_argument("--name", help="the satellite of the catalogue with this name (any case)")
    pick.add_argument("--norad", type=norad_number, metavar="NUMBER",
                      help="the satellite of the catalogue with this NORAD catalogue number")
    common.add_argument("--observer", nargs=3, type=float, metavar=("LAT", "LON", "ALT_M"),
                        help="observer latitude and longitude in degrees, altitude in metres")
    searching = Parser(add_help=False)
    searching.add_argument("--start", type=utc_time,
                           help="ISO 8601 start, UTC unless it names an offset (default: now)")
    searching.add_argument("--min-elevation", type=elevation_deg, default=10.0, metavar="DEG",
                           help="minimum elevation in degrees (default: 10)")
    searching.add_argument("--mask", type=horizon_mask, metavar="AZ:EL,...",
                           help="horizon mask in place of the minimum: azimuth:elevation points in degrees, azimuths"
                           " rising from 0 to below 360, interpolated linearly and wrapping at north")
    searching.add_argument("--format", choices=("table", "csv", "json"), default="table",
                           help="table for people (default), csv or json for programs")
    searching.add_argument("--tz", type=time_zone, metavar="ZONE",
                           help="also show local times in this zone, e.g. Europe/Paris")
    searching.add_argument("--plot", metavar="FILE",
                           help="write a sky plot of the passes (PNG or SVG; needs matplotlib)")
    commands = top.add_subparsers(title="commands", dest="command", parser_class=Parser)

    passes_ = commands.add_parser("passes", parents=[common, searching],
                                  help="passes over the observer in the coming hours",
                                  description="Passes over the observer: rise (AoS), peak and set (LoS) with compass"
                                  " bearings, duration, and whether the satellite is sunlit at the peak.")
    passes_.add_argument("--hours", type=hours, default=24.0, help="length of the search in hours (default: 24)")
    passes_.set_defaults(run=run_search)

    visible = commands.add_parser("visible", parents=[common, searching],
                                  help="passes the observer can see: satellite sunlit, sky dark",
                                  description="Visible passes: the stretches of each pass in which the satellite is"
                                  " above the minimum, in sunlight, and the Sun is below the twilight threshold at the"
                                  " observer. The table shows where the satellite appears, its highest point and where"
                                  " it vanishes.")
    visible.add_argument("--hours", type=hours, default=72.0, help="length of the search in hours (default: 72)")
    visible.add_argument("--twilight", type=twilight, default=-6.0, metavar="NAME|DEG",
                         help="the Sun's elevation below which the sky is dark: civil (-6°, default),"
                         " nautical (-12°),"
                         " astronomical (-18°) or degrees")
    visible.set_defaults(run=run_search)

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

    screen = commands.add_parser("screen", help="every pass of a catalogue over many observers, as a table",
                                 description="Every pass of every satellite of CATALOG (TLE, OMM JSON or OMM CSV)"
                                 " over every observer: one row per pass with AoS, peak and LoS, azimuths, peak"
                                 " elevation and range, sunlight at the peak, and whether the pass was cut by the"
                                 " search's ends. Satellites that fail or decay are named on standard error.")
    screen.add_argument("catalog", metavar="CATALOG", help="catalogue file")
    screen.add_argument("--observers", required=True, metavar="FILE",
                        help="CSV of name,latitude,longitude,altitude (degrees, metres); a header row is allowed")
    screen.add_argument("--start", type=utc_time, help="ISO 8601 start, UTC unless it names an offset (default: now)")
    screen.add_argument("--hours", type=hours, default=24.0, help="length of the search in hours (default: 24)")
    screen.add_argument("--min-elevation", type=elevation_deg, default=10.0, metavar="DEG",
                        help="minimum elevation in degrees (default: 10)")
    screen.add_argument("--threads", type=threads, default=None, help="worker threads (default: every core)")
    screen.add_argument("-o", "--output", default="-", metavar="FILE",
                        help="CSV file, or Parquet when it ends in .parquet (needs pyarrow); default: standard output")
    screen.set_defaults(run=run_screen)
    return top


def main(argv: list[str] | None = None, prog: str = PROG) -> int:
    argv = sys.argv[1:] if argv is None else list(argv)
    top = parser(prog)
    if not argv or (argv[0].startswith("-") and argv[0] not in ("-h", "--help")):
        argv.insert(0, "passes")
    args = top.parse_args(argv)
    try:
        args.run(args)
    except InputError as error:
        print(f"{top.prog}: {error}", file=sys.stderr)
        return 2
    except ImportError as error:  # an optional package the command needs (NumPy for screen)
        print(f"{top.prog}: {error}", file=sys.stderr)
        return 1
    except (ValueError, RuntimeError, OverflowError) as error:  # an element set SGP4 cannot use there
        print(f"{top.prog}: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:  # the reader (head, a closed pager) went away: stop quietly
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    return 0


def console() -> int:
    """The `satvane` console script."""
    return main(prog="satvane")
