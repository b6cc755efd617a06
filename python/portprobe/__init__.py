"""The USB-IO board from Python, through PORTPROBE's device link.

The board has four outputs (Port1, P1_0 to P1_3) and eight inputs (Port0,
P0_0 to P0_7). One link is open per process; boards opened together share
it, each call taking it over in turn.

    import portprobe

    for info in portprobe.boards():
        print(info)

    with portprobe.Board() as board:      # IDs from the console's setting.ini
        board.port1 = "1010"              # P1_3 first; same as board.write(10)
        print(board.port0)                # 0 to 255; same as board.read()
        for when, value in board.watch(interval_ms=500, count=10):
            print(when, value)

Failures raise a subclass of portprobe.Error, as portprobe-io's exit statuses
tell them apart: BoardNotFound (1), BoardLost (3: the board stopped answering
or was unplugged), NoAccess (4: the hidraw node may not be opened; the
message says how to allow it). Bad values raise ValueError or TypeError.

Device I/O runs with the GIL released, so a watch in one thread leaves the
others running. portprobe.trace(print) shows the link's steps and reports.

For tests without hardware, portprobe.VirtualBoard (and the pytest fixture
virtual_board of portprobe.pytest_plugin) is a board the test drives: every
Board opened while it is active reaches it, virtual=True or not.
"""

import dataclasses
import operator
import time

from . import _portprobe

__all__ = [
    "Board",
    "BoardInfo",
    "BoardLost",
    "BoardNotFound",
    "Error",
    "NoAccess",
    "VirtualBoard",
    "boards",
    "trace",
]


class Error(Exception):
    """A board operation failed; the subclass says how."""


class BoardNotFound(Error):
    """No board with the IDs (or at the path) is present."""


class BoardLost(Error):
    """The board stopped answering or was unplugged."""


class NoAccess(Error):
    """The board is present but this user may not open its node."""


_portprobe._set_exceptions(BoardNotFound, BoardLost, NoAccess)


@dataclasses.dataclass(frozen=True)
class BoardInfo:
    """A HID interface in view. Report lengths count the report-ID byte."""

    vid: int
    pid: int
    version: int
    path: str
    input_length: int
    output_length: int
    access: bool  #: whether this user may open it

    def __str__(self):
        return (
            f"{self.vid:04X}/{self.pid:04X} version {self.version:04X} "
            f"in {self.input_length} out {self.output_length} {self.path}"
            + ("" if self.access else " (no access)")
        )


def boards(vid=None, pid=None):
    """The HID interfaces present, as BoardInfo, optionally only those with
    the given vendor and product IDs. While a VirtualBoard is active, its
    board is the one in view."""
    found = [BoardInfo(*entry) for entry in _portprobe.boards()]
    return [
        b
        for b in found
        if (vid is None or b.vid == vid) and (pid is None or b.pid == pid)
    ]


def _integer(value, what, high):
    """@value as an int from 0 to @high: ints and int-like numbers (numpy's),
    never bools, floats or texts."""
    if isinstance(value, bool):
        raise TypeError(f"{what} takes an int, not a bool")
    try:
        value = operator.index(value)
    except TypeError:
        raise TypeError(f"{what} takes an int, not {type(value).__name__}") from None
    if not 0 <= value <= high:
        raise ValueError(f"{what} takes 0 to {high}, not {value}")
    return value


def _port1_value(value):
    if isinstance(value, str):
        if len(value) != 4 or any(c not in "01" for c in value):
            raise ValueError(f"Port1 takes four bits, P1_3 first (\"1010\"), not {value!r}")
        return int(value, 2)
    return _integer(value, "Port1", 15)


def _id(value, name):
    return None if value is None else _integer(value, name, 0xFFFF)


