"""The README's screening examples run as written, on a small catalogue in a scratch directory."""

import re
from importlib import resources
from pathlib import Path

import pytest

from catalog_data import TLES

README = Path(__file__).resolve().parents[2] / "README.md"


def examples():
    text = README.read_text()
    return dict(re.findall(r"<!-- readme-example: (\w+) -->\n```python\n(.*?)```", text, re.S))


def test_screening_examples_run(tmp_path, monkeypatch, capsys):
    pytest.importorskip("pandas")
    pytest.importorskip("dask.distributed")
    iss = resources.files("satvane").joinpath("data/iss.tle").read_text()
    near_earth = "".join(f"{n}\n{a}\n{b}\n" for n, a, b in TLES[:2])  # quick to propagate years from epoch
    (tmp_path / "active.tle").write_text(iss + near_earth)
    monkeypatch.chdir(tmp_path)
    found = examples()
    assert set(found) == {"batch", "dask"}
    namespace = {}
    exec(found["batch"], namespace)
    printed = capsys.readouterr().out
    assert printed.startswith(f"<Table of {len(namespace['passes'])} rows: satellite, observer, aos")
    assert len(namespace["frame"]) == len(namespace["passes"]) > 0
    exec(found["dask"], namespace)
