#!/usr/bin/env bash
# Qt 6 for x86_64-w64-mingw32 (Core, Gui, Widgets, Test, the windows/offscreen/minimal platform
# plugins), built from Debian's own qt6-base source against the host Qt tools of the same version.
# Prints the install prefix as its last line; everything else goes to standard error.
#
#   bash scripts/build-qt-mingw.sh [--configure-only]
#
# The prefix is a cache folder named after the source version and this script's hash, under
# $PORTPROBE_QT_CACHE (default ~/.cache/portprobe). A complete cache is reused as it is; an
# interrupted build resumes from its build folder beside the cache. A prebuilt prefix at
# ../shared/qt6-mingw (or $PORTPROBE_QT_SHARED) is used instead when its BUILD-INFO.md names the
# same source version and options. Only Debian packages are downloaded; the machine's apt sources
# are left alone (a private configuration holds the one deb-src entry).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
self="$repo/scripts/build-qt-mingw.sh"
configure_only=0
[[ "${1:-}" == "--configure-only" ]] && configure_only=1

say() { echo "qt-mingw: $*" >&2; }

# The source must match the host tools (moc, rcc, uic) exactly.
srcver=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
# Off: what the windows never use; jpeg and gif are image plugins nothing deploys. (direct2d
# stays on: with it off, Qt 6.4.2 leaves out Gui's DirectWrite code the Windows plugin still links.)
features_off=(sql dbus opengl network concurrent xml printsupport vulkan jpeg gif)
bundled=(zlib pcre2 harfbuzz png freetype doubleconversion)
hash=$(sha256sum "$self" | cut -c1-12)
cache_root="${PORTPROBE_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/portprobe}"
cache="$cache_root/qt6-mingw-${srcver//[^A-Za-z0-9.+-]/_}-$hash"
work="$cache.build"

# What BUILD-INFO.md says about a prefix: the same source and compilers, and no feature off that
# is on here (a prefix built with more serves as well).
info_source="source \`qt6-base $srcver\`"
info_features="features off: ${features_off[*]}"

