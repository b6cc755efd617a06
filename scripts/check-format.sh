#!/usr/bin/env bash
# The format check (CTest "format"): every C and C++ source as .clang-format lays it out, and every
# shell script clean under shellcheck (.shellcheckrc). Prints what differs; fails if anything does.
#   scripts/check-format.sh
set -euo pipefail
cd "$(dirname "$0")/.."

find app bench classlib cli drivers examples forms fuzz platform python resources support tests usbio \
  \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 |
  xargs -0 clang-format --dry-run --Werror
# Scripts follow what they source (-x), from the checkout's root as their directives say.
find scripts bench tests examples python .ci \( -name '*.sh' -o -path .ci/run \) -print0 | xargs -0 shellcheck -x
