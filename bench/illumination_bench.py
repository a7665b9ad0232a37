"""Thirty days of ISS sunlit and eclipse windows from Python beside the peers, in one run.

    python bench/illumination_bench.py

satvane `illumination_iter`; Skyfield `find_discrete` over `is_sunlit` (edges refined, 60 s scan);
PyEphem `eclipsed` sampled every 60 s (it has no edge search: an edge is the first sample in the new
state); orbit-predictor `eclipses_since`. pyorbital has no shadow query. Each peer's eclipse entries
and exits are compared with satvane's, and the eclipse totals with each other.

Peers: pip install skyfield skyfield-data ephem orbit-predictor (a missing one is skipped).
Budget: at least 10x faster than the fastest peer. Prints medians; exits with 1 when the budget is missed.
"""

from __future__ import annotations

import datetime as dt
import sys
import warnings

from catalogue import UTC, aware, iss, median_seconds, naive, peer, version
from satvane import IlluminationState, Interval, Predictor

START = dt.datetime(2026, 12, 7, tzinfo=UTC)
END = START + dt.timedelta(days=30)
SAMPLE = dt.timedelta(seconds=60)


def satvane_eclipses(tle):
    windows = Predictor.from_tle(tle).illumination_iter(Interval(START, END))
    return [(w.start, w.end) for w in windows if w.state is IlluminationState.Eclipse]


def windows_from_states(times, sunlit):
    """Eclipses from a sequence of (time, sunlit) states: each starts and ends at a change of state."""
    found, entry = [], None if sunlit[0] else times[0]
    for t, lit in zip(times[1:], sunlit[1:]):
        if entry is None and not lit:
            entry = t
        elif entry is not None and lit:
            found.append((entry, t))
            entry = None
    return found + ([(entry, times[-1])] if entry is not None else [])


class Skyfield:
    def __init__(self):
        import skyfield_data
        from skyfield.api import EarthSatellite, Loader
        from skyfield.searchlib import find_discrete
        load = Loader(skyfield_data.get_skyfield_data_path(), verbose=False)
        self.ts, self.ephemeris = load.timescale(builtin=True), load("de421.bsp")
        self.satellite, self.find_discrete = EarthSatellite, find_discrete

    def eclipses(self, tle):
        satellite = self.satellite(tle.line_1, tle.line_2, tle.satellite_name, self.ts)
        sunlit = lambda t: satellite.at(t).is_sunlit(self.ephemeris)
        sunlit.step_days = SAMPLE / dt.timedelta(days=1)
        t0, t1 = self.ts.from_datetime(START), self.ts.from_datetime(END)
        times, states = self.find_discrete(t0, t1, sunlit)
        first = bool(sunlit(t0))
        return windows_from_states([START, *times.utc_datetime(), END], [first, *states, bool(states[-1])])


def ephem_eclipses(tle):
    import ephem
    satellite = ephem.readtle(tle.satellite_name, tle.line_1, tle.line_2)
    times, sunlit = [], []
    t = START
    while t <= END:
        satellite.compute(naive(t))
        times.append(t)
        sunlit.append(not satellite.eclipsed)
        t += SAMPLE
    return windows_from_states(times, sunlit)


def orbit_predictor_eclipses(tle):
    from orbit_predictor.sources import get_predictor_from_tle_lines
    predictor = get_predictor_from_tle_lines((tle.line_1, tle.line_2))
    return [(aware(a), aware(b)) for a, b in predictor.eclipses_since(naive(START), naive(END))]


def edge_differences(ours, theirs):
    """(largest |difference| in seconds of a matched entry or exit, count of their eclipses with no match
    within 10 minutes): short eclipses near the seasons without any come and go with the shadow model."""
    worst, unmatched = 0.0, 0
    for entry, exit_ in theirs:
        if START < entry and exit_ < END:  # windows cut by the interval have no true edges there
            match = min(ours, key=lambda w: abs((w[0] - entry).total_seconds()))
            if abs((match[0] - entry).total_seconds()) > 600:
                unmatched += 1
                continue
            worst = max(worst, abs((match[0] - entry).total_seconds()), abs((match[1] - exit_).total_seconds()))
    return worst, unmatched


def total_hours(eclipses):
    return sum((b - a).total_seconds() for a, b in eclipses) / 3600


def main():
    warnings.simplefilter("ignore")
    tle = iss()
    ours = satvane_eclipses(tle)
    rows = [("satvane illumination_iter", "", median_seconds(lambda: satvane_eclipses(tle), 21), ours)]
    peers = []
    if peer("skyfield"):
        peers.append(("Skyfield find_discrete(is_sunlit)", "skyfield", Skyfield().eclipses))
    if peer("ephem"):
        peers.append(("PyEphem eclipsed every 60 s", "ephem", ephem_eclipses))
    if peer("orbit_predictor"):
        peers.append(("orbit-predictor eclipses_since", "orbit-predictor", orbit_predictor_eclipses))
    for label, distribution, eclipses in peers:
        rows.append((label, version(distribution), median_seconds(lambda: eclipses(tle), 5, budget_s=60), eclipses(tle)))

    print(f"30 days of ISS illumination windows ({len(ours)} eclipses)")
    print(f"{'library':36} {'version':>9} {'median':>11} {'vs satvane':>10} {'eclipses':>8} {'total':>9}"
          f" {'max |Δ| edge':>12} {'unmatched':>9}")
    for label, ver, seconds, eclipses in rows:
        worst, unmatched = edge_differences(ours, eclipses)
        print(f"{label:36} {ver:>9} {seconds * 1e3:8.2f} ms {seconds / rows[0][2]:9.1f}x {len(eclipses):8d}"
              f" {total_hours(eclipses):7.3f} h {worst:10.2f} s {unmatched:9d}")
    ok = all(seconds >= 10 * rows[0][2] for _, _, seconds, _ in rows[1:])
    print(f"budget: 10x faster than the fastest peer: {'met' if ok else 'MISSED'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
