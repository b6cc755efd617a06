"""The rig against the virtual board: the button scripted, the board pulled
out mid-way (the fixture virtual_board comes from portprobe's pytest plugin)."""

import rig


def scripted(virtual_board, inputs, leds, unplug_at=None):
    """Readings from the board, the button set to each of @inputs in turn;
    @leds gets the LEDs as they were after the previous reading."""

    def readings(board):
        for n, value in enumerate(inputs):
            leds.append(virtual_board.outputs)
            if n == unplug_at:
                virtual_board.unplug()
            virtual_board.set_inputs(value)
            yield from board.watch(interval_ms=0, count=1)

    return readings


def test_counts_presses_and_lights_the_led_while_held(virtual_board, capsys):
    leds = []
    # Bits other than P0_0 do not count; the rig stops after the 2nd release,
    # before the last reading.
    inputs = [0, 1, 1, 0x80, 0x81, 0, 1]
    assert rig.main(["--presses", "2"], scripted(virtual_board, inputs, leds)) == 0
    assert leds == [0, 0, 1, 1, 0, 1]
    assert virtual_board.outputs == 0
    assert capsys.readouterr().out == "2 presses\n"


def test_a_board_pulled_out_mid_way_ends_with_status_3(virtual_board, capsys):
    leds = []
    status = rig.main(["--presses", "5"], scripted(virtual_board, [1, 0, 1, 0], leds, unplug_at=2))
    assert status == 3
    assert "stopped answering or was lost" in capsys.readouterr().err


def test_no_board_ends_with_status_1(virtual_board, capsys):
    virtual_board.unplug()
    assert rig.main(["--virtual"]) == 1
    assert "no board 1352/0100 found" in capsys.readouterr().err
