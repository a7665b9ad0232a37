"""Cost of getting elements into the library: Tle.to_elements, Elements.from_json and
Elements.from_dict on a typical OMM record, beside the json module doing the same reading.

    python bench/elements_bench.py [--repeat N]

Targets: from_json no slower than json.loads alone; from_dict no slower than json.dumps followed
by json.loads; to_elements under a quarter of from_json's time.
"""

import argparse
import json
import statistics
import timeit

from satvane import Elements, Tle

TLE = Tle(
    "ISS (ZARYA)",
    "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927",
    "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537",
)

# One record as an element-set service sends it: the 17 elements and a few descriptive keys.
RECORD = {
    "CCSDS_OMM_VERS": "2.0",
    "OBJECT_NAME": "ISS (ZARYA)",
    "OBJECT_ID": "1998-067A",
    "CENTER_NAME": "EARTH",
    "REF_FRAME": "TEME",
    "TIME_SYSTEM": "UTC",
    "MEAN_ELEMENT_THEORY": "SGP4",
    "EPOCH": "2024-03-01T04:48:43.396128",
    "MEAN_MOTION": 15.49560532,
    "ECCENTRICITY": 0.0005718,
    "INCLINATION": 51.6413,
    "RA_OF_ASC_NODE": 154.2296,
    "ARG_OF_PERICENTER": 307.9488,
    "MEAN_ANOMALY": 130.6471,
    "EPHEMERIS_TYPE": 0,
    "CLASSIFICATION_TYPE": "U",
    "NORAD_CAT_ID": 25544,
    "ELEMENT_SET_NO": 999,
    "REV_AT_EPOCH": 44147,
    "BSTAR": 0.00028758,
    "MEAN_MOTION_DOT": 0.00015924,
    "MEAN_MOTION_DDOT": 0,
    "SEMIMAJOR_AXIS": 6797.147,
    "APOAPSIS": 422.898,
    "PERIAPSIS": 415.125,
    "OBJECT_TYPE": "PAYLOAD",
    "RCS_SIZE": "LARGE",
    "COUNTRY_CODE": "ISS",
}
TEXT = json.dumps(RECORD)


def median_us(statement, repeat, number):
    times = timeit.repeat(statement, repeat=repeat, number=number, globals=globals())
    return statistics.median(times) / number * 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=15)
    parser.add_argument("--number", type=int, default=20_000)
    args = parser.parse_args()

    cases = {
        "Tle.to_elements": "TLE.to_elements()",
        "Elements.from_json": "Elements.from_json(TEXT)",
        "Elements.from_dict": "Elements.from_dict(RECORD)",
        "json.loads": "json.loads(TEXT)",
        "json.dumps + json.loads": "json.loads(json.dumps(RECORD))",
    }
    us = {name: median_us(stmt, args.repeat, args.number) for name, stmt in cases.items()}

    print(f"OMM record: {len(TEXT)} bytes of JSON; medians of {args.repeat} runs of {args.number} calls")
    for name, value in us.items():
        print(f"  {name:26s} {value:8.3f} us")
    checks = [
        ("from_json / json.loads", us["Elements.from_json"] / us["json.loads"], 1.0),
        ("from_dict / (dumps + loads)", us["Elements.from_dict"] / us["json.dumps + json.loads"], 1.0),
        ("to_elements / from_json", us["Tle.to_elements"] / us["Elements.from_json"], 0.25),
    ]
    for name, ratio, target in checks:
        verdict = "ok" if ratio <= target else "MISSED"
        print(f"  {name:30s} {ratio:6.3f}  (target <= {target:g}: {verdict})")


if __name__ == "__main__":
    main()
