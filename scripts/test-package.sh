#!/usr/bin/env bash
# Builds the Debian package and takes it through a user's round trip:
#   1. the "package" preset with Debian's hardening flags, `cpack -G DEB`;
#   2. desktop-file-validate, appstreamcli validate --no-net, lintian (no
#      error, and no warning but those the README's packaging section lists);
#   3. `apt-get install ./portprobe_<version>_amd64.deb`;
#   4. the installed portprobe-demo on a virtual display (Xvfb), once as root
#      and once as an unprivileged user with a HOME of its own: waits for the
#      main window, closes it as a window manager would, and checks that the
#      program ended normally, that its settings went to that user's config
#      folder and that nothing was written under /usr;
#   5. `apt-get purge`, then checks that nothing the package installed is left;
#   6. the class library's package the same way, with the example program
#      (examples/classlib-consumer) built against the installed library;
#   7. the Python package the same way: imported and its help read from /usr
#      by Debian's python3, its pytest plugin found through the entry point.
# Needs root (it installs a package). Run by scripts/test.sh.
#   scripts/test-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib.sh
source scripts/lib.sh

if [[ $(id -u) -ne 0 ]]; then
  echo "test-package: needs root (installs and removes the package)" >&2
  exit 1
fi
bash scripts/setup.sh
export DEBIAN_FRONTEND=noninteractive

# Lintian warnings that stay, each with its reason in the README.
lintian_accepted=initial-upload-closes-no-bugs

