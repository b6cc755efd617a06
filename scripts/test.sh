#!/usr/bin/env bash
# Builds PORTPROBE and runs every test: CMake's workflow presets, one per leg (list them with
# `cmake --workflow --list-presets`), and the steps that stay in shell: the Debian package's round
# trip, Qt for MinGW, the Windows installer's round trip. Installs what it needs first.
#   scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --windows-tools

# Qt for MinGW-w64 takes close to an hour beside the other steps where no cache has it yet:
# it is built in the background at the lowest priority, on the cycles the Linux legs leave idle.
# It is asked for again before the Windows programs, and waited for there (the build holds a
# lock); an interrupted build resumes.
setsid nice -n 19 bash scripts/build-qt-mingw.sh >/dev/null &
qt_pid=$!
stop_qt_build() { [[ -z "$qt_pid" ]] || kill -- -"$qt_pid" 2>/dev/null || true; }
trap stop_qt_build EXIT

# A warm machine rebuilds only what changed: every configuration compiles through ccache, with
# paths taken relative to the checkout so that another clone of the project hits the same cache.
export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"

leg() { # workflow preset: a leg of its own, timed
  local start=$SECONDS
  echo "== $1"
  cmake --workflow --preset "$@"
  echo "== $1 passed in $((SECONDS - start)) s"
}

leg ci-linux
leg ci-release
echo "== Debian package: build, lintian, install, start as root and as a user, remove"
if [[ $(id -u) -eq 0 ]]; then
  bash scripts/test-package.sh
else
  echo "skipped: installing the package needs root (CI runs as root)"
fi
leg ci-asan
leg ci-fuzz
leg ci-windows

echo "== Qt for MinGW-w64 (built in the background since the start, or taken from its cache)"
start=$SECONDS
PORTPROBE_QT_MINGW=$(bash scripts/build-qt-mingw.sh)
export PORTPROBE_QT_MINGW
wait "$qt_pid" || true
qt_pid=""
echo "ready after $((SECONDS - start)) s: $PORTPROBE_QT_MINGW"
# Qt's event dispatcher needs Wine's window driver even on the offscreen platform: a display of
# our own, nothing shown on it.
rm -rf build/windows-gui/packages
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" cmake --workflow --preset ci-windows-gui
bash scripts/test-windows-installer.sh build/windows-gui/packages/portprobe-*-win64.exe

echo "all tests passed"