usable() { # prefix
  [[ -f "$1/BUILD-INFO.md" && -f "$1/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" &&
    -f "$1/plugins/platforms/qwindows.dll" && -f "$1/plugins/imageformats/qico.dll" &&
    -f "$1/bin/Qt6Test.dll" ]] &&
    grep -qF "$info_source" "$1/BUILD-INFO.md" && grep -qF "g++-posix" "$1/BUILD-INFO.md" || return 1
  local line f
  line=$(grep -o 'features off: [a-z0-9_ ]*' "$1/BUILD-INFO.md" | head -n 1) || return 1
  for f in ${line#features off: }; do
    [[ " ${features_off[*]} " == *" $f "* ]] || return 1
  done
}

# Prints the cache and ends the script when it is complete.
use_cache() { # [how it came]
  if ((!configure_only)) && usable "$cache"; then
    say "using the cache $cache${1:+ ($1)}"
    echo "$cache"
    exit 0
  fi
}

shared="${PORTPROBE_QT_SHARED:-$repo/../shared/qt6-mingw}"
use_cache
if ((!configure_only)) && [[ -d "$shared" ]] && usable "$shared"; then
  say "using the prebuilt $(realpath "$shared") (same source, no feature missing)"
  realpath "$shared"
  exit 0
fi

# One build at a time: a second run (scripts/test-windows.sh while scripts/test.sh builds in the
# background) waits for the first and then takes what it installed.
mkdir -p "$cache_root"
exec 9>"$cache.lock"
if ! flock -n 9; then
  say "another run is building this Qt; waiting for it"
  flock 9
fi
use_cache "built by that run"

mkdir -p "$work"
started=$SECONDS

# 1. Source: Debian's qt6-base of the host tools' version, unpacked and patched once.
srcdir="$work/src/qtbase"
if [[ ! -f "$work/.source-done" ]]; then
  say "getting qt6-base $srcver source from Debian"
  rm -rf "$work/src" "$work/apt"
  mkdir -p "$work/apt/lists/partial" "$work/apt/parts" "$work/src"
  cat >"$work/apt/parts/deb-src.sources" <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  : >"$work/apt/none"
  apt_opts=(-o "Dir::Etc::SourceParts=$work/apt/parts" -o "Dir::Etc::SourceList=$work/apt/none"
    -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
  apt-get "${apt_opts[@]}" -qq update >&2
  (cd "$work/src" && apt-get "${apt_opts[@]}" -qq source --download-only "qt6-base=$srcver" >&2)
  tar xf "$work/src"/qt6-base_*.orig.tar.* -C "$work/src"
  mv "$work/src"/qtbase-everywhere-src-* "$srcdir"
  # The +dfsg source drops Wacom's wintab.h, which the Windows platform plugin includes. Wine's
  # LGPL headers (Debian's libwine-dev, unpacked, not installed) serve, behind a shim for the
  # Wine-only macros they use.
  (cd "$work/src" && apt-get -qq download libwine-dev >&2 && dpkg-deb -x libwine-dev_*.deb wine-dev)
  wintab="$srcdir/src/3rdparty/wintab"
  mkdir -p "$wintab"
  cp "$work/src/wine-dev/usr/include/wine/wine/windows/wintab.h" "$wintab/wintab_wine.h"
  cp "$work/src/wine-dev/usr/include/wine/wine/windows/pktdef.h" "$wintab/pktdef.h"
  cat >"$wintab/wintab.h" <<'SHIM'
/* Wine's wintab.h (LGPL, from Debian's libwine-dev) with the Wine-only macros it needs. */
#ifndef QT_WINTAB_SHIM_H
#define QT_WINTAB_SHIM_H
#include <windows.h>
#ifndef DECL_WINELIB_TYPE_AW
# ifdef UNICODE
#  define DECL_WINELIB_TYPE_AW(type) typedef type##W type;
# else
#  define DECL_WINELIB_TYPE_AW(type) typedef type##A type;
# endif
#endif
#ifndef WINELIB_NAME_AW
# ifdef UNICODE
#  define WINELIB_NAME_AW(func) func##W
# else
#  define WINELIB_NAME_AW(func) func##A
# endif
#endif
#ifndef API
# define API WINAPI
#endif
#include "wintab_wine.h"
#endif
SHIM
  # Qt 6.4.2 keeps dynamicgl on when OpenGL is off, and the Windows plugin then refers to an
  # OpenGL context it does not have: those two places need the OpenGL feature too.
  sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$srcdir/src/plugins/platforms/windows/qwindowswindow.cpp"
  grep -q 'QT_CONFIG(dynamicgl) && QT_CONFIG(opengl)' "$srcdir/src/plugins/platforms/windows/qwindowswindow.cpp"
  rm -rf "$work/src"/*.deb "$work/src/wine-dev" "$work/apt"
  touch "$work/.source-done"
fi

# 2. Configure (once; a resumed build keeps its configuration).
if [[ ! -f "$work/.configured" ]]; then
  cat >"$work/toolchain.cmake" <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
TC
  options=(-DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF)
  for f in "${features_off[@]}"; do options+=("-DFEATURE_$f=OFF"); done
  for f in "${bundled[@]}"; do options+=("-DFEATURE_system_$f=OFF"); done
  say "configuring (about a minute and a half)"
  rm -rf "$work/build"
  cmake -S "$srcdir" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$cache" "${options[@]}" \
    >"$work/configure.log" 2>&1 || {
    tail -n 30 "$work/configure.log" >&2
    exit 1
  }
  touch "$work/.configured"
  say "configured in $((SECONDS - started)) s"
fi
if ((configure_only)); then
  say "configured; build folder $work"
  exit 0
fi

# 3. Build, one progress line per module (ninja resumes where an interrupted build stopped).
total=$(ninja -C "$work/build" -n 2>/dev/null | tail -n 1 | sed -n 's#^\[[0-9]*/\([0-9]*\)\].*#\1#p')
say "building ${total:-?} steps left"
# Read line by line in the shell: awk would hold the lines back until its input buffer fills.
progress() {
  local line step module last="" step_re='^\[([0-9]+/[0-9]+)\]'
  local module_re='src/(plugins/[a-z]+/[a-z0-9_]+|3rdparty/[A-Za-z0-9_.-]+|[a-z0-9_]+)'
  while IFS= read -r line; do
    if [[ $line =~ $step_re ]]; then
      step=${BASH_REMATCH[1]}
      [[ $line =~ $module_re ]] || continue
      module=${BASH_REMATCH[1]}
      [[ $module == "$last" ]] || say "[$step] $module"
      last=$module
    elif [[ $line == *FAILED* || $line == *error:* ]]; then
      echo "$line" >&2
    fi
  done
}
nice -n 10 ninja -C "$work/build" -j "${PORTPROBE_QT_JOBS:-$(nproc)}" 2>&1 | tee "$work/build.log" | progress
say "built in $((SECONDS - started)) s"

# 4. Install beside the cache, then move into place: a cache folder is always complete.
partial="$cache.partial"
rm -rf "$partial" "$cache"
DESTDIR="" cmake --install "$work/build" --prefix "$partial" >/dev/null
cat >"$partial/BUILD-INFO.md" <<INFO
# Qt $srcver for x86_64-w64-mingw32, built from Debian's qt6-base source

Made by PORTPROBE's \`scripts/build-qt-mingw.sh\` (hash $hash):
- $info_source (\`apt-get source\`), bundled ${bundled[*]}; Wine's LGPL \`wintab.h\`/\`pktdef.h\`
  (Debian \`libwine-dev\`) behind a shim; \`qwindowswindow.cpp\`'s \`QT_CONFIG(dynamicgl)\` guards also require \`opengl\`;
- compilers \`x86_64-w64-mingw32-gcc-posix\` / \`g++-posix\`;
- host tools \`QT_HOST_PATH=/usr\`, \`QT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake\`;
- Release; $info_features; no examples, no tests.
Build time: $((SECONDS - started)) s.
INFO
mv "$partial" "$cache"
rm -rf "$work"
say "installed in $cache"
echo "$cache"
