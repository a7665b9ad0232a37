"""Plots: image files of the expected size holding the expected tracks (counted by their SVG ids, not pixels),
and a clear message without matplotlib."""

import datetime as dt
import os
import struct
import sys

import pytest

from satvane import GeodeticPoint, Interval, Predictor
from satvane.cli import main
from satvane.horizon import HorizonMask
from satvane.passes import visible_passes
from satvane.plot import ground_track_plot, sky_plot
from test_reference_searches import ISS

pytest.importorskip("matplotlib")
# matplotlib's font module throws C++ exceptions, which the AddressSanitizer runtime preloaded into an
# uninstrumented interpreter cannot intercept: the process aborts. The plain run covers these tests.
UNDER_PRELOADED_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")
pytestmark = pytest.mark.skipif(UNDER_PRELOADED_ASAN, reason="matplotlib aborts under a preloaded ASan runtime")
PREDICTOR = Predictor.from_tle(ISS)
OBSERVER = GeodeticPoint(51.4779, -0.0015, 46.0)
DAYS = Interval(PREDICTOR.epoch, PREDICTOR.epoch + dt.timedelta(days=3))


def png_size(path):
    header = path.read_bytes()[:24]
    assert header[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", header[16:24])


@pytest.mark.parametrize("mask", [None, HorizonMask([(0, 5), (90, 30), (180, 10), (270, 5)])])
def test_sky_plot_draws_one_track_per_pass(mask, tmp_path):
    found = visible_passes(PREDICTOR, OBSERVER, DAYS, mask or 10.0)
    assert len(found) >= 3
    sky_plot(PREDICTOR, OBSERVER, found, tmp_path / "sky.svg", mask=mask)
    svg = (tmp_path / "sky.svg").read_text()
    assert [svg.count(f'id="pass-{k}"') for k in range(len(found) + 1)] == [1] * len(found) + [0]
    assert svg.count('id="horizon-mask"') == (mask is not None)
    sky_plot(PREDICTOR, OBSERVER, found, tmp_path / "sky.png", mask=mask, size_in=(5, 4), dpi=80)
    assert png_size(tmp_path / "sky.png") == (400, 320)


def test_ground_track_plot_with_observer_and_visibility_circle(tmp_path):
    hours = Interval(PREDICTOR.epoch, PREDICTOR.epoch + dt.timedelta(hours=3))
    ground_track_plot(PREDICTOR, OBSERVER, hours, tmp_path / "track.png", min_elevation_deg=10)
    assert png_size(tmp_path / "track.png") == (1000, 500)
    ground_track_plot(PREDICTOR, OBSERVER, hours, tmp_path / "track.svg")
    svg = (tmp_path / "track.svg").read_text()
    assert all(svg.count(f'id="{gid}"') == 1 for gid in ("ground-track", "visibility-circle", "observer"))


def test_command_line_plot_and_missing_matplotlib(tmp_path, capsys, monkeypatch):
    argv = ["visible", "--start", "2026-12-06T12:00Z", "--plot", str(tmp_path / "sky.svg")]
    assert main(argv) == 0
    rows = [line for line in capsys.readouterr().out.splitlines() if line[:4].isdigit()]
    assert (tmp_path / "sky.svg").read_text().count('id="pass-') == len(rows) > 0

    monkeypatch.setitem(sys.modules, "matplotlib.figure", None)  # as if matplotlib were not installed
    with pytest.raises(ImportError, match=r"^satvane's plots need matplotlib: pip install 'satvane\[plot\]'"):
        sky_plot(PREDICTOR, OBSERVER, [], tmp_path / "none.png")
    assert main(argv[:-1] + [str(tmp_path / "again.svg")]) == 2
    assert capsys.readouterr().err == ("python -m satvane: --plot: satvane's plots need matplotlib:"
                                       " pip install 'satvane[plot]' (or pip install matplotlib)\n")
    assert not (tmp_path / "again.svg").exists()