class Board:
    """The board with the given IDs, found and opened at once.

    vid, pid: the board's IDs; left out, those the PORTPROBE console stored
    in its setting.ini, else 0x1352 and 0x100 (as portprobe-io chooses); the
    console's folder is the installed one unless $PORTPROBE_CONSOLE_FOLDER
    names another.
    path: only the interface at this path (see boards()).
    virtual: the in-process virtual board rather than a real one.

    Raises BoardNotFound or NoAccess. Use it as a context manager, or call
    close(), to give the link back.
    """

    def __init__(self, vid=None, pid=None, *, path=None, virtual=False):
        if path is not None and not isinstance(path, str):
            raise TypeError("path must be a str")
        self._link = _portprobe.Board(_id(vid, "vid"), _id(pid, "pid"), path, bool(virtual))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<portprobe.Board {self.vid:04X}/{self.pid:04X} {self.path}>"

    @property
    def vid(self):
        """The vendor ID searched for."""
        return self._link.vid

    @property
    def pid(self):
        """The product ID searched for."""
        return self._link.pid

    @property
    def path(self):
        """The device path of the open board ("" once the link is closed)."""
        return self._link.path

    def close(self):
        """Closes the link; later calls raise ValueError."""
        self._link.close()

    def write(self, value):
        """Sets Port1: an int 0 to 15, or four bits as a str, P1_3 first ("1010" is 10)."""
        self._link.write(_port1_value(value))

    def read(self):
        """Reads Port0: an int 0 to 255 (bit n is P0_n)."""
        return self._link.read()

    port1 = property(None, write, doc="Port1's outputs (write only): see write().")
    port0 = property(read, doc="Port0's inputs: see read().")

    def watch(self, interval_ms=1000, count=None):
        """Reads Port0 every interval_ms milliseconds, count times (None: until
        stopped), yielding (time.time(), value). Readings keep their schedule:
        a slow read shortens the next pause. Raises BoardLost when the board
        goes."""
        if isinstance(interval_ms, bool) or not isinstance(interval_ms, (int, float)):
            raise TypeError("interval_ms must be a number")
        if not 0 <= interval_ms <= 2147483647:
            raise ValueError("interval_ms must be 0 to 2147483647")
        if count is not None:
            count = _integer(count, "count", 2**63)
        return self._watch(interval_ms / 1000.0, count)

    def _watch(self, interval, count):
        due = time.monotonic()
        n = 0
        while count is None or n < count:
            if n > 0:
                due += interval
                pause = due - time.monotonic()
                if pause > 0:
                    time.sleep(pause)
            yield time.time(), self.read()
            n += 1


class VirtualBoard:
    """A virtual board a test drives (default IDs 0x1352/0x100). While active
    (as a context manager, or between activate() and deactivate()), every
    Board opened reaches it and boards() lists it. Time passes virtually for
    it: a stalled board costs the link's time budget without the wait."""

    def __init__(self):
        self._sim = _portprobe.VirtualBoard()

    def activate(self):
        self._sim.activate(True)
        return self

    def deactivate(self):
        self._sim.activate(False)

    def __enter__(self):
        return self.activate()

    def __exit__(self, *exc):
        self.deactivate()

    def set_inputs(self, value):
        """Sets Port0's eight inputs, an int 0 to 255."""
        self._sim.set_inputs(_integer(value, "Port0", 255))

    @property
    def inputs(self):
        """Port0 as last set."""
        return self._sim.inputs

    @property
    def outputs(self):
        """Port1 as the last write set it."""
        return self._sim.outputs

    @property
    def plugged(self):
        return self._sim.plugged

    def unplug(self):
        """Pulls the board out: open links fail with BoardLost."""
        self._sim.set_plugged(False)

    def plug(self):
        """Plugs it back in; the next call finds it again."""
        self._sim.set_plugged(True)

    def stall(self, on=True):
        """While on, the board takes reports but never answers."""
        self._sim.stall(bool(on))


def trace(sink):
    """Sends each step of the link (platform call, error code and text) and
    each report on the wire (hex bytes) to sink(line), a callable taking a
    str, e.g. print or logging.getLogger("portprobe").debug; None stops it.
    Lines are handed over after each board call returns."""
    if sink is not None and not callable(sink):
        raise TypeError("trace takes a callable or None")
    _portprobe.trace(sink)
