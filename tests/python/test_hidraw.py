"""portprobe through the hidraw backend, against a board served as hidraw0
by python_board_server and reached through the preloaded hidraw shim (the
CTest entry sets both up)."""

import os
import signal
import subprocess
import threading
import time

import pytest

import portprobe

SERVER = os.environ.get("PORTPROBE_TEST_BOARD_SERVER")
pytestmark = pytest.mark.skipif(
    not SERVER or "hidraw_shim" not in os.environ.get("LD_PRELOAD", ""),
    reason="needs the hidraw shim preloaded and the board server (run through CTest)",
)


class Server:
    def __init__(self, folder):
        self.process = subprocess.Popen(
            [SERVER, str(folder)], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True
        )
        assert self.process.stdout.readline() == "ready\n"

    def command(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        assert self.process.stdout.readline() == line + "\n"

    def stop(self):
        """Stops the server (SIGSTOP), returning once it is stopped."""
        self.process.send_signal(signal.SIGSTOP)
        stat = f"/proc/{self.process.pid}/stat"
        while open(stat).read().rsplit(")", 1)[1].split()[0] != "T":
            time.sleep(0.001)

    def close(self):
        self.process.stdin.close()
        self.process.wait(10)


@pytest.fixture
def server(tmp_path, monkeypatch):
    s = Server(tmp_path)
    monkeypatch.setenv("PORTPROBE_SHIM_SYSFS", str(tmp_path / "sys"))
    monkeypatch.setenv("PORTPROBE_SHIM_DEV", str(tmp_path / "dev"))
    yield s
    s.close()


def test_found_then_written_and_read_back(server):
    (info,) = portprobe.boards()
    assert (info.vid, info.pid, info.path, info.access) == (0x1352, 0x100, "/dev/hidraw0", True)
    assert (info.input_length, info.output_length) == (9, 9)
    with portprobe.Board(vid=0x1352, pid=0x100) as board:
        assert board.path == "/dev/hidraw0"
        for value in ("1010", 5, 0, 15):
            board.port1 = value
            assert board.port0 == (int(value, 2) if isinstance(value, str) else value)


def test_unplug_mid_watch_raises_board_lost(server):
    board = portprobe.Board()
    readings = 0
    with pytest.raises(portprobe.BoardLost, match="stopped answering or was lost"):
        for _ in board.watch(interval_ms=0, count=10):
            readings += 1
            if readings == 2:
                server.command("unplug")
    assert readings == 2
    with pytest.raises(portprobe.BoardNotFound, match="no board 1352/0100 found"):
        portprobe.Board()


def test_a_node_this_user_may_not_open_raises_no_access(server, monkeypatch):
    monkeypatch.setenv("PORTPROBE_SHIM_DENY", "hidraw0")
    with pytest.raises(portprobe.NoAccess, match="/dev/hidraw0.*70-portprobe.rules"):
        portprobe.Board()
    assert [b.access for b in portprobe.boards()] == [False]


def test_a_waiting_read_leaves_other_threads_running(server):
    board = portprobe.Board()
    board.write(6)
    result = {}

    def read():
        try:
            result["value"] = board.read()
        except portprobe.Error as e:
            result["error"] = e
        result["done"] = time.monotonic()

    # The stopped server answers nothing: the read waits in the link until
    # the server goes on, which only this thread can make happen.
    server.stop()
    try:
        thread = threading.Thread(target=read)
        thread.start()
        time.sleep(0.2)
        spun = 0
        end = time.monotonic() + 0.3
        while time.monotonic() < end:
            spun += 1
        resumed = time.monotonic()
    finally:
        server.process.send_signal(signal.SIGCONT)
    thread.join()
    assert spun > 0
    assert result.get("value") == 6, result
    assert result["done"] >= resumed
