#!/usr/bin/env bash
# Builds PORTPROBE and runs every test: the debug build, the release build
# (built in full, so it cannot break unseen), the Debian package's round trip
# (scripts/test-package.sh), the whole suite once more under AddressSanitizer +
# UndefinedBehaviorSanitizer, the fuzz targets for a fixed time each, and the
# Windows build under Wine (scripts/test-windows.sh). Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds="${PORTPROBE_FUZZ_SECONDS:-60}"

bash scripts/setup.sh --windows-tools

# Qt for MinGW-w64 takes close to an hour beside the other steps where no cache has it yet:
# it is built in the background at the lowest priority, on the cycles the Linux steps leave idle
# (tests, Wine, the fuzzers' second core). scripts/test-windows.sh asks for it again before the
# Windows programs and waits there (the build holds a lock); its progress lines
# ("qt-mingw: ...") run through this log, and an interrupted build resumes.
setsid nice -n 19 bash scripts/build-qt-mingw.sh >/dev/null &
qt_pid=$!
stop_qt_build() { [[ -n "$qt_pid" ]] && kill -- -"$qt_pid" 2>/dev/null || true; }
trap stop_qt_build EXIT

# A warm machine rebuilds only what changed: every configuration compiles
# through ccache, with paths taken relative to the checkout so that another
# clone of the project hits the same cache.
export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"

echo "== formatting (.clang-format)"
find app bench classlib cli drivers examples forms fuzz platform python resources support tests usbio \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) \
  -print0 2>/dev/null | xargs -0 clang-format --dry-run --Werror

echo "== debug build and tests"
cmake --preset default
cmake --build --preset default
ctest --preset default

echo "== release build (optimised, benchmarks; warnings stay warnings as for users)"
cmake --preset release
cmake --build --preset release

echo "== class library: install, and build the example program against it"
bash scripts/test-consumer.sh build/default

echo "== Debian package: build, lintian, install, start as root and as a user, remove"
if [[ $(id -u) -eq 0 ]]; then
  bash scripts/test-package.sh
else
  echo "skipped: installing the package needs root (CI runs as root)"
fi

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

echo "== fuzz targets (${fuzz_seconds} s each)"
cmake --preset fuzz
cmake --build --preset fuzz
for target in build/fuzz/fuzz/fuzz_*; do
  [[ -x "$target" ]] || continue
  name=$(basename "$target")
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="fuzz/corpus/$name"
  [[ -d "$seeds" ]] || seeds=""
  echo "-- $name"
  "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 -close_fd_mask=3 \
    "$corpus" ${seeds:+"$seeds"}
done
echo "== Windows build under Wine (the Windows programs wait there for the Qt build)"
bash scripts/test-windows.sh
wait "$qt_pid" || true
qt_pid=""

echo "all tests passed"
