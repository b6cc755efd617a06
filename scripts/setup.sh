#!/usr/bin/env bash
# Installs the Debian packages PORTPROBE needs to build, test and run.
# Idempotent: packages already installed are skipped, and `apt-get update`
# runs at most once, only when something has to be installed.
#   scripts/setup.sh            build, tests and the program
#   scripts/setup.sh --windows  also the MinGW-w64 cross compiler, Wine, NSIS and Qt for MinGW
#   scripts/setup.sh --windows-tools  the same without building Qt (scripts/test.sh builds it
#                               in the background)
set -euo pipefail

packages=(
  g++ clang clang-format shellcheck cmake ninja-build pkg-config ccache
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins
  libgl-dev libxkbcommon-dev libxcb1-dev
  libssl-dev openssl libsqlite3-dev libglib2.0-dev shared-mime-info
  fonts-ipafont-gothic xdg-utils
  xvfb xauth x11-apps imagemagick xdotool python3
  python3-dev pybind11-dev python3-pytest
  dpkg-dev desktop-file-utils appstream lintian man-db
  libclang-rt-14-dev
  binutils-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-i686 g++-mingw-w64-i686
)
windows=0
if [[ "${1:-}" == "--windows" || "${1:-}" == "--windows-tools" ]]; then
  [[ "$1" == "--windows" ]] && windows=1
  # nsis: makensis for the Windows installer (cpack -G NSIS).
  packages+=(g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix wine64 wine nsis)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} > 0)); then
  sudo=""
  if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
  fi
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ((windows)); then
  # Qt for MinGW-w64 from Debian's source: built once into a cache (about 40 minutes on two
  # cores), reused afterwards.
  bash "$(dirname "$0")/build-qt-mingw.sh" >/dev/null
fi
