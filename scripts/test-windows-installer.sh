#!/usr/bin/env bash
# The Windows installer's round trip under Wine, in a fresh prefix, as a user's:
#   1. silent install (/S): the programs, DLLs, plugins and shipped files in Program Files, Start
#      menu entries for both programs;
#   2. the installed demo on a virtual display (Xvfb) with Qt's Windows platform plugin: the main
#      window and the board window appear, P1_3 plus output start light the board's LED, a changed
#      product ID is saved on close beside the program (a writable folder), the end window shows,
#      exit status 0;
#   3. the same with the program's folder read-only: the settings go to %APPDATA%\portprobe;
#   4. the installer again (an upgrade): the setting.ini beside the program is the user's, as it was;
#   5. silent uninstall: nothing is left but the user's settings, beside the program and in %APPDATA%;
#   6. an install into a folder holding another program's file (/D=): it goes into a PORTPROBE
#      folder under it, and that file stays as it was, through the uninstall too.
# With an earlier installer as well, step 1 installs that one, so the upgrade runs its uninstaller.
# Runs Wine as an unprivileged user when started as root, so a read-only folder refuses writes.
#   scripts/test-windows-installer.sh <installer.exe> [<earlier installer.exe>]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib.sh
source scripts/lib.sh
installer=$(realpath "$1")
first_installer=$(realpath "${2:-$1}")

find_wine

work=$(mktemp -d /tmp/portprobe-wine-install.XXXXXX)
chmod 755 "$work"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
  chown nobody: "$work"
  as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --inh-caps=-all)
fi
xvfb_pid=""
program_pid=""
run() {
  "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$work" WINEPREFIX="$work/prefix" WINEARCH=win64 \
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY="${DISPLAY:-}" LC_ALL=ja_JP.UTF-8 "$@"
}
cleanup() {
  [[ -z "$program_pid" ]] || kill "$program_pid" 2>/dev/null || true
  run "$wineserver" -k >/dev/null 2>&1 || true
  [[ -z "$xvfb_pid" ]] || kill "$xvfb_pid" 2>/dev/null || true
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "test-windows-installer: $*" >&2
  exit 1
}

# A display of our own (-ac: the unprivileged user connects), wide enough for
# the board window beside the console.
start_xvfb 1920x1080x24 -ac
export DISPLAY="$xvfb_display"

echo "-- fresh Wine prefix"
run "$wine" wineboot --init >/dev/null 2>&1
run "$wineserver" -w
drive_c="$work/prefix/drive_c"
(cd "$drive_c" && find . | sort) >"$work/before.txt"

cp "$installer" "$work/setup.exe"
cp "$first_installer" "$work/first-setup.exe"
chmod 644 "$work/setup.exe" "$work/first-setup.exe"
run_installer() { # installer file name in $work, installer options
  run "$wine" "Z:${work//\//\\}\\$1" /S "${@:2}" >/dev/null 2>&1
  run "$wineserver" -w
}
installed_in() { # folder
  for file in portprobe.exe portprobe-demo.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll \
    platforms/qwindows.dll sys/icon.ico index.html setting.ini Uninstall.exe; do
    [[ -f "$1/$file" ]] || fail "not installed in $1: $file"
  done
}

echo "-- silent install"
run_installer first-setup.exe
folder="$drive_c/Program Files/PORTPROBE"
installed_in "$folder"
links=$(cd "$drive_c" && find . -path '*Start Menu*' -name '*.lnk' | sort)
grep -q '/PORTPROBE\.lnk$' <<<"$links" || fail "no Start menu entry for PORTPROBE: $links"
grep -q '/PORTPROBE demo\.lnk$' <<<"$links" || fail "no Start menu entry for the demo: $links"
echo "installed in Program Files\\PORTPROBE; Start menu: $(grep -c . <<<"$links") entries"

end_window_of() { # main and board window ids; the program's next visible window, up to 30 s
  for _ in $(seq 150); do
    for id in $(xdotool search --onlyvisible --class 'portprobe-demo' 2>/dev/null); do
      [[ "$id" != "$1" && "$id" != "$2" && -n "$(xdotool getwindowname "$id")" ]] && {
        echo "$id"
        return 0
      }
    done
    sleep 0.2
  done
  return 1
}
# Runs the installed demo once; $1 names the run. Types product ID $2 before closing.
run_demo() {
  run "$wine" 'C:\Program Files\PORTPROBE\portprobe-demo.exe' >"$work/demo.log" 2>&1 &
  program_pid=$!
  local main board
  main=$(window_of '^PORTPROBE') || fail "$1: the main window never showed"
  # Wine titles the X windows in the host's locale; ASCII parts match in any.
  board=$(window_of 'USB-IO') || fail "$1: the board window never showed"
  sleep 1
  local before after
  before=$(red_pixels "$board" "$work/shot.png")
  click() { click_client "$main" "$@"; }
  click 142 190 # P1_3
  click 66 174  # 出力開始
  sleep 0.5
  after=$(red_pixels "$board" "$work/shot.png")
  ((after > before + 20)) || fail "$1: the board's LED did not light (red pixels $before -> $after)"
  click 66 174 # 出力停止
  click 470 172 # ProductID
  xdotool key ctrl+a
  xdotool type "$2"
  sleep 0.3
  close_window "$main"
  end_window_of "$main" "$board" >/dev/null || fail "$1: no end window"
  local status=0
  wait "$program_pid" || status=$?
  program_pid=""
  ((status == 0)) || { cat "$work/demo.log" >&2; fail "$1: exit status $status"; }
  run "$wineserver" -w
  echo "$1: windows shown, LED lit (red pixels $before -> $after), end window, exit 0"
}

