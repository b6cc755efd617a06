#!/usr/bin/env bash
# The README's run command: installs what is missing, builds the console and
# starts portprobe-demo (the console wired to a virtual USB-IO board).
# Without a graphical display it says so, runs the demo on a virtual display
# (Xvfb) instead and saves screenshots of its windows.
#   scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target portprobe-demo portprobe

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run: this machine has no graphical display (DISPLAY and WAYLAND_DISPLAY are not set),"
  echo "run: so the demo's windows cannot be shown here. Running it on a virtual display (Xvfb)"
  echo "run: instead and saving a screenshot of each window to build/screenshots/."
  exec bash scripts/screenshots.sh build/screenshots
fi
exec build/default/bin/portprobe-demo
