import os
import subprocess
import sys
from pathlib import Path

import pytest

import satvane
from satvane import _satvane

# Runs stubtest after checking that it sees this very module: stubtest reports success when it
# finds no module at all.
STUBTEST = """
import runpy, sys
import satvane._satvane
assert satvane._satvane.__file__ == sys.argv[1], satvane._satvane.__file__
sys.argv = ["stubtest", "satvane._satvane"]
runpy.run_module("mypy.stubtest", run_name="__main__")
"""


def test_stubs_ship_beside_the_module():
    package = Path(satvane.__file__).parent
    assert (package / "_satvane.pyi").is_file() and (package / "py.typed").is_file()
    assert Path(_satvane.__file__).parent == package


def run_in_package_env(tmp_path, *args):
    package_root = os.path.dirname(os.path.dirname(os.path.abspath(satvane.__file__)))
    python_path = os.pathsep.join([package_root, os.environ.get("PYTHONPATH", "")])
    env = {**os.environ, "PYTHONPATH": python_path, "MYPY_CACHE_DIR": str(tmp_path / "mypy-cache")}
    return subprocess.run([sys.executable, *args], capture_output=True, text=True, env=env, cwd=tmp_path, timeout=300)


@pytest.mark.slow
def test_stubs_match_the_runtime_module(tmp_path):
    result = run_in_package_env(tmp_path, "-c", STUBTEST, os.path.abspath(_satvane.__file__))
    assert result.returncode == 0, result.stdout + result.stderr


USES_ALIASES = """
from datetime import datetime, timezone
import satvane
from satvane import Classification, Elements, Tle

def at(point: satvane.LatLonLike) -> None: ...
def during(interval: satvane.IntervalRange) -> None: ...
def inside(area: satvane.Area) -> None: ...

class Window:
    start = datetime(2024, 1, 1, tzinfo=timezone.utc)
    end = datetime(2024, 1, 2, tzinfo=timezone.utc)

at((51.5, 0.0))
during(Window())
elements: Elements = Tle("X", "1", "2").to_elements()
norad: int = elements.norad_id
secret: Classification = Classification.Secret
at("51.5, 0.0")  # E
during(elements)  # E
inside((0.0, 0.0))  # E
"""


@pytest.mark.slow
def test_package_aliases_type_check(tmp_path):
    (tmp_path / "uses_aliases.py").write_text(USES_ALIASES)
    result = run_in_package_env(tmp_path, "-m", "mypy", "--strict", "uses_aliases.py")
    flagged = sorted(int(line.split(":")[1]) for line in result.stdout.splitlines() if ": error:" in line)
    expected = [n for n, line in enumerate(USES_ALIASES.splitlines(), 1) if line.endswith("# E")]
    assert flagged == expected, result.stdout
