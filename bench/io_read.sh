#!/usr/bin/env bash
# Whole-process costs of portprobe-io on the hidraw stand-in (a virtual board
# behind a fake sysfs tree and a socket node, reached through the preloaded
# shim of the end-to-end tests):
#   1. `portprobe-io read` against bench/io_bare_read.c, a bare C program doing
#      the same search and exchange, run alternately in the same loop (goal:
#      at most 1.5 times the baseline);
#   2. CPU time of `portprobe-io watch --interval 1000` over 60 s (goal: about
#      nothing while it waits).
# Usage: bench/io_read.sh [build folder (build/release)] [runs (300)] [watch seconds (60)]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib.sh
source scripts/lib.sh
build=${1:-build/release}
runs=${2:-300}
watch_seconds=${3:-60}
build_targets "$build" portprobe-io io_board_server portprobe_hidraw_shim
serve_board "$build"
cc -O2 -o "$work/io_bare_read" bench/io_bare_read.c

export LD_PRELOAD="$PWD/$build/tests/cli/libportprobe_hidraw_shim.so"
export PORTPROBE_SHIM_SYSFS="$work/tree/sys" PORTPROBE_SHIM_DEV="$work/tree/dev"
export TEMP="$work"
io=("$build/bin/portprobe-io" --vid 1352 --pid 100)
[[ -x "${io[0]}" ]] || io[0]="$build/cli/portprobe-io"

[[ "$("${io[@]}" read)" == "166 0xA6 10100110" ]]
[[ "$("$work/io_bare_read")" == "166" ]]

now_ns() { date +%s%N; }
io_ns=0
bare_ns=0
for ((i = 0; i < runs; i++)); do
  t0=$(now_ns)
  "${io[@]}" read >/dev/null
  t1=$(now_ns)
  "$work/io_bare_read" >/dev/null
  t2=$(now_ns)
  io_ns=$((io_ns + t1 - t0))
  bare_ns=$((bare_ns + t2 - t1))
done
awk -v io="$io_ns" -v bare="$bare_ns" -v n="$runs" 'BEGIN {
  printf "read, %d runs each (mean wall time per process, the loop'"'"'s fork and exec included)\n", n
  printf "  portprobe-io read   %.2f ms\n", io / n / 1e6
  printf "  bare C baseline     %.2f ms\n", bare / n / 1e6
  printf "  ratio               %.2f (goal <= 1.5)\n", io / bare
}'

"${io[@]}" watch --interval 1000 >"$work/watch.out" &
watch_pid=$!
sleep "$watch_seconds"
read -r -a stat <"/proc/$watch_pid/stat"
kill "$watch_pid"
wait "$watch_pid" 2>/dev/null || true
ticks=$(getconf CLK_TCK)
awk -v u="${stat[13]}" -v s="${stat[14]}" -v hz="$ticks" -v secs="$watch_seconds" \
  -v lines="$(wc -l <"$work/watch.out")" 'BEGIN {
  printf "watch --interval 1000 for %d s: %d readings, CPU %.0f ms (user %.0f, system %.0f), %.3f%% of one core\n",
    secs, lines, (u + s) * 1000 / hz, u * 1000 / hz, s * 1000 / hz, (u + s) / hz / secs * 100
}'
