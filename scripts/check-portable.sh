#!/usr/bin/env bash
# Fails when code shared by the Linux and the Windows build names what exists on one of them only:
# char16_t, u"..." literals (OLECHAR, OleString and OLESTR mean the right type on each), 128-bit
# integers, the Linux layer's own text helpers or its headers. The platform's own folders
# (platform/linux, platform/windows, server/linux, server/windows, corvane-fx's platform_linux.cpp)
# and the tests are exempt.
set -euo pipefail
cd "$(dirname "$0")/.."
pattern='(^|[^A-Za-z0-9_])u"|char16_t|__int128|corvane::text|platform/linux/'
found=$(git grep -nE "$pattern" -- server framework effects host dsp include tools/corvane-fx \
          ':!server/linux' ':!server/windows' ':!tools/corvane-fx/platform_linux.cpp' |
        grep -E '^[^:]+\.(cpp|h|inc):' | grep -vE '^[^:]+:[0-9]+:\s*//' || true)
if [ -n "$found" ]; then
  printf 'not portable (use OLECHAR, OleString, OLESTR and platform/oletext.h):\n%s\n' "$found" >&2
  exit 1
fi
