#!/usr/bin/env bash
# Runs a Windows program under Wine in the given prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
# The toolchain file uses it as CMake's cross-compiling emulator.
set -euo pipefail
prefix=${1:?usage: wine-run.sh PREFIX PROGRAM [ARGS...]}
shift
if [ ! -f "$prefix/.corvane-ready" ]; then
  # Letting Wine create the prefix here would race between parallel tests.
  echo "wine-run: no Wine prefix at $prefix; create it with scripts/wine-prefix.sh" >&2
  exit 2
fi
source "$(dirname "$0")/wine-env.sh"
export WINEPREFIX=$prefix
exec wine "$@"
