#!/usr/bin/env bash
# Password-encrypted files between the Linux and the Windows build: a file encrypted by one opens
# with the other, and both write the same bytes for the same password. Run by CTest in the
# Windows build, under Wine, against the Linux build's tool; 77 (skipped) where that is not built.
#   crypt_exchange.sh LINUX-TOOL WINE WINDOWS-TOOL
set -euo pipefail
linux_tool=$1 wine=$2 windows_tool=$3
if [[ ! -x "$linux_tool" ]]; then
  echo "skipped: no Linux build of the tool at $linux_tool (cmake --build --preset default)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/portprobe-crypt.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c 300007 /dev/urandom >"$work/plain"
printf 'パスワード 1' >"$work/password"
in_wine() { echo "Z:${1//\//\\}"; }
windows() { # encrypt|decrypt FROM TO
  "$wine" "$windows_tool" "$1" "$(in_wine "$2")" "$(in_wine "$3")" "$(in_wine "$work/password")"
}
"$linux_tool" encrypt "$work/plain" "$work/from-linux" "$work/password"
windows decrypt "$work/from-linux" "$work/opened-by-windows"
cmp "$work/plain" "$work/opened-by-windows"
windows encrypt "$work/plain" "$work/from-windows"
"$linux_tool" decrypt "$work/from-windows" "$work/opened-by-linux" "$work/password"
cmp "$work/plain" "$work/opened-by-linux"
cmp "$work/from-linux" "$work/from-windows"
echo "Linux -> Windows and Windows -> Linux: identical"
