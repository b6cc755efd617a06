"""portprobe against the virtual board of the fixture virtual_board."""

import threading

import pytest

import portprobe


class Index:
    """An int-like number, as numpy's are."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize(
    "value, outputs", [(0, 0), (15, 15), ("1010", 10), ("0001", 1), (Index(6), 6)]
)
def test_write_reaches_outputs(virtual_board, value, outputs):
    with portprobe.Board() as board:
        board.write(value)
        assert virtual_board.outputs == outputs
        board.port1 = 0
        assert virtual_board.outputs == 0


@pytest.mark.parametrize("inputs", [0, 0xA6, 255])
def test_read_gives_inputs(virtual_board, inputs):
    virtual_board.set_inputs(inputs)
    with portprobe.Board(virtual=True) as board:
        assert board.read() == inputs
        assert board.port0 == inputs


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda b: b.write(16), ValueError),
        (lambda b: b.write(-1), ValueError),
        (lambda b: b.write(2**70), ValueError),
        (lambda b: b.write("101"), ValueError),
        (lambda b: b.write("10a0"), ValueError),
        (lambda b: b.write("10100"), ValueError),
        (lambda b: b.write(1.0), TypeError),
        (lambda b: b.write(None), TypeError),
        (lambda b: b.write(True), TypeError),
        (lambda b: b.write(b"1010"), TypeError),
        (lambda b: setattr(b, "port0", 1), AttributeError),
        (lambda b: b.port1, AttributeError),
        (lambda b: b.watch(interval_ms=-1), ValueError),
        (lambda b: b.watch(interval_ms="1"), TypeError),
        (lambda b: b.watch(count=-1), ValueError),
        (lambda b: b.watch(count=1.5), TypeError),
        (lambda b: portprobe.Board(vid=0x10000), ValueError),
        (lambda b: portprobe.Board(pid=-1), ValueError),
        (lambda b: portprobe.Board(vid="1352"), TypeError),
        (lambda b: portprobe.Board(path=3), TypeError),
        (lambda b: portprobe.trace(3), TypeError),
    ],
)
def test_bad_values_raise_and_change_nothing(virtual_board, call, error):
    with portprobe.Board() as board:
        board.write(9)
        with pytest.raises(error):
            call(board)
        assert virtual_board.outputs == 9
        assert board.read() == virtual_board.inputs


@pytest.mark.parametrize("value, error", [(256, ValueError), (-1, ValueError), ("1", TypeError)])
def test_bad_inputs_for_the_virtual_board(virtual_board, value, error):
    with pytest.raises(error):
        virtual_board.set_inputs(value)


def test_unplug_mid_watch_raises_board_lost_and_plug_brings_it_back(virtual_board):
    board = portprobe.Board()
    readings = []
    with pytest.raises(portprobe.BoardLost):
        for _, value in board.watch(interval_ms=0):
            readings.append(value)
            virtual_board.set_inputs(len(readings))
            if len(readings) == 3:
                virtual_board.unplug()
    assert readings == [0, 1, 2]
    virtual_board.plug()
    assert board.read() == 3


def test_watch_counts_and_keeps_its_schedule(virtual_board):
    with portprobe.Board() as board:
        readings = list(board.watch(interval_ms=20, count=4))
    assert len(readings) == 4
    times = [t for t, _ in readings]
    assert times == sorted(times)
    assert times[-1] - times[0] >= 0.06


def test_a_stalled_board_is_lost_without_the_wait(virtual_board):
    with portprobe.Board() as board:
        virtual_board.stall(True)
        with pytest.raises(portprobe.BoardLost, match="stopped answering"):
            board.read()
        virtual_board.stall(False)
        virtual_board.set_inputs(7)
        assert board.read() == 7


@pytest.mark.parametrize(
    "kwargs",
    [{"vid": 0x1234}, {"pid": 0x200}, {"path": "/dev/hidraw99"}],
)
def test_no_such_board_raises_board_not_found(virtual_board, kwargs):
    with pytest.raises(portprobe.BoardNotFound, match="no board"):
        portprobe.Board(**kwargs)
    assert issubclass(portprobe.BoardNotFound, portprobe.Error)


def test_a_board_by_path(virtual_board):
    (info,) = portprobe.boards()
    with portprobe.Board(path=info.path) as board:
        assert board.path == info.path
        board.write(3)
        assert virtual_board.outputs == 3


def test_boards_lists_the_virtual_board(virtual_board):
    (info,) = portprobe.boards()
    assert (info.vid, info.pid, info.version) == (0x1352, 0x100, 0x100)
    assert (info.input_length, info.output_length, info.access) == (9, 9, True)
    assert portprobe.boards(vid=0x1352, pid=0x100) == [info]
    assert portprobe.boards(pid=0x101) == []


def test_ids_come_from_the_consoles_settings(virtual_board, tmp_path, monkeypatch):
    monkeypatch.setenv("PORTPROBE_CONSOLE_FOLDER", str(tmp_path))
    settings = tmp_path / "setting.ini"
    settings.write_text("[Setting]\r\nStrVendorID=1234\r\nStrPeroductID=100\r\n")
    with pytest.raises(portprobe.BoardNotFound, match="1234/0100"):
        portprobe.Board()
    with portprobe.Board(vid=0x1352) as board:
        assert (board.vid, board.pid) == (0x1352, 0x100)
    settings.write_text("[Setting]\r\nStrVendorID=zz\r\n")
    with pytest.raises(ValueError, match="zz"):
        portprobe.Board()


def test_a_closed_board_refuses_calls(virtual_board):
    board = portprobe.Board()
    board.close()
    with pytest.raises(ValueError, match="closed"):
        board.read()
    board.close()


def test_boards_take_the_link_in_turn(virtual_board):
    first = portprobe.Board()
    second = portprobe.Board(virtual=True)
    first.write(1)
    second.write(2)
    assert virtual_board.outputs == 2
    first.write(4)
    assert virtual_board.outputs == 4
    assert first.path == second.path != ""
    first.close()
    assert first.path == ""
    assert second.read() == virtual_board.inputs


def test_a_watch_in_a_thread_while_the_main_thread_reads(virtual_board):
    virtual_board.set_inputs(0x5A)
    board = portprobe.Board()
    seen, errors = [], []

    def watch():
        try:
            seen.extend(v for _, v in board.watch(interval_ms=0, count=200))
        except Exception as e:  # pragma: no cover - reported below
            errors.append(e)

    thread = threading.Thread(target=watch)
    thread.start()
    mine = [board.read() for _ in range(200)]
    thread.join()
    assert errors == []
    assert seen == [0x5A] * 200 and mine == [0x5A] * 200


def test_trace_shows_the_reports(virtual_board):
    lines = []
    portprobe.trace(lines.append)
    try:
        with portprobe.Board() as board:
            board.write("0101")
    finally:
        portprobe.trace(None)
    assert "out 9 bytes: 00 02 05 00 00 00 00 00 00" in lines
    assert any(line.startswith("CreateFile error 0") for line in lines)
    count = len(lines)
    with portprobe.Board() as board:
        board.read()
    assert len(lines) == count


def test_the_virtual_board_is_gone_after_the_fixture():
    with portprobe.VirtualBoard() as board:
        board.set_inputs(0x33)
        assert len(portprobe.boards(vid=0x1352, pid=0x100)) == 1
    assert all(b.path.startswith("/dev/hidraw") for b in portprobe.boards())


def test_help_reads_well():
    import pydoc

    text = pydoc.render_doc(portprobe, renderer=pydoc.plaintext)
    for name in ("Board", "BoardLost", "NoAccess", "watch", "virtual_board", "boards"):
        assert name in text
