#!/usr/bin/env bash
# Cross-builds the Qt-free core and its tests for 64-bit Windows with MinGW-w64
# and runs the tests under Wine: head-less, in a throw-away Wine prefix that is
# removed afterwards. Then the windows: Qt for MinGW (built from Debian's source
# or taken from its cache), the two programs, their window tests under Wine, the
# console clicked on a board of the virtual-board driver (scripts/test-windows-console.sh), the
# .zip and the installer, and the installer's round trip
# (scripts/test-windows-installer.sh). Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/xvfb.sh
source scripts/xvfb.sh

# Qt for MinGW is built (or waited for) where the Windows programs need it.
bash scripts/setup.sh --windows-tools

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[[ -x "$wine" ]] || wine=$(command -v wine64 || command -v wine)
[[ -x "$wineserver" ]] || wineserver=$(command -v wineserver)

wine_root=$(mktemp -d "${TMPDIR:-/tmp}/portprobe-wine.XXXXXX")
export WINEPREFIX="$wine_root/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No first-run installers for Mono and Gecko: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# The prefix is thrown away: tests may delete what belongs to its user (the key container).
export PORTPROBE_THROWAWAY_WINE_PREFIX=1
# No display: Wine runs with its null driver and message boxes cannot open.
unset DISPLAY WAYLAND_DISPLAY

xvfb_pid=""
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  # The virtual-board driver's prefix (tests/vboard_prefix.sh), should its tests have stopped short.
  WINEPREFIX="$PWD/build/windows-wine/vboard-prefix" "$wineserver" -k >/dev/null 2>&1 || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$wine_root"
}
trap cleanup EXIT

echo "== Windows cross build (MinGW-w64)"
cmake --preset windows-wine
cmake --build --preset windows-wine

echo "== Wine prefix"
start=$SECONDS
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w
echo "prepared in $((SECONDS - start)) s"

echo "== tests under Wine"
# The test preset runs Wine with a Japanese locale: code page 932, as on the
# systems the program's texts are written for. The tests on boards of the
# virtual-board driver (drivers/vboard) make a prefix of their own and install
# the driver there.
ctest --preset windows-wine

echo "== password-encrypted files between the Linux and the Windows build"
# A file encrypted by one build must decrypt with the other, and both builds
# must write the same bytes for the same password.
cmake --preset default >/dev/null
cmake --build --preset default --target crypt_file_tool
linux_tool=build/default/tests/classlib/crypt_file_tool
windows_tool=build/windows-wine/tests/classlib/crypt_file_tool.exe
exchange="$wine_root/exchange"
mkdir -p "$exchange"
head -c 300007 /dev/urandom >"$exchange/plain"
printf 'パスワード 1' >"$exchange/password"
in_wine() { echo "Z:${1//\//\\}"; }
run_windows_tool() {
  LC_ALL=ja_JP.UTF-8 "$wine" "$windows_tool" "$1" "$(in_wine "$2")" "$(in_wine "$3")" \
    "$(in_wine "$exchange/password")"
}
"$linux_tool" encrypt "$exchange/plain" "$exchange/from-linux" "$exchange/password"
run_windows_tool decrypt "$exchange/from-linux" "$exchange/opened-by-windows"
cmp "$exchange/plain" "$exchange/opened-by-windows"
run_windows_tool encrypt "$exchange/plain" "$exchange/from-windows"
"$linux_tool" decrypt "$exchange/from-windows" "$exchange/opened-by-linux" "$exchange/password"
cmp "$exchange/plain" "$exchange/opened-by-linux"
cmp "$exchange/from-linux" "$exchange/from-windows"
echo "Linux -> Windows and Windows -> Linux: identical"

echo "== Windows programs: Qt for MinGW-w64, window tests under Wine, .zip and installer"
start=$SECONDS
PORTPROBE_QT_MINGW=$(bash scripts/build-qt-mingw.sh)
export PORTPROBE_QT_MINGW
echo "Qt for MinGW ready after $((SECONDS - start)) s: $PORTPROBE_QT_MINGW"
start=$SECONDS
# The pictures are rendered by the host's renderer (the Windows Qt has no Svg module).
cmake --build --preset default --target render_artwork
cmake --preset windows-gui
cmake --build --preset windows-gui --target portprobe_deploy portprobe_window_tests portprobe-vboard
echo "built in $((SECONDS - start)) s"

# Qt's event dispatcher needs Wine's window driver even on the offscreen platform:
# a display of our own, nothing shown on it.
start_xvfb 1280x1024x24
start=$SECONDS
DISPLAY="$xvfb_display" ctest --preset windows-gui -R '^tst_'
echo "window tests under Wine in $((SECONDS - start)) s"
kill "$xvfb_pid"
xvfb_pid=""

# The console itself on a board of the virtual-board driver, clicked on a display of its own.
start=$SECONDS
bash scripts/test-windows-console.sh build/windows-gui
echo "the console on the driver's board in $((SECONDS - start)) s"

start=$SECONDS
rm -f build/windows-gui/portprobe-*-win64.*
(cd build/windows-gui && cpack)
echo "packed in $((SECONDS - start)) s"
start=$SECONDS
bash scripts/test-windows-installer.sh build/windows-gui/portprobe-*-win64.exe
echo "installer round trip in $((SECONDS - start)) s"
