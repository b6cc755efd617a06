#!/usr/bin/env bash
# Installs the class library from a configured build folder into a temporary
# prefix and builds and runs the out-of-tree example program against it.
#   scripts/test-consumer.sh [build folder, default build/default]
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build/default}"
prefix=$(mktemp -d "${TMPDIR:-/tmp}/portprobe-prefix.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix/usr" --component classlib >/dev/null
cmake -S examples/classlib-consumer -B "$prefix/consumer" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix/usr" >/dev/null
cmake --build "$prefix/consumer"
"$prefix/consumer/classlib_consumer"
