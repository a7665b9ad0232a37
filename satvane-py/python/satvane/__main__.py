"""Main job: show where a satellite is now and how a ground observer sees it.

    python -m satvane [--tle FILE] [--observer LAT LON ALT_M] [--at ISO_UTC]

Without arguments it uses the element set bundled with the package (an example set
with the ISS's orbit, epoch 2026-12-06, not an official one: pass a current TLE with
--tle for real positions) and an observer at the Royal Observatory, Greenwich.
"""

from __future__ import annotations

import argparse
import datetime as dt
from importlib import resources

from satvane import GeodeticPoint, IlluminationState, Predictor, Tle

GREENWICH = GeodeticPoint(51.4779, -0.0015, 46.0)


def read_tle(path: str | None) -> Tle:
    if path is None:
        text = resources.files("satvane").joinpath("data/iss.tle").read_text()
    else:
        with open(path, encoding="ascii") as f:
            text = f.read()
    lines = [line.rstrip() for line in text.splitlines() if line.strip()]
    if len(lines) == 2:
        lines.insert(0, "UNNAMED")
    if len(lines) != 3:
        raise SystemExit(f"{path}: expected a name line and two element lines")
    return Tle(*lines)


def utc_time(text: str) -> dt.datetime:
    t = dt.datetime.fromisoformat(text)
    if t.tzinfo is None:
        return t.replace(tzinfo=dt.timezone.utc)
    return t.astimezone(dt.timezone.utc)


def human_age(seconds: float) -> str:
    days = seconds / 86400.0
    if abs(days) >= 1.0:
        return f"{days:.1f} days"
    return f"{seconds / 3600.0:.1f} hours"


def report(tle: Tle, observer: GeodeticPoint, observer_name: str, now: dt.datetime) -> str:
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
        f"Seen from {observer_name} ({observer.latitude_deg:.4f}° lat {observer.longitude_deg:.4f}° lon,"
        f" {observer.altitude:.0f} m)",
        f"  azimuth {seen.azimuth_deg:7.2f}°  elevation {seen.elevation_deg:6.2f}° ({visibility})",
        f"  range {seen.range / 1000:.1f} km, range rate {seen.range_rate / 1000:+.3f} km/s ({motion})",
    ])


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(prog="python -m satvane", description=__doc__.splitlines()[0])
    parser.add_argument("--tle", help="file with an optional name line and two element lines")
    parser.add_argument("--observer", nargs=3, type=float, metavar=("LAT", "LON", "ALT_M"),
                        help="observer latitude and longitude in degrees, altitude in metres")
    parser.add_argument("--at", type=utc_time, help="ISO date-time (UTC unless it names a zone)")
    args = parser.parse_args(argv)
    observer, observer_name = (GeodeticPoint(*args.observer), "the observer") if args.observer else (GREENWICH, "Greenwich")
    now = args.at or dt.datetime.now(dt.timezone.utc)
    try:
        print(report(read_tle(args.tle), observer, observer_name, now))
    except (ValueError, RuntimeError) as error:  # a malformed element set, or one SGP4 cannot use now
        raise SystemExit(f"satvane: {error}") from None


if __name__ == "__main__":
    main()
