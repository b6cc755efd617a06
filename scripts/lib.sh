#!/usr/bin/env bash
# What the scripts that drive Wine, a virtual display or a window share: finding Wine, a fresh
# prefix, a display of their own, waiting for a window by its title, clicking in it, closing it.
# Sourced, it only defines functions:
#   source scripts/lib.sh
# Run, it calls one of them (CTest's Wine fixtures do):
#   bash scripts/lib.sh fresh_prefix FOLDER [--drivers] | bash scripts/lib.sh remove_prefix FOLDER

# Sets wine and wineserver: Debian's 64-bit Wine, else whatever PATH has.
find_wine() {
  wine=/usr/lib/wine/wine64
  wineserver=/usr/lib/wine/wineserver64
  [[ -x "$wine" ]] || wine=$(command -v wine64 || command -v wine)
  [[ -x "$wineserver" ]] || wineserver=$(command -v wineserver)
}

# wine_env PREFIX: the settings every Wine run of ours takes: a 64-bit prefix, no debug
# channels, no first-run installers for Mono and Gecko (nothing here needs them).
wine_env() {
  export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# Refuses a folder that exists and is no Wine prefix: only a prefix (system.reg) or nothing
# is ever removed.
is_prefix_or_nothing() {
  [[ ! -e "$1" || -f "$1/system.reg" ]] && return 0
  echo "$1 is not a Wine prefix; left alone" >&2
  return 1
}

# fresh_prefix FOLDER [--drivers]: a new prefix in FOLDER (an old one there is removed).
# --drivers keeps its server up (the virtual-board driver's boards live as long as it does).
fresh_prefix() {
  find_wine
  wine_env "$1"
  is_prefix_or_nothing "$1" || return 1
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$1"
  "$wine" wineboot --init >/dev/null 2>&1
  # Right after a first wineboot two services.exe run, each with its own service database, and
  # a driver installed then is never started: the prefix starts afresh.
  "$wineserver" -w
  if [[ "${2:-}" == --drivers ]]; then
    # Its output goes nowhere: CTest waits until a test's output ends.
    "$wineserver" -p </dev/null >/dev/null 2>&1
    # The system processes (services, the drivers' hosts) start now and stay with the server.
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
  fi
}

# remove_prefix FOLDER: ends the prefix's server and removes the prefix.
remove_prefix() {
  find_wine
  wine_env "$1"
  is_prefix_or_nothing "$1" || return 1
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  rm -rf "$1"
}

# start_xvfb GEOMETRY [Xvfb options...]: a virtual display on the first free number from 90 on;
# sets xvfb_display (":N") and xvfb_pid, and returns once its socket is there.
# shellcheck disable=SC2034 # both are the caller's
start_xvfb() {
  local geometry=$1 n=90
  shift
  while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do
    n=$((n + 1))
  done
  Xvfb ":$n" -screen 0 "$geometry" -nolisten tcp "$@" >/dev/null 2>&1 &
  xvfb_pid=$!
  xvfb_display=":$n"
  for _ in $(seq 50); do
    [[ -e /tmp/.X11-unix/X$n ]] && break
    sleep 0.2
  done
}

# window_of TITLE-PATTERN [SECONDS (30)]: waits for a visible window whose title matches and
# prints its id.
window_of() {
  local id
  for _ in $(seq $((${2:-30} * 5))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [[ -n "$id" ]] && {
      echo "$id"
      return 0
    }
    sleep 0.2
  done
  echo "no window titled '$1' appeared" >&2
  return 1
}

# Asks a window to close, as a window manager's close button does (WM_DELETE_WINDOW); a bare
# Xvfb has no window manager to do it.
close_window() {
  /usr/bin/python3 -B "$(dirname "${BASH_SOURCE[0]}")/close_window.py" "$1"
}

# menu_height_of WINDOW: the height of the console's menu bar, what its window has beyond the
# designed 230 pixels of client area.
menu_height_of() {
  xdotool getwindowgeometry --shell "$1" | awk -F= '/^HEIGHT/{print $2 - 230}'
}

# click_client WINDOW X Y [PAUSE (0.5)]: a click at a point of the console's client area, below
# its menu bar.
click_client() {
  xdotool mousemove --window "$1" "$2" $(($3 + $(menu_height_of "$1"))) click 1
  sleep "${4:-0.5}"
}

# red_pixels WINDOW PICTURE: the window's pure red pixels (the labels and LEDs that are HIGH),
# counted in a picture saved as PICTURE.
red_pixels() {
  import -window "$1" "$2"
  convert "$2" -fill black +opaque '#FF0000' -fill white -opaque '#FF0000' \
    -format '%[fx:round(mean*w*h)]' info:
}

# build_targets BUILD TARGET...: the targets built in BUILD; build/release is configured first
# where it is not yet.
build_targets() {
  local build=$1
  shift
  [[ -f "$build/CMakeCache.txt" || "$build" != build/release ]] || cmake --preset release >/dev/null
  cmake --build "$build" --target "$@" >/dev/null
}

# serve_board BUILD [COMMAND PREFIX...]: a virtual board behind a fake sysfs tree and a socket
# node (BUILD's tests/cli/io_board_server), in a temporary folder that goes with the server when
# the script ends; sets work (the folder; the tree is $work/tree) and server_pid, and returns once
# the board is ready.
# shellcheck disable=SC2034 # server_pid is the caller's
serve_board() {
  local build=$1
  shift
  work=$(mktemp -d "${TMPDIR:-/tmp}/portprobe-board.XXXXXX")
  trap 'kill "$server_pid" 2>/dev/null; rm -rf "$work"' EXIT
  mkfifo "$work/keep"
  "$@" "$build/tests/cli/io_board_server" "$work/tree" <"$work/keep" >"$work/server.out" &
  server_pid=$!
  exec 3>"$work/keep"
  until grep -q ready "$work/server.out"; do sleep 0.05; done
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
  set -euo pipefail
  case ${1:-} in
    fresh_prefix | remove_prefix) "$@" ;;
    *)
      echo "usage: bash scripts/lib.sh fresh_prefix FOLDER [--drivers] | remove_prefix FOLDER" >&2
      exit 2
      ;;
  esac
fi
