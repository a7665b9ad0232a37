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


@pytest.mark.slow
def test_stubs_match_the_runtime_module(tmp_path):
    module_file = os.path.abspath(_satvane.__file__)
    package_root = os.path.dirname(os.path.dirname(os.path.abspath(satvane.__file__)))
    python_path = os.pathsep.join([package_root, os.environ.get("PYTHONPATH", "")])
    env = {**os.environ, "PYTHONPATH": python_path, "MYPY_CACHE_DIR": str(tmp_path / "mypy-cache")}
    result = subprocess.run(
        [sys.executable, "-c", STUBTEST, module_file],
        capture_output=True, text=True, env=env, cwd=tmp_path, timeout=300,
    )
    assert result.returncode == 0, result.stdout + result.stderr