echo "-- the installed demo, its folder writable"
run_demo "writable folder" 0100
grep -q '^StrPeroductID=0100' "$folder/setting.ini" || fail "settings not written beside the program"
compgen -G "$drive_c/users/*/AppData/Roaming/portprobe/setting.ini" >/dev/null &&
  fail "settings written to %APPDATA% though the program's folder is writable"
echo "settings beside the program"

echo "-- the installed demo, its folder read-only"
chmod a-w "$folder"
run_demo "read-only folder" 00100
chmod u+w "$folder"
user_settings=$(compgen -G "$drive_c/users/*/AppData/Roaming/portprobe/setting.ini") ||
  fail "settings not written to %APPDATA%\\portprobe"
grep -q '^StrPeroductID=00100' "$user_settings" || fail "wrong settings in $user_settings"
grep -q '^StrPeroductID=0100' "$folder/setting.ini" || fail "the read-only folder's settings changed"
echo "settings in %APPDATA%\\portprobe"

echo "-- the installer again, over the installed copy"
cp "$folder/setting.ini" "$work/user-setting.ini"
run_installer setup.exe
installed_in "$folder"
cmp -s "$work/user-setting.ini" "$folder/setting.ini" ||
  fail "the upgrade changed the user's setting.ini: $(tr '\r\n' '  ' <"$folder/setting.ini")"
echo "upgraded; the user's setting.ini as it was"

echo "-- silent uninstall"
run "$wine" 'C:\Program Files\PORTPROBE\Uninstall.exe' /S >/dev/null 2>&1
run "$wineserver" -w
(cd "$drive_c" && find . | sort) >"$work/after.txt"
# Left: the user's settings, and in %TEMP% the uninstaller's running copy (NSIS has Windows
# delete it at the next start).
left=$(comm -13 "$work/before.txt" "$work/after.txt" | grep -Ev '^\./users/[^/]+/(Temp|AppData/Local/Temp)/' |
  grep -Ev '/AppData/Roaming/portprobe(/setting\.ini)?$' | grep -Fxv -e './Program Files/PORTPROBE' \
  -e './Program Files/PORTPROBE/setting.ini' || true)
[[ -z "$left" ]] || fail "left after uninstalling: $left"
cmp -s "$work/user-setting.ini" "$folder/setting.ini" ||
  fail "the uninstaller removed or changed the setting.ini beside the program"
[[ -f "$user_settings" ]] || fail "the uninstaller removed the user's settings in %APPDATA%"
if grep -q 'CurrentVersion\\\\Uninstall\\\\PORTPROBE' "$work/prefix/system.reg"; then
  fail "the uninstall registry key is left"
fi
echo "uninstalled; only the user's settings are left, beside the program and in %APPDATA%"

echo "-- an install into a folder holding another program's file"
mkdir "$drive_c/Tools"
echo "another program's page" >"$drive_c/Tools/index.html"
cp "$drive_c/Tools/index.html" "$work/foreign.html"
chown -R --reference="$drive_c" "$drive_c/Tools"
run_installer setup.exe '/D=C:\Tools'
installed_in "$drive_c/Tools/PORTPROBE"
cmp -s "$work/foreign.html" "$drive_c/Tools/index.html" || fail "the install overwrote C:\\Tools\\index.html"
run "$wine" 'C:\Tools\PORTPROBE\Uninstall.exe' /S >/dev/null 2>&1
run "$wineserver" -w
[[ ! -e "$drive_c/Tools/PORTPROBE/portprobe.exe" ]] || fail "C:\\Tools\\PORTPROBE not uninstalled"
cmp -s "$work/foreign.html" "$drive_c/Tools/index.html" ||
  fail "the uninstaller removed or changed C:\\Tools\\index.html"
echo "test-windows-installer: installed into C:\\Tools\\PORTPROBE; C:\\Tools\\index.html untouched"
