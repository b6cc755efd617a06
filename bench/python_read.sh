#!/usr/bin/env bash
# board.read() of the Python package against the link it binds, on the
# hidraw stand-in (a board served by tests/cli/io_board_server, reached through
# the preloaded shim of the end-to-end tests):
#   1. board.read() on an open link against bench/io_link_reads.cpp, the same
#      gUSBIO_ReadP0 from C++, in alternating blocks of one run (goal: at
#      most 1.3 times);
#   2. per reading, against `portprobe-io read` (a process and a search each).
# Everything runs on one CPU (taskset): otherwise where the scheduler happens
# to place each process beside the board's thread decides the round trip's
# cost, and the two sides of the comparison do not meet the same placement.
# Usage: bench/python_read.sh [build folder (build/release)] [rounds (20)] [reads per block (500)]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib.sh
source scripts/lib.sh
build=${1:-build/release}
rounds=${2:-20}
block=${3:-500}
build_targets "$build" _portprobe io_link_reads portprobe-io io_board_server portprobe_hidraw_shim
cpu=$(taskset -pc $$ | sed 's/.*: *//; s/[,-].*//')
pin=(taskset -c "$cpu")
serve_board "$build" "${pin[@]}"

io="$build/bin/portprobe-io"
[[ -x "$io" ]] || io="$build/cli/portprobe-io"
LD_PRELOAD="$PWD/$build/tests/cli/libportprobe_hidraw_shim.so" \
  PORTPROBE_SHIM_SYSFS="$work/tree/sys" PORTPROBE_SHIM_DEV="$work/tree/dev" TEMP="$work" \
  PYTHONPATH="$PWD/$build/python" PYTHONDONTWRITEBYTECODE=1 \
  "${pin[@]}" python3 - "$build/bench/io_link_reads" "$io" "$rounds" "$block" <<'PY'
import statistics, subprocess, sys, time
import portprobe

cpp, io, rounds, block = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])


def timed_reads(n):
    """ns per board.read() over n readings. The board is open only meanwhile:
    the stand-in, like hidraw, sends every answer to every open file, and
    answers queued for an idle link would be read without a round trip."""
    with portprobe.Board(0x1352, 0x100) as board:
        assert board.read() == 0xA6
        start = time.perf_counter_ns()
        for _ in range(n):
            board.read()
        return (time.perf_counter_ns() - start) / n


ratios, py_ns, cpp_ns = [], [], []
for _ in range(rounds):
    py = timed_reads(block)
    c = float(subprocess.run([cpp, str(block)], check=True, capture_output=True, text=True).stdout)
    py_ns.append(py)
    cpp_ns.append(c)
    ratios.append(py / c)
io_runs = 50
start = time.perf_counter_ns()
for _ in range(io_runs):
    subprocess.run([io, "--vid", "1352", "--pid", "100", "read"], check=True, capture_output=True)
io_ns = (time.perf_counter_ns() - start) / io_runs
open_ns = timed_reads(io_runs)
q = statistics.quantiles(ratios, n=4)
print(f"read on an open link, {rounds} alternating blocks of {block} readings (median per reading)")
print(f"  portprobe board.read()     {statistics.median(py_ns) / 1e3:8.1f} us")
print(f"  C++ gUSBIO_ReadP0          {statistics.median(cpp_ns) / 1e3:8.1f} us")
print(f"  ratio                      {statistics.median(ratios):8.2f} (quartiles {q[0]:.2f} to {q[2]:.2f}; goal <= 1.3)")
print(f"per reading, {io_runs} each")
print(f"  portprobe-io read          {io_ns / 1e6:8.2f} ms (a process and a search each)")
print(f"  board.read() on the link   {open_ns / 1e6:8.3f} ms ({io_ns / open_ns:.0f} times fewer)")
PY
