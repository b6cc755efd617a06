#!/usr/bin/env python3
"""A press-counting rig on the USB-IO board: LED P1_0 lights while the button
on P0_0 is held; the rig ends once the button was pressed and released
--presses times.

Exit status as portprobe-io's: 0 done, 1 no board, 3 the board was lost
(pulled out mid-way or stopped answering), 4 no access to the board.
"""

import argparse
import sys

import portprobe


def count_presses(board, readings, presses):
    """Follows the button through @readings ((time, Port0) pairs) until it
    was pressed and released @presses times; returns the presses seen."""
    count = 0
    held = False
    for _, value in readings:
        pressed = bool(value & 0x01)
        if pressed != held:
            board.port1 = 1 if pressed else 0
            held = pressed
            count += pressed
        if count >= presses and not held:
            break
    return count


def main(argv=None, readings=None):
    """The command line; @readings (board -> iterable) stands in for the
    board's own watch, for tests that script the button."""
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--presses", type=int, default=3)
    parser.add_argument("--interval", type=int, default=50, help="milliseconds between readings")
    parser.add_argument("--virtual", action="store_true", help="the virtual board")
    args = parser.parse_args(argv)
    try:
        with portprobe.Board(virtual=args.virtual) as board:
            board.port1 = 0
            source = readings(board) if readings else board.watch(args.interval)
            count = count_presses(board, source, args.presses)
            board.port1 = 0
    except portprobe.BoardNotFound as e:
        print(f"rig: {e}", file=sys.stderr)
        return 1
    except portprobe.BoardLost as e:
        print(f"rig: {e}; the run is not valid", file=sys.stderr)
        return 3
    except portprobe.NoAccess as e:
        print(f"rig: {e}", file=sys.stderr)
        return 4
    print(f"{count} presses")
    return 0


if __name__ == "__main__":
    sys.exit(main())
