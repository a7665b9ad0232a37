"""The README runs as written: its tour's Python examples with their outputs (doctest), its command-line
example against the command line's output, and its screening examples on a small catalogue in a scratch
directory."""

import doctest
import os
import pathlib
import re
import shlex
from importlib import resources

import pytest

from catalog_data import TLES
from satvane.cli import main

UNDER_PRELOADED_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")  # see test_plot.py

README = pathlib.Path(__file__).parent.parent.parent / "README.md"


@pytest.mark.skipif(UNDER_PRELOADED_ASAN, reason="the plot example aborts under a preloaded ASan runtime")
def test_python_examples(tmp_path, monkeypatch):
    pytest.importorskip("matplotlib")
    monkeypatch.chdir(tmp_path)  # the plot example writes sky.png
    result = doctest.testfile(str(README), module_relative=False, optionflags=doctest.ELLIPSIS, verbose=False)
    assert result.attempted >= 15 and result.failed == 0
    assert (tmp_path / "sky.png").stat().st_size > 10_000


def test_command_line_examples(capsys):
    blocks = re.findall(r"```console\n\$ satvane ([^\n]*)\n(.*?)```", README.read_text(), re.S)
    assert blocks
    for argv, expected in blocks:
        assert main(shlex.split(argv)) == 0
        assert capsys.readouterr().out == expected


def screening_examples():
    text = README.read_text()
    return dict(re.findall(r"<!-- readme-example: (\w+) -->\n```python\n(.*?)```", text, re.S))


def test_screening_examples_run(tmp_path, monkeypatch, capsys):
    pytest.importorskip("pandas")
    pytest.importorskip("dask.distributed")
    iss = resources.files("satvane").joinpath("data/iss.tle").read_text()
    near_earth = "".join(f"{n}\n{a}\n{b}\n" for n, a, b in TLES[:2])  # quick to propagate years from epoch
    (tmp_path / "active.tle").write_text(iss + near_earth)
    monkeypatch.chdir(tmp_path)
    found = screening_examples()
    assert set(found) == {"batch", "dask"}
    namespace = {}
    exec(found["batch"], namespace)
    printed = capsys.readouterr().out
    assert printed.startswith(f"<Table of {len(namespace['passes'])} rows: satellite, observer, aos")
    assert len(namespace["frame"]) == len(namespace["passes"]) > 0
    exec(found["dask"], namespace)
