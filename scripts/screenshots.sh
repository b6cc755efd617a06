#!/usr/bin/env bash
# Runs portprobe-demo on a virtual display (Xvfb) the way a user would: waits
# for the main window and the virtual board window, sets P1_3 and P1_0 HIGH,
# starts output and polling, pulls the virtual cable so the next poll fails,
# opens the about box from the help menu, closes it, closes the main window
# and catches the end window during its two seconds. Saves main.png,
# board.png, running.png, usbio-error.png, about.png and end.png, and checks
# that the program ended normally and wrote setting.ini.
#   scripts/screenshots.sh [output folder]     (default build/screenshots)
#   scripts/screenshots.sh --windows [folder]  the Windows build under Wine, with Qt's Windows
#                                              platform plugin (default docs/screenshots/windows)
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "${1:-}" != "--on-xvfb" ]]; then
  windows=0
  if [[ "${1:-}" == "--windows" ]]; then
    windows=1
    shift
    out="${1:-docs/screenshots/windows}"
    if [[ ! -f build/windows-gui/bin/portprobe-demo.exe ]]; then
      bash scripts/setup.sh --windows
      PORTPROBE_QT_MINGW=$(bash scripts/build-qt-mingw.sh)
      export PORTPROBE_QT_MINGW
      cmake --preset default >/dev/null
      cmake --build --preset default --target render_artwork
      cmake --preset windows-gui >/dev/null
      cmake --build --preset windows-gui --target portprobe_deploy
    fi
  else
    out="${1:-build/screenshots}"
    if [[ ! -x build/default/bin/portprobe-demo ]]; then
      cmake --preset default >/dev/null
      cmake --build --preset default --target portprobe-demo
    fi
  fi
  mkdir -p "$out"
  # Under Wine the console keeps its designed size: room for the board window beside it.
  screen="1024x768x24"
  ((windows)) && screen="1920x1080x24"
  exec xvfb-run -a -s "-screen 0 $screen" bash "$0" --on-xvfb "$out" "$windows"
fi
out="$2"
windows="${3:-0}"
if ((windows)); then
  program=build/windows-gui/bin/portprobe-demo.exe
else
  program=build/default/bin/portprobe-demo
fi
app_folder=$(dirname "$program")

# Waits up to 10 s for a visible window whose title matches $1; prints its id.
window_of() {
  for _ in $(seq 50); do
    if id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [[ -n "$id" ]]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  echo "screenshots: no window titled '$1' appeared" >&2
  return 1
}

# Asks a window to close, as a window manager's close button does
# (WM_DELETE_WINDOW); a bare Xvfb has no window manager to do it.
close_window() {
  python3 -B scripts/close_window.py "$1"
}

# A runtime folder of our own, so a demo the user runs elsewhere does not
# make this one a silent second copy.
runtime=$(mktemp -d)
rm -f "$app_folder/setting.ini"
if ((windows)); then
  # A throw-away Wine prefix. Wine titles the X windows in the host's locale: a UTF-8 one, so
  # that xdotool finds the Japanese titles.
  wine=/usr/lib/wine/wine64
  wineserver=/usr/lib/wine/wineserver64
  [[ -x "$wine" ]] || wine=$(command -v wine64 || command -v wine)
  [[ -x "$wineserver" ]] || wineserver=$(command -v wineserver)
  export WINEPREFIX="$runtime/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  trap '"$wineserver" -k 2>/dev/null; rm -rf "$runtime"' EXIT
  "$wine" wineboot --init >/dev/null 2>&1
  LC_ALL=C.UTF-8 "$wine" "$program" &
else
  trap 'rm -rf "$runtime"' EXIT
  XDG_RUNTIME_DIR="$runtime" "$program" &
fi
pid=$!

main=$(window_of '^PORTPROBE')
board=$(window_of '^仮想USB-IOボード')
sleep 0.5
import -window "$main" "$out/main.png"

# Clicks at a point of the main window's client area (pixels, below the menu
# bar, whose height is what the window has beyond the designed 230 pixels).
read -r _ main_height < <(xdotool getwindowgeometry --shell "$main" |
  awk -F= '/^WIDTH/{w=$2} /^HEIGHT/{h=$2} END{print w, h}')
menu_height=$((main_height - 230))
click_client() {
  xdotool mousemove --window "$main" "$1" $(($2 + menu_height)) click 1
  sleep 0.3
}
click_client 142 190 # P1_3
click_client 288 190 # P1_0
click_client 66 174  # 出力開始
click_client 64 58   # 入力開始
sleep 0.5
import -window "$main" "$out/running.png"
import -window "$board" "$out/board.png"

# The cable switch is the board window's last row: pull it, and the next
# poll finds the board gone and shows the device error window.
read -r _ board_height < <(xdotool getwindowgeometry --shell "$board" |
  awk -F= '/^WIDTH/{w=$2} /^HEIGHT/{h=$2} END{print w, h}')
xdotool mousemove --window "$board" 40 $((board_height - 20)) click 1
usbio_error=$(window_of '^USB-IO取得エラー')
sleep 0.5
import -window "$usbio_error" "$out/usbio-error.png"
close_window "$usbio_error"
sleep 0.3

# Help menu, then its second item.
xdotool mousemove --window "$main" 25 10 click 1
sleep 0.5
xdotool key Down Down Return
about=$(window_of 'このソフトについて')
sleep 0.5
import -window "$about" "$out/about.png"
close_window "$about"
sleep 0.5

close_window "$main"
end=$(window_of '^終了処理')
sleep 0.3
import -window "$end" "$out/end.png"

status=0
wait "$pid" || status=$?
if [[ $status -ne 0 ]]; then
  echo "screenshots: the demo ended with status $status" >&2
  exit 1
fi
if [[ ! -f "$app_folder/setting.ini" ]]; then
  echo "screenshots: the demo did not write setting.ini" >&2
  exit 1
fi
echo "screenshots: saved main.png, running.png, board.png, usbio-error.png, about.png and end.png in $out"
