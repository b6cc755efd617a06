#!/usr/bin/env bash
# A Wine prefix of its own for the tests on the virtual-board driver, with a
# server that stays up between the tests (the boards live as long as it does).
#   vboard_prefix.sh setup|cleanup FOLDER
set -euo pipefail
action=$1
export WINEPREFIX=$2
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[[ -x "$wine" ]] || wine=$(command -v wine64 || command -v wine)
[[ -x "$wineserver" ]] || wineserver=$(command -v wineserver)
# Only ever a prefix (system.reg) or nothing is removed.
if [[ -e "$WINEPREFIX" && ! -f "$WINEPREFIX/system.reg" ]]; then
  echo "$WINEPREFIX is not a Wine prefix; left alone" >&2
  exit 1
fi
case $action in
  setup)
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    "$wine" wineboot --init >/dev/null 2>&1
    # Right after a first wineboot two services.exe run, each with its own
    # service database, and a driver installed then is never started: the
    # prefix starts afresh.
    "$wineserver" -w
    # Its output goes nowhere: CTest waits until the test's output ends.
    "$wineserver" -p </dev/null >/dev/null 2>&1
    # The system processes (services, the drivers' hosts) start now, writing nowhere,
    # and stay with the server.
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  cleanup)
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    ;;
esac
