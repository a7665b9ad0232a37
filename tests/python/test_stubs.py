import os
import subprocess
import sys
from pathlib import Path

import pytest

import satvane
from satvane import _satvane


def test_stubs_ship_beside_the_module():
    package = Path(satvane.__file__).parent
    assert (package / "_satvane.pyi").is_file() and (package / "py.typed").is_file()
    assert Path(_satvane.__file__).parent == package


@pytest.mark.slow
def test_stubs_match_the_runtime_module(tmp_path):
    # The package's own location first: stubtest reports success when it finds nothing at all.
    package_root = str(Path(satvane.__file__).parent.parent)
    python_path = os.pathsep.join([package_root, os.environ.get("PYTHONPATH", "")])
    env = {**os.environ, "PYTHONPATH": python_path, "MYPY_CACHE_DIR": str(tmp_path / "mypy-cache")}
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "satvane._satvane"],
        capture_output=True, text=True, env=env, cwd=tmp_path, timeout=300,
    )
    assert result.returncode == 0, result.stdout + result.stderr
    assert "checked 1 module" in result.stdout
