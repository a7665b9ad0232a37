"""The command line's output for a fixed element set, observer and start, checked as text against the files
in tests/data/cli (errors included). After an intended change of output, rewrite them with
SATVANE_WRITE_GOLDEN=1 and read the diff."""

import io
import os
import pathlib
import shlex
import shutil
import subprocess
import sys

import pytest

from satvane.cli import main

GOLDEN = pathlib.Path(__file__).parent.parent / "data" / "cli"
START = "--start 2026-12-06T12:00Z"
PARIS = "--observer 48.8566 2.3522 35"
# The bundled ISS elements as one OMM record.
ISS_OMM = ('[{"OBJECT_NAME": "ISS (ZARYA)", "OBJECT_ID": "1998-067A", "EPOCH": "2026-12-06T12:00:00.000000",'
           ' "MEAN_MOTION": 15.50012345, "ECCENTRICITY": 0.0006511, "INCLINATION": 51.6391,'
           ' "RA_OF_ASC_NODE": 214.3862, "ARG_OF_PERICENTER": 94.3527, "MEAN_ANOMALY": 265.8261,'
           ' "EPHEMERIS_TYPE": 0, "CLASSIFICATION_TYPE": "U",'
           ' "NORAD_CAT_ID": 25544, "ELEMENT_SET_NO": 999, "REV_AT_EPOCH": 89010, "BSTAR": 0.00022117,'
           ' "MEAN_MOTION_DOT": 0.00012345, "MEAN_MOTION_DDOT": 0}]')
CASES = {  # name: (arguments, standard input)
    "passes": (f"passes {START} --hours 36", None),
    "passes-csv-tz": (f"passes {START} {PARIS} --format csv --tz Europe/Paris", None),
    "passes-mask": (f"passes {START} --hours 48 --mask 0:5,90:30,180:30,270:5", None),
    "visible": (f"visible {START} {PARIS} --tz Europe/Paris", None),
    "visible-json-nautical": (f"visible {START} --hours 48 --twilight nautical --format json", None),
    "visible-none": (f"visible {START} --hours 6", None),
    "visible-omm-stdin": (f"visible {START} --tle - --format csv --hours 30", ISS_OMM),
    "now-omm-stdin": ("now --at 2026-12-07T00:00Z --tle -", ISS_OMM),
    "error-twilight": ("visible --twilight dusk", None),
    "error-mask-order": ("passes --mask 0:10,180:10,90:5", None),
    "error-mask-elevation": ("visible --mask 0:10,90:95", None),
    "error-observer-text": ("visible --observer north 0 0", None),
    "error-time-zone": ("passes --tz Mars/Olympus", None),
    "error-two-element-sets": ("visible --tle -", ISS_OMM.replace("}]", "}, {}]")),
    "error-not-elements": ("passes --tle -", "these are not orbital elements\n"),
    "error-omm-field": ("now --tle -", '{"OBJECT_NAME": "X", "NORAD_CAT_ID": 1}'),
}


def transcript(argv, stdin, capsys, monkeypatch):
    monkeypatch.setattr("sys.stdin", io.StringIO(stdin or ""))
    try:
        code = main(shlex.split(argv))
    except SystemExit as exit_:
        code = exit_.code
    out, err = capsys.readouterr()
    return f"$ satvane {argv}\n--- exit {code}\n{out}--- stderr\n{err}"


@pytest.mark.parametrize("name", CASES)
def test_output_matches_its_golden_file(name, capsys, monkeypatch):
    text = transcript(*CASES[name], capsys, monkeypatch)
    path = GOLDEN / f"{name}.txt"
    if os.environ.get("SATVANE_WRITE_GOLDEN"):
        path.write_text(text)
    assert text == path.read_text()
    assert ("--- exit 0\n" in text) == (not name.startswith("error-"))


def test_console_script_is_python_m_satvane():
    """The installed `satvane` script prints what `python -m satvane` prints (only its name differs)."""
    script = shutil.which("satvane", path=os.path.dirname(sys.executable))
    if script is None:
        pytest.skip("the package is not installed in this interpreter's environment")
    argv = shlex.split(CASES["passes"][0]) + ["--format", "csv"]
    ran = [subprocess.run(entry + argv, capture_output=True, text=True)
           for entry in ([script], [sys.executable, "-m", "satvane"])]
    assert ran[0].returncode == ran[1].returncode == 0 and ran[0].stdout == ran[1].stdout != ""
    bad = subprocess.run([script, "visible", "--twilight", "dusk"], capture_output=True, text=True)
    assert bad.returncode == 2 and bad.stderr.startswith("satvane visible: argument --twilight")
