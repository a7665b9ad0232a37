"""The command line: the passes table against a brute-force elevation scan, compass bearings, bad input."""

import datetime as dt
import json
import re
import subprocess
import sys
from importlib import resources

import pytest

from satvane import Circle, Coverage, GeodeticPoint, IlluminationState, Interval, Polygon, Predictor, Tle
from satvane.cli import compass, cut_passes, main

UTC = dt.timezone.utc
ISS_TEXT = resources.files("satvane").joinpath("data/iss.tle").read_text()
ISS = Predictor.from_tle(Tle(*ISS_TEXT.splitlines()))
ROW = re.compile(r"(\S+Z)  +(\d+)° (\w+) +(\S+Z)  +([\d.]+)°  +(\d+)° (\w+) +(\S+Z)  +(\d+)° (\w+) +(\d+):(\d\d)(\*?) +(yes|no)")


def run(argv, capsys):
    try:
        code = main(argv)
    except SystemExit as exit_:
        code = exit_.code
    out, err = capsys.readouterr()
    return code, out, err


def table(out):
    return [ROW.fullmatch(line).groups() for line in out.splitlines() if line[:4].isdigit()]


def utc(text):
    return dt.datetime.fromisoformat(text)


def test_passes_table_matches_a_brute_force_scan(capsys):
    """Each row is a run of elevations above the minimum in a 5 s scan of point queries; the peak is the
    scan's highest elevation or above it."""
    observer, min_deg = GeodeticPoint(51.4779, -0.0015, 46.0), 10.0
    start = ISS.epoch + dt.timedelta(hours=2)
    code, out, _ = run(["passes", "--start", start.isoformat(), "--hours", "24",
                        "--observer", "51.4779", "-0.0015", "46", "--min-elevation", "10"], capsys)
    assert code == 0
    rows = table(out)

    step = dt.timedelta(seconds=5)
    scan = [(start + k * step, ISS.observe_at(start + k * step, observer).elevation_deg) for k in range(24 * 720)]
    runs, current = [], []
    for t, elevation in scan:
        if elevation >= min_deg:
            current.append((t, elevation))
        elif current:
            runs.append(current)
            current = []
    assert len(rows) == len(runs) >= 4
    for row, above in zip(rows, runs):
        aos, peak, los = utc(row[0]), utc(row[3]), utc(row[7])
        assert above[0][0] - step <= aos <= above[0][0] + dt.timedelta(seconds=1)
        assert above[-1][0] - dt.timedelta(seconds=1) <= los <= above[-1][0] + step
        assert float(row[4]) >= max(e for _, e in above) - 0.05
        assert aos < peak < los and int(row[10]) * 60 + int(row[11]) == (los - aos).total_seconds()
        assert row[13] == ("yes" if ISS.illumination_state(peak) is IlluminationState.Sunlit else "no")
        assert row[12] == ""  # nothing cut at the ends of this span


@pytest.mark.parametrize("azimuth_deg, shown", [
    (0.0, "  0° N  "), (-0.2, "  0° N  "), (22.4, " 22° NNE"), (-90.0, "270° W  "), (180.0, "180° S  "),
    (-179.9, "180° S  "), (-11.0, "349° N  "), (-12.0, "348° NNW"), (135.0, "135° SE "), (-0.6, "359° N  "),
])
def test_compass_bearings(azimuth_deg, shown):
    assert compass(azimuth_deg) == shown


def test_a_satellite_that_never_sets_is_one_cut_pass(tmp_path, capsys):
    line_1 = "1 90004U 26001A   26340.50000000  .00000000  00000-0  00000-0 0  999"
    line_2 = "2 90004   0.0100  80.0000 0002000   0.0000   0.0000  1.00270000    1"
    check = lambda line: line + str(sum(int(c) if c.isdigit() else c == "-" for c in line) % 10)
    path = tmp_path / "geo.tle"
    path.write_text(f"GEO\n{check(line_1)}\n{check(line_2)}\n")
    geo = Predictor.from_tle(Tle("GEO", check(line_1), check(line_2)))
    under = geo.sub_point(geo.epoch)
    code, out, _ = run(["--tle", str(path), "--start", "2026-12-07T00:00:00Z", "--hours", "30",
                        "--observer", "10", str(under.longitude_deg), "0"], capsys)
    assert code == 0
    [row] = table(out)
    assert (row[0], row[7], row[10:13]) == ("2026-12-07T00:00:00Z", "2026-12-08T06:00:00Z", ("1800", "00", "*"))


