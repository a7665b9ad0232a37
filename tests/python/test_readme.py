"""The README's tour runs as written: its Python examples with their outputs (doctest), and its command-line
example against the command line's output."""

import doctest
import os
import pathlib
import re
import shlex

import pytest

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
