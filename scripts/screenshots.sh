#!/usr/bin/env bash
# Runs portprobe-demo on a virtual display (Xvfb) the way a user would: waits
# for the main window and the virtual board window, sets P1_3 and P1_0 HIGH,
# starts output and polling, pulls the virtual cable so the next poll fails,
# opens the about box from the help menu, closes it, closes the main window
# and catches the end window during its two seconds. Saves main.png,
# board.png, running.png, usbio-error.png, about.png and end.png, and checks
# that the program ended normally and wrote setting.ini.
# With --windows the real console (portprobe.exe) under Wine with Qt's Windows
# platform plugin, on a board of the virtual-board driver (drivers/vboard) in a
# prefix of its own: the same steps, the board removed with portprobe-vboard
# instead of the cable; no board.png. Each picture is checked to hold its
# window: the title of the window captured is read back, and the window is
# raised first, so that no other window covers it.
#   scripts/screenshots.sh [output folder]     (default build/screenshots)
#   scripts/screenshots.sh --windows [folder]  (default docs/screenshots/windows)
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib.sh
source scripts/lib.sh

if [[ "${1:-}" != "--on-xvfb" ]]; then
  windows=0
  if [[ "${1:-}" == "--windows" ]]; then
    windows=1
    shift
    out="${1:-docs/screenshots/windows}"
    if [[ ! -f build/windows-gui/bin/portprobe.exe || ! -f build/windows-gui/drivers/vboard/portprobe-vboard.exe ]]; then
      bash scripts/setup.sh --windows
      PORTPROBE_QT_MINGW=$(bash scripts/build-qt-mingw.sh)
      export PORTPROBE_QT_MINGW
      cmake --preset default >/dev/null
      cmake --build --preset default --target render_artwork
      cmake --preset windows-gui >/dev/null
      cmake --build --preset windows-gui --target portprobe_deploy portprobe-vboard
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
  program=build/windows-gui/bin/portprobe.exe
else
  program=build/default/bin/portprobe-demo
fi
app_folder=$(dirname "$program")

# Raises window $1 (no other window covers it), checks that its title matches $2, and saves it
# as $3 once it has stayed in place and shown the same pixels for $4 (2) seconds (the end window
# lives for two seconds: 0): a window that
# is placed after it shows (the error window under Wine) holds only what lay beneath it until
# it is painted there.
shoot() {
  local title place="" last=""
  title=$(xdotool getwindowname "$1")
  if ! grep -Eq -- "$2" <<<"$title"; then
    echo "screenshots: $3 would show \"$title\", not a window titled '$2'" >&2
    exit 1
  fi
  xdotool windowraise "$1"
  local steady=0
  for _ in $(seq 20); do
    import -window "$1" "$out/$3"
    ((${4:-2} == 0)) && { place=$(xwininfo -id "$1" | grep -E 'Absolute|Width|Height' | tr -d ' \n'); break; }
    place="$(xwininfo -id "$1" | grep -E 'Absolute|Width|Height' | tr -d ' \n') $(md5sum <"$out/$3")"
    if [[ "$place" == "$last" ]]; then
      steady=$((steady + 1))
      ((steady >= ${4:-2})) && break
    else
      steady=0
    fi
    last=$place
    sleep 1
  done
  local size
  size=$(identify -format '%wx%h' "$out/$3")
  if [[ "$place" != *"Width:${size%x*}"*"Height:${size#*x}"* ]]; then
    echo "screenshots: $3 is $size, its window $place" >&2
    exit 1
  fi
}

# A runtime folder of our own, so a demo the user runs elsewhere does not
# make this one a silent second copy.
runtime=$(mktemp -d)
rm -f "$app_folder/setting.ini"
if ((windows)); then
  # A throw-away Wine prefix. Wine titles the X windows in the host's locale: a UTF-8 one, so
  # that xdotool finds the Japanese titles.
  find_wine
  wine_env "$runtime/prefix"
  trap 'remove_prefix "$WINEPREFIX" >/dev/null 2>&1; rm -rf "$runtime"' EXIT
  export LC_ALL=C.UTF-8
  fresh_prefix "$WINEPREFIX" --drivers
  # The control program takes MinGW's DLLs from beside the console.
  bin_folder=$(realpath "$app_folder")
  vboard() {
    WINEPATH="Z:${bin_folder//\//\\}" "$wine" build/windows-gui/drivers/vboard/portprobe-vboard.exe "$@" >/dev/null
  }
  vboard install
  vboard inputs 0xA6
  "$wine" "$program" &
else
  trap 'rm -rf "$runtime"' EXIT
  XDG_RUNTIME_DIR="$runtime" "$program" &
fi
pid=$!

main=$(window_of '^PORTPROBE')
((windows)) || board=$(window_of '^仮想USB-IOボード')
sleep 0.5
shoot "$main" '^PORTPROBE' main.png

click_client "$main" 142 190 0.3 # P1_3
click_client "$main" 288 190 0.3 # P1_0
click_client "$main" 66 174 0.3  # 出力開始
click_client "$main" 64 58 0.3   # 入力開始
sleep 0.5
shoot "$main" '^PORTPROBE' running.png
if ((windows)); then
  # The board removed: the next poll fails, under Wine after the link's full 6 s.
  vboard remove
  usbio_error=$(window_of '^USB-IO取得エラー' 20)
else
  shoot "$board" '^仮想USB-IOボード' board.png
  # The cable switch is the board window's last row: pull it, and the next
  # poll finds the board gone and shows the device error window.
  read -r _ board_height < <(xdotool getwindowgeometry --shell "$board" |
    awk -F= '/^WIDTH/{w=$2} /^HEIGHT/{h=$2} END{print w, h}')
  xdotool mousemove --window "$board" 40 $((board_height - 20)) click 1
  usbio_error=$(window_of '^USB-IO取得エラー')
fi
sleep 0.5
shoot "$usbio_error" '^USB-IO取得エラー' usbio-error.png
close_window "$usbio_error"
sleep 0.3

# Help menu, then its second item.
xdotool mousemove --window "$main" 25 10 click 1
sleep 0.5
xdotool key Down Down Return
about=$(window_of 'このソフトについて')
sleep 0.5
shoot "$about" '^このソフトについて' about.png
close_window "$about"
sleep 0.5

close_window "$main"
end=$(window_of '^終了処理')
sleep 0.3
shoot "$end" '^終了処理' end.png 0

status=0
wait "$pid" || status=$?
if [[ $status -ne 0 ]]; then
  echo "screenshots: $(basename "$program") ended with status $status" >&2
  exit 1
fi
if [[ ! -f "$app_folder/setting.ini" ]]; then
  echo "screenshots: $(basename "$program") did not write setting.ini" >&2
  exit 1
fi
board_shot=" board.png,"
((windows)) && board_shot=""
echo "screenshots: saved main.png, running.png,$board_shot usbio-error.png, about.png and end.png in $out"