echo "-- building the package"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
cmake --preset package >/dev/null
cmake --build --preset package
rm -f build/package/*.deb
(cd build/package && cpack -G DEB)
deb=$(ls build/package/portprobe_*_amd64.deb)
echo "test-package: built $deb"

echo "-- desktop entries, metainfo, lintian"
desktop-file-validate build/package/resources/linux/share/applications/*.desktop
appstreamcli validate --no-net --pedantic build/package/resources/linux/share/metainfo/*.metainfo.xml
for package in build/package/*.deb; do
  # Lintian advises against root; its own checks do not depend on it.
  lintian --fail-on error,warning --suppress-tags "$lintian_accepted" "$package" \
    2> >(grep -v 'running with root privileges' >&2)
done

work=$(mktemp -d /tmp/portprobe-package.XXXXXX)
chmod 755 "$work"
xvfb_pid=""
program_pid=""
cleanup() {
  [[ -z "$program_pid" ]] || kill "$program_pid" 2>/dev/null || true
  [[ -z "$xvfb_pid" ]] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "-- installing"
if dpkg-query -W -f='${Status}' portprobe 2>/dev/null | grep -q 'installed'; then
  apt-get purge -y -qq portprobe >/dev/null
fi
apt-get install -y -qq "./$deb" >/dev/null
dpkg -L portprobe >"$work/installed.txt"
[[ -x /usr/bin/portprobe-demo && -x /usr/lib/portprobe/portprobe ]]
# The command-line program from PATH, on the virtual board, with its manual pages.
[[ "$(portprobe-io --virtual read)" == "0 0x00 00000000" ]]
grep -q '^/usr/share/man/ja/man1/portprobe-io.1.gz$' "$work/installed.txt"

# A display of our own; -ac: the unprivileged run connects to the same server.
start_xvfb 1280x1024x24 -ac
export DISPLAY="$xvfb_display"

# Runs the installed demo as user $1 (root or nobody) with a HOME of its own,
# until its main window shows; closes it and checks where the settings went.
run_demo() {
  local user=$1 home="$work/home-$1"
  mkdir -p "$home/tmp"
  local run=()
  if [[ "$user" != root ]]; then
    chown -R "$user:" "$home"
    run=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups --inh-caps=-all)
  fi
  chmod 700 "$home"
  # A bare environment: no XDG_CONFIG_HOME or runtime folder from this shell.
  "${run[@]}" env -i PATH=/usr/bin:/bin HOME="$home" TMPDIR="$home/tmp" TEMP="$home/tmp" \
    TMP="$home/tmp" DISPLAY="$DISPLAY" LANG=C.UTF-8 \
    portprobe-demo >"$work/demo-$user.log" 2>&1 &
  program_pid=$!

  local window=""
  for _ in $(seq 150); do
    window=$(xdotool search --onlyvisible --name '^PORTPROBE +$' 2>/dev/null | head -1 || true)
    [[ -n "$window" ]] && break
    if ! kill -0 "$program_pid" 2>/dev/null; then
      break
    fi
    sleep 0.2
  done
  if [[ -z "$window" ]]; then
    echo "test-package: the main window of portprobe-demo ($user) never showed" >&2
    cat "$work/demo-$user.log" >&2
    return 1
  fi
  echo "test-package: main window of portprobe-demo ($user) shown"
  close_window "$window"

  # The end window stays two seconds; then the program ends with status 0.
  local status=0
  for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$program_pid" 2>/dev/null; then
    echo "test-package: portprobe-demo ($user) did not end after its window was closed" >&2
    return 1
  fi
  wait "$program_pid" || status=$?
  program_pid=""
  if [[ $status -ne 0 ]]; then
    echo "test-package: portprobe-demo ($user) ended with status $status" >&2
    cat "$work/demo-$user.log" >&2
    return 1
  fi

  local settings="$home/.config/portprobe/setting.ini"
  if ! grep -q '^StrVendorID=1352' "$settings" 2>/dev/null; then
    echo "test-package: no settings in $settings ($user)" >&2
    return 1
  fi
  if [[ "$(stat -c %U "$settings")" != "$user" ]]; then
    echo "test-package: $settings does not belong to $user" >&2
    return 1
  fi
  echo "test-package: settings of $user in $settings"
}

echo "-- the installed demo, as root and as an unprivileged user"
marker="$work/marker"
touch "$marker"
sleep 1
run_demo root
run_demo nobody
written=$(find /usr /lib/udev -xdev \( -newer "$marker" -o -cnewer "$marker" \) -print)
if [[ -n "$written" || -e /usr/lib/portprobe/setting.ini.tmp ]]; then
  echo "test-package: written under /usr while the program ran:" >&2
  echo "$written" >&2
  exit 1
fi
if ! cmp -s /usr/lib/portprobe/setting.ini resources/setting.ini; then
  echo "test-package: the shipped setting.ini was changed" >&2
  exit 1
fi
echo "test-package: nothing written under /usr"

# Everything package $1 installed (listed in $2) is gone, but folders that
# other packages share.
check_removed() {
  local left=()
  while read -r path; do
    [[ -e "$path" || -L "$path" ]] || continue
    if [[ -d "$path" && ! -L "$path" ]] && dpkg -S "$path" >/dev/null 2>&1; then
      continue
    fi
    case "$path" in
      / | /usr | /lib) continue ;;
    esac
    left+=("$path")
  done <"$2"
  if ((${#left[@]} > 0)); then
    echo "test-package: left behind after removing $1: ${left[*]}" >&2
    return 1
  fi
  echo "test-package: $1 removed, nothing left"
}

echo "-- removing"
apt-get purge -y -qq portprobe >/dev/null
check_removed portprobe "$work/installed.txt"

# The class library's package: the example program builds against /usr alone.
dev=$(ls build/package/portprobe-classlib-dev_*_amd64.deb 2>/dev/null || true)
if [[ -n "$dev" ]]; then
  echo "-- the class library's package: install, build the example against it, remove"
  if dpkg-query -W -f='${Status}' portprobe-classlib-dev 2>/dev/null | grep -q 'installed'; then
    apt-get purge -y -qq portprobe-classlib-dev >/dev/null
  fi
  apt-get install -y -qq "./$dev" >/dev/null
  dpkg -L portprobe-classlib-dev >"$work/installed-dev.txt"
  cmake -S examples/classlib-consumer -B "$work/consumer" -G Ninja >/dev/null
  cmake --build "$work/consumer" >/dev/null
  "$work/consumer/classlib_consumer" >/dev/null
  echo "test-package: the example program built against the installed class library and ran"
  apt-get purge -y -qq portprobe-classlib-dev >/dev/null
  check_removed portprobe-classlib-dev "$work/installed-dev.txt"
fi
# The Python package: imports from /usr alone (no PYTHONPATH, outside the tree).
py=$(ls build/package/python3-portprobe_*_amd64.deb 2>/dev/null || true)
if [[ -n "$py" ]]; then
  echo "-- the Python package: install, import and read its help from /usr, remove"
  if dpkg-query -W -f='${Status}' python3-portprobe 2>/dev/null | grep -q 'installed'; then
    apt-get purge -y -qq python3-portprobe >/dev/null
  fi
  apt-get install -y -qq --no-install-recommends "./$py" >/dev/null
  dpkg -L python3-portprobe >"$work/installed-py.txt"
  # The help goes to a file first: grep -q stops reading at its first match.
  (cd "$work" && env -u PYTHONPATH PAGER=cat /usr/bin/python3 -c 'import portprobe; help(portprobe)' \
    >"$work/help.txt")
  grep -q 'class BoardLost' "$work/help.txt"
  (cd "$work" && env -u PYTHONPATH /usr/bin/python3 -c '
import portprobe
assert portprobe.__file__.startswith("/usr/lib/python3/dist-packages/portprobe/")
with portprobe.VirtualBoard() as sim, portprobe.Board() as board:
    board.port1 = "1010"
    assert sim.outputs == 10')
  if /usr/bin/python3 -c 'import pytest' 2>/dev/null; then
    # No tests in the folder: pytest's status says so; its plugin list is what counts.
    plugins=$(
      cd "$work" || exit
      env -u PYTHONPATH /usr/bin/python3 -m pytest --trace-config --co -q -p no:cacheprovider 2>&1
    ) || true
    grep -q 'portprobe.pytest_plugin' <<<"$plugins"
  fi
  echo "test-package: portprobe imported from /usr, its help read"
  apt-get purge -y -qq python3-portprobe >/dev/null
  check_removed python3-portprobe "$work/installed-py.txt"
fi
echo "package round trip passed"