def test_aoi_rows_are_the_library_windows(tmp_path, capsys):
    """A GeoJSON polygon ([longitude, latitude] positions) and the circle form; a band the ISS never
    leaves is one window cut at both ends rather than an error."""
    start = dt.datetime(2026, 12, 7, tzinfo=UTC)
    path = tmp_path / "area.json"
    ring = [[10, 35], [30, 35], [30, 55], [10, 55], [10, 35]]
    path.write_text(json.dumps({"type": "Feature", "geometry": {"type": "Polygon", "coordinates": [ring]}}))
    for area_arg, area, off_nadir, rule in [(str(path), Polygon([(lat, lon) for lon, lat in ring]), 0, "any"),
                                            ("50,-100,1", Circle((50, -100), 1), 30, "full")]:
        code, out, _ = run(["aoi", "--area", area_arg, "--off-nadir", str(off_nadir), "--coverage", rule,
                            "--start", "2026-12-07T00:00Z"], capsys)
        expected = list(ISS.aoi_iter(area, Interval(start, start + dt.timedelta(days=1)), max_off_nadir_deg=off_nadir,
                                     coverage=Coverage.Full if rule == "full" else Coverage.Any))
        rows = [line.split() for line in out.splitlines() if line[:4].isdigit()]
        assert code == 0 and expected and len(rows) == len(expected)
        for (row_start, row_end, duration, shown_rule), window in zip(rows, expected):
            assert abs(utc(row_start) - window.start) <= dt.timedelta(seconds=0.5)
            assert abs(utc(row_end) - window.end) <= dt.timedelta(seconds=0.5)
            minutes, seconds = duration.split(":")
            assert int(minutes) * 60 + int(seconds) == (utc(row_end) - utc(row_start)).total_seconds()
            assert shown_rule == rule
    code, out, _ = run(["aoi", "--area=-90,-180,60,180", "--start", "2026-12-07T00:00Z", "--hours", "3"], capsys)
    rows = [line.split() for line in out.splitlines()]
    assert code == 0 and ["2026-12-07T00:00:00Z", "2026-12-07T03:00:00Z", "180:00*", "any"] in rows


@pytest.mark.parametrize("argv, message", [
    (["passes", "--start", "tomorrow"], "'tomorrow' is not an ISO 8601 date-time"),
    (["--hours", "0"], "--hours: must be more than 0"),
    (["--min-elevation", "nan"], "--min-elevation: must be a number of degrees from -90 to 90"),
    (["--observer", "91", "0", "0"], "--observer: latitude 91 is outside [-90, 90] degrees"),
    (["now", "--observer", "0", "0", "inf"], "--observer: altitude inf m is more than"),
    (["--tle", "/nonexistent/iss.tle"], "cannot read /nonexistent/iss.tle: No such file or directory"),
    (["--tle", "{tmp}/bad.tle"], "{tmp}/bad.tle: "),
    (["--start", "9999-12-31T12:00Z"], "the search would run past the year 9999"),
    (["orbits"], "invalid choice: 'orbits'"),
    (["aoi"], "the following arguments are required: --area"),
    (["aoi", "--area", "45,20,95"], "--area: Area of interest error: circle radius must lie in (0, 90°), got 95°"),
    (["aoi", "--area", "10,20,x,40"], "--area: 'x' is not a number of degrees"),
    (["aoi", "--area", "1,2"], "--area: expected LAT,LON,RADIUS_DEG, S,W,N,E or a GeoJSON file, not '1,2'"),
    (["aoi", "--area", "{tmp}/bad.tle"], "--area: {tmp}/bad.tle: not JSON: "),
    (["aoi", "--area", "{tmp}/line.json"], "--area: {tmp}/line.json: expected a GeoJSON Polygon"),
    (["aoi", "--area", "{tmp}/holes.json"], "--area: {tmp}/holes.json: expected a Polygon with exactly one ring"),
    (["aoi", "--area", "45,20,5", "--off-nadir", "nan"], "--off-nadir: must be a number of degrees from 0 to 90"),
])
def test_bad_input_is_one_line_and_a_failing_exit(argv, message, tmp_path, capsys):
    (tmp_path / "bad.tle").write_text("ISS\n1 25544U\n2 25544\n")
    (tmp_path / "line.json").write_text('{"type": "LineString", "coordinates": [[0, 0], [1, 1]]}')
    ring = [[0, 0], [10, 0], [10, 10], [0, 0]]
    (tmp_path / "holes.json").write_text(json.dumps({"type": "Polygon", "coordinates": [ring, ring]}))
    argv, message = [a.format(tmp=tmp_path) for a in argv], message.format(tmp=tmp_path)
    code, _, err = run(argv, capsys)
    assert code != 0
    assert err.count("\n") == 1 and err.startswith("python -m satvane") and message in err, err


