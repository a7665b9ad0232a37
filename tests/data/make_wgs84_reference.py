#!/usr/bin/env python3
"""Writes sgp4_wgs84_reference.txt: python-sgp4 states (WGS84, improved mode) for the
satellites and times of SGP4-VER.TLE (plus four times weeks away), the reference of the
propagator's standard mode.

Run from anywhere: python3 tests/data/make_wgs84_reference.py

Format, one record per line:
  sat <norad id>
  <minutes> <x> <y> <z> <vx> <vy> <vz>     km and km/s, shortest round-trip decimals
  err <minutes> <code>                      python-sgp4 error code 1..4 at that time
A decay (code 6) is not an error for us, so its state is written like any other.
"""
import pathlib

from sgp4.api import WGS84, Satrec

HERE = pathlib.Path(__file__).resolve().parent


def listing_times(start, stop, step):
    """The times of the published verification listing: the epoch, then start..stop by
    step, and stop itself when the stepping misses it."""
    times = [0.0]
    t = start
    while t <= stop:
        if not (t == start == 0.0):
            times.append(t)
        t += step
    if t - stop < step - 1e-6:
        times.append(stop)
    # Beyond a week either side, past the resonance integrator steps the propagator stores.
    return times + [-40000.0, -12000.0, 12000.0, 40000.0]


def main():
    lines = (HERE / "SGP4-VER.TLE").read_text().splitlines()
    out = []
    for i, line in enumerate(lines):
        if not line.startswith("1 "):
            continue
        line1, line2 = line[:69], lines[i + 1][:69]
        start, stop, step = (float(x) for x in lines[i + 1][69:].split())
        sat = Satrec.twoline2rv(line1, line2, WGS84)
        out.append(f"sat {sat.satnum}")
        for t in listing_times(start, stop, step):
            error, r, v = sat.sgp4_tsince(t)
            if error in (1, 2, 3, 4):
                out.append(f"err {t!r} {error}")
            else:
                out.append(" ".join(repr(x) for x in (t, *r, *v)))
    (HERE / "sgp4_wgs84_reference.txt").write_text("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
