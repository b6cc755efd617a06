#!/usr/bin/env bash
# The real console (portprobe.exe, not the demo) under Wine with Qt's Windows platform plugin,
# on a virtual display, driving a board of the virtual-board driver (drivers/vboard) through
# Windows' own HID stack, as a user would with the mouse:
#   1. P1_3 and P1_0 clicked, then 出力開始: the board's LEDs read 1001 (portprobe-vboard outputs);
#   2. 入力開始 with the switches at 0x00, 0xA6 and 0xFF: the Port0 bit labels turn red for the
#      set bits (counted in pixels: 0xA6 lights four labels' worth);
#   3. the board removed while polling: the window "USB-IO取得エラー" appears (under Wine after the
#      link's full 6 s: Wine never signals a failed read's event);
#   4. the board installed again and 入力開始 clicked: polling reads the switches again;
#   5. the console closed: it ends with status 0.
# In a Wine prefix of its own (tests/vboard_prefix.sh), removed afterwards.
# Run by CTest in the Windows programs' build (test windows_console), or by hand:
#   tests/app/wine_driver_console.sh [build folder]   (default build/windows-gui)
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=scripts/lib.sh
source scripts/lib.sh
build=${1:-build/windows-gui}
program=$build/bin/portprobe.exe
vboard=$build/drivers/vboard/portprobe-vboard.exe
for file in "$program" "$vboard"; do
  [[ -f "$file" ]] || {
    echo "wine_driver_console: $file not built" >&2
    exit 1
  }
done

find_wine
work=$(mktemp -d /tmp/portprobe-wine-console.XXXXXX)
wine_env "$work/prefix"
# Wine titles the X windows in the host's locale: a UTF-8 one, so that xdotool finds the
# Japanese titles.
export LC_ALL=C.UTF-8
xvfb_pid=""
program_pid=""
cleanup() {
  [[ -n "$program_pid" ]] && kill "$program_pid" 2>/dev/null
  remove_prefix "$WINEPREFIX" >/dev/null 2>&1
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "wine_driver_console: FAILED: $*" >&2
  [[ -n "${main:-}" ]] && import -window "$main" "$work/failed.png" 2>/dev/null &&
    cp "$work/failed.png" /tmp/portprobe-console-failed.png && echo "  the console: /tmp/portprobe-console-failed.png" >&2
  exit 1
}

start_xvfb 1920x1080x24
export DISPLAY="$xvfb_display"
fresh_prefix "$WINEPREFIX" --drivers
# The control program of this build takes MinGW's DLLs from beside the console.
bin_folder=$(realpath "$build/bin")
vboard() { WINEPATH="Z:${bin_folder//\//\\}" "$wine" "$vboard" "$@" 2>&1 | tr -d '\r'; }
vboard install >/dev/null || fail "the driver's board did not install"

outputs_become() { # bits; waits up to 5 s for the board's LEDs
  for _ in $(seq 25); do
    [[ "$(vboard outputs)" == "$1" ]] && return 0
    sleep 0.2
  done
  return 1
}

"$wine" "$program" >"$work/console.log" 2>&1 &
program_pid=$!
main=$(window_of '^PORTPROBE') || fail "the console's window never showed"
sleep 1
click() { click_client "$main" "$@"; }
lit_pixels() { red_pixels "$main" "$work/shot.png"; }

click 142 190 # P1_3
click 288 190 # P1_0
click 66 174  # 出力開始
outputs_become 1001 || fail "output: the board's LEDs read $(vboard outputs), not 1001"
echo "ok: P1_3, P1_0 and 出力開始 light the board's LEDs 1001"

# Polling shows the switches as red (HIGH) and green bit labels; P1_3 and P1_0 stay red.
declare -A red
for value in 0x00 0xFF 0xA6; do
  vboard inputs "$value" >/dev/null
  [[ -v red[0x00] ]] || click 64 58 # 入力開始
  sleep 1.5
  red[$value]=$(lit_pixels)
done
label=$(((red[0xFF] - red[0x00]) / 8))
((label > 50)) || fail "input: 0xFF lit no labels (red pixels ${red[0x00]} -> ${red[0xFF]})"
lit=$(((red[0xA6] - red[0x00] + label / 2) / label))
((lit == 4)) || fail "input: 0xA6 lit $lit labels' worth, not 4 (red ${red[0x00]}, ${red[0xA6]}, ${red[0xFF]})"
echo "ok: 入力開始 shows the switches (0xA6: 4 labels HIGH, ${label} pixels each)"

start=$SECONDS
vboard remove >/dev/null
error=$(window_of '^USB-IO取得エラー' 20) || fail "no device error window after the board was removed"
echo "ok: the board removed while polling: \"$(xdotool getwindowname "$error")\" after $((SECONDS - start)) s"
close_window "$error"
sleep 1

vboard install >/dev/null || fail "the board did not install again"
vboard inputs 0xA6 >/dev/null
sleep 1
click 64 58 # 入力開始
sleep 1.5
now=$(lit_pixels)
lit=$(((now - red[0x00] + label / 2) / label))
((lit == 4)) || fail "after the board came back, 入力開始 shows $lit labels HIGH, not 4 (red $now)"
echo "ok: the board installed again: 入力開始 polls it"

close_window "$main"
status=0
wait "$program_pid" || status=$?
program_pid=""
((status == 0)) || { cat "$work/console.log" >&2; fail "the console ended with status $status"; }
echo "wine_driver_console: the console on the driver's board under Wine: all cases passed"
