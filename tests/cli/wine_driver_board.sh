#!/usr/bin/env bash
# portprobe-io.exe under Wine on boards of the virtual-board driver: the
# command line against the system's own HID stack, a removal while watching,
# a board that stops answering. Run by CTest in the driver's prefix.
#   wine_driver_board.sh WINE PORTPROBE-IO PORTPROBE-VBOARD
set -uo pipefail
wine=$1 io=$2 vboard=$3
failures=0
out="" err="" status=0

run() { # PROGRAM ARGS...: sets out, err, status
  local program=$1
  shift
  out=$("$wine" "$program" "$@" 2>/tmp/portprobe-vboard-err.$$ | tr -d '\r')
  status=${PIPESTATUS[0]}
  err=$(tr -d '\r' </tmp/portprobe-vboard-err.$$)
}
expect() { # WHAT STATUS REGEX (against stdout, or stderr for a failure)
  local text=$out
  [[ $2 -ne 0 ]] && text=$err
  if [[ $status -ne $2 ]] || ! grep -Eq -- "$3" <<<"$text"; then
    echo "FAILED: $1: status $status (want $2)"
    echo "  stdout: $out"
    echo "  stderr: $err"
    echo "  wanted: $3"
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

run "$vboard" remove
run "$io" read
expect "no board" 1 "no board 1352/0100 found"

run "$vboard" install
expect "install" 0 '^\\\\\?\\hid#vid_1352&pid_0100#'
run "$io" list
expect "list shows the board with its lengths" 0 '\* 1352/0100  version 0100  in 9  out 9  \\\\\?\\hid#vid_1352&pid_0100#'

run "$io" write 1010
expect "write" 0 '^10 0x0A 1010$'
run "$vboard" outputs
expect "the board's LEDs after write 1010" 0 '^1010$'

run "$vboard" inputs 0xA6
run "$io" read
expect "read the switches" 0 '^166 0xA6 10100110$'

run "$vboard" stall on
start=$SECONDS
run "$io" read
expect "a stalled board" 3 "stopped answering"
# The link's budget is 6 s; Wine's start and the search come on top.
if ((SECONDS - start > 15)); then
  echo "FAILED: the stalled read took $((SECONDS - start)) s"
  failures=$((failures + 1))
fi
run "$vboard" stall off

"$wine" "$io" watch --interval 100 >/tmp/portprobe-vboard-watch.$$ 2>&1 &
watcher=$!
sleep 3
run "$vboard" remove
expect "remove" 0 ""
wait "$watcher"
status=$?
out=$(tr -d '\r' </tmp/portprobe-vboard-watch.$$)
err=$out
expect "watch ends when the board is removed" 3 "0xA6 10100110"

# Two boards with the board's IDs: list numbers them, --board and --path choose.
run "$vboard" install
first=$out
run "$vboard" install
second=$out
expect "a second install adds a second board" 0 '#0001#'
run "$vboard" inputs 0x11 --board 1
run "$vboard" inputs 0x22 --board 2
run "$io" list
expect "list numbers the two boards" 0 "^1 \\* 1352/0100 .*#0000#.*
2 \\* 1352/0100 .*#0001#"
run "$io" read
expect "the first board without a choice" 0 '^17 0x11 00010001$'
run "$io" --board 2 read
expect "--board 2" 0 '^34 0x22 00100010$'
run "$io" --path "$second" write 0110
expect "--path" 0 '^6 0x06 0110$'
run "$vboard" outputs --board 2
expect "the second board's LEDs" 0 '^0110$'
run "$vboard" outputs --board 1
expect "the first board's LEDs untouched" 0 '^0000$'
run "$io" --board 3 read
expect "no third board" 1 "no board 3: 2 boards 1352/0100 found"
[[ -n "$first" ]]
run "$vboard" remove

rm -f /tmp/portprobe-vboard-err.$$ /tmp/portprobe-vboard-watch.$$
((failures == 0)) || { echo "$failures failed"; exit 1; }
