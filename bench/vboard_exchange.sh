#!/usr/bin/env bash
# One Port0 exchange through Wine's HID stack on a board of the virtual-board
# driver: the device link (gUSBIO_ReadP0) against a bare C program doing the
# same SetupAPI search, CreateFile, WriteFile and overlapped ReadFile, in one
# prefix, taking turns. Builds the Windows programs (optimised) unless a build
# folder is given.
#   bench/vboard_exchange.sh [EXCHANGES] [BUILD-FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib.sh
source scripts/lib.sh
n=${1:-1000}
build=${2:-}
if [[ -z "$build" ]]; then
  build=build/windows-bench
  # -O2 as the Windows programs are built (GCC 12's -O3 warns falsely on std::string).
  cmake --preset windows-wine -B "$build" -DCMAKE_BUILD_TYPE=Release -DPORTPROBE_BUILD_BENCH=ON \
    -DPORTPROBE_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" >/dev/null
  cmake --build "$build" --target vboard_link_exchange vboard_bare_exchange portprobe-vboard vboard_sys
fi
find_wine
prefix=$(mktemp -d "${TMPDIR:-/tmp}/portprobe-vboard-bench.XXXXXX")/prefix
trap 'remove_prefix "$prefix"; rmdir "$(dirname "$prefix")"' EXIT
fresh_prefix "$prefix" --drivers
"$wine" "$build/drivers/vboard/portprobe-vboard.exe" install >/dev/null
for round in 1 2 3; do
  echo "== round $round"
  "$wine" "$build/bench/vboard_bare_exchange.exe" "$n"
  "$wine" "$build/bench/vboard_link_exchange.exe" "$n"
done