def test_module_entry_defaults_to_passes_and_keeps_now():
    """`python -m satvane` in a fresh interpreter: no command runs `passes`, `now` prints today's report."""
    entry = [sys.executable, "-m", "satvane"]
    passes = subprocess.run(entry + ["--start", "2026-12-07T00:00Z", "--hours", "2"], capture_output=True, text=True)
    now = subprocess.run(entry + ["now", "--at", "2026-12-07T00:00Z"], capture_output=True, text=True)
    assert passes.returncode == 0 and "passes above 10° seen from Greenwich" in passes.stdout
    assert now.returncode == 0 and now.stdout.startswith("ISS (ZARYA) at 2026-12-07 00:00:00 UTC\n")
    bad = subprocess.run(entry + ["--observer", "x", "0", "0"], capture_output=True, text=True)
    assert bad.returncode == 2 and "Traceback" not in bad.stderr and bad.stderr.count("\n") == 1


# ---- screen ---------------------------------------------------------------------------------

SCREEN_START = "2006-06-25T00:00Z"  # near the epochs of the catalogue


@pytest.fixture
def screen_files(tmp_path):
    from catalog_data import DECAYED, TLES
    (tmp_path / "catalog.tle").write_text("".join(f"{n}\n{a}\n{b}\n" for n, a, b in [*TLES, DECAYED]) + ISS_TEXT)
    (tmp_path / "stations.csv").write_text("name,lat,lon,alt\nGreenwich,51.4779,-0.0015,46\nQuito,-0.22,-78.51,2850\n")
    return tmp_path


@pytest.mark.parametrize("output", ["passes.csv", "passes.parquet"])
def test_screen_writes_the_batch_table(output, screen_files, capsys):
    """The file holds the batch search's rows, with names for indices; no progress bar off a terminal."""
    np = pytest.importorskip("numpy")
    if output.endswith(".parquet"):
        pytest.importorskip("pyarrow")
    from satvane import Interval, batch, load_catalog
    path = screen_files / output
    code, _, err = run(["screen", str(screen_files / "catalog.tle"), "--observers", str(screen_files / "stations.csv"),
                        "--start", SCREEN_START, "--hours", "12", "--min-elevation", "5", "--threads", "1",
                        "-o", str(path)], capsys)
    assert code == 0 and "screening [" not in err
    catalog = load_catalog(str(screen_files / "catalog.tle"))
    start = utc(SCREEN_START)
    expected = batch.transits(catalog.predictors, [GeodeticPoint(51.4779, -0.0015, 46), GeodeticPoint(-0.22, -78.51, 2850)],
                              Interval(start, start + dt.timedelta(hours=12)), 5.0,
                              **cut_passes(dt.timedelta(hours=12)))
    if output.endswith(".parquet"):
        import pyarrow.parquet
        rows = pyarrow.parquet.read_table(path).to_pylist()
    else:
        import csv
        rows = list(csv.DictReader(path.open()))
    assert len(rows) == len(expected.passes) > 0
    for row, s, o, aos in zip(rows, expected.passes.satellite, expected.passes.observer, expected.passes.aos):
        assert (row["satellite"], row["observer"]) == (catalog.names[s], ["Greenwich", "Quito"][o])
        assert np.datetime64(row["aos"].rstrip("Z")) == aos.astype("datetime64[ms]")
    failed = [line for line in err.splitlines() if line.startswith("MINOTAUR R/B: from 2006-06-25T00:00:00Z: ")]
    assert len(failed) == 1  # long decayed: named once, and the rest goes on


@pytest.mark.parametrize("argv, message", [
    (["{tmp}/missing.tle"], "cannot read {tmp}/missing.tle: No such file or directory"),
    (["{tmp}/empty.tle"], "holds no element sets"),
    (["{tmp}/catalog.tle", "--observers", "{tmp}/missing.csv"], "cannot read {tmp}/missing.csv"),
    (["{tmp}/catalog.tle", "--observers", "{tmp}/far.csv"], "far.csv, line 2: latitude 95 is outside [-90, 90] degrees"),
    (["{tmp}/catalog.tle", "--observers", "{tmp}/header.csv"], "header.csv holds no observers"),
    (["{tmp}/catalog.tle", "--min-elevation", "nan"], "--min-elevation: must be a number of degrees from -90 to 90"),
    (["{tmp}/catalog.tle", "--threads", "0"], "--threads: must be at least 1"),
])
def test_screen_bad_input_is_one_line(argv, message, screen_files, capsys):
    (screen_files / "empty.tle").write_text("\n")
    (screen_files / "far.csv").write_text("name,lat,lon,alt\nNowhere,95,0,0\n")
    (screen_files / "header.csv").write_text("name,lat,lon,alt\n")
    argv = [a.format(tmp=screen_files) for a in argv]
    if "--observers" not in argv:
        argv += ["--observers", str(screen_files / "stations.csv")]
    code, out, err = run(["screen", *argv], capsys)
    assert code != 0 and out == ""
    assert err.count("\n") == 1 and message.format(tmp=screen_files) in err, err
