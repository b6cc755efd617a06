"""pytest plugin of portprobe: the fixture virtual_board.

Registered through the pytest11 entry point when the package is installed;
from a build tree, pass -p portprobe.pytest_plugin.
"""

import pytest

import portprobe


@pytest.fixture
def virtual_board():
    """A portprobe.VirtualBoard, active for the test: every portprobe.Board
    the test opens reaches it (set_inputs, outputs, unplug, plug, stall)."""
    with portprobe.VirtualBoard() as board:
        yield board
