"""Command line of satvane: `python -m satvane [COMMAND] [OPTIONS]`.

    passes  the satellite's passes over an observer in the coming hours (the default command)
    now     where the satellite is now and how the observer sees it
    screen  every pass of a whole catalogue over many observers, as a CSV or Parquet table

Without --tle the commands use the element set bundled with the package (an example set with the
ISS's orbit, epoch 2026-12-06, not an official one: pass a current TLE for real predictions); without
--observer, an observer at the Royal Observatory, Greenwich. Times are UTC, written in ISO 8601.
"""

from __future__ import annotations

import argparse
import datetime as dt
import os
import sys
from collections.abc import Iterator
from importlib import resources
from typing import NamedTuple, NoReturn

from satvane import GeodeticPoint, IlluminationState, Interval, Predictor, Tle

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
# screen


def read_catalog(path: str):
    from satvane import load_catalog
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
    import csv
    try:
        with open(path, encoding="utf-8-sig", newline="") as f:
            rows = list(csv.reader(f))
    except (OSError, UnicodeDecodeError) as error:
        raise InputError(f"cannot read {path}: {getattr(error, 'strerror', None) or error}") from None
    names, points = [], []
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

    def __init__(self, stream=sys.stderr, width: int = 30):
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


def cut_passes(span: dt.timedelta) -> dict:
    """As in `passes`: a pass in progress at either end is cut there (and flagged), never skipped."""
    return dict(skip_leading_partial=False, clamp_to_interval=True, max_transit_duration=span + dt.timedelta(minutes=1))


def screen_columns(passes, satellite_names: list[str], observer_names: list[str]) -> dict[str, list]:
    """The pass table with names for indices and ISO 8601 times (to the millisecond)."""
    def iso_ms(times) -> list[str]:
        return [f"{t}Z" for t in times.astype("datetime64[ms]")]
    return {
        "satellite": [satellite_names[i] for i in passes.satellite],
        "observer": [observer_names[i] for i in passes.observer],
        "aos": iso_ms(passes.aos), "peak": iso_ms(passes.peak), "los": iso_ms(passes.los),
        **{name: [round(float(v), 4) for v in passes[name]]
           for name in ("peak_elevation_deg", "aos_azimuth_deg", "peak_azimuth_deg", "los_azimuth_deg")},
        "peak_range_m": [round(float(v), 1) for v in passes.peak_range_m],
        "sunlit_at_peak": passes.sunlit_at_peak.tolist(),
        "cut": passes.cut.tolist(),
    }


def write_table(columns: dict[str, list], output: str) -> None:
    if output.endswith(".parquet"):
        try:
            import pyarrow
            import pyarrow.parquet
        except ImportError:
            raise InputError("writing Parquet needs pyarrow: pip install pyarrow") from None
        pyarrow.parquet.write_table(pyarrow.table(columns), output)
        return
    import csv
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
