#!/usr/bin/env bash
# Smoke test of the Windows toolchain (tests/win32): builds the smoke program natively against
# Debian's libraries to get the reference figures, cross-builds it with cmake/mingw-i686.cmake
# against the libraries of scripts/win32-deps.sh, and runs it under Wine with CTest.
# Needs scripts/setup.sh --windows to have run. Build folders: build/win32-smoke-native,
# build/win32-smoke.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${CORVANE_JOBS:-$(nproc 2>/dev/null || echo 2)}
native=$root/build/win32-smoke-native
cross=$root/build/win32-smoke

bash scripts/win32-deps.sh

cmake -S tests/win32 -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j "$jobs"
"$native/win32_smoke" --figures="$native/figures.txt"

cmake -S tests/win32 -B "$cross" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DSMOKE_REFERENCE="$native/figures.txt" \
  >/dev/null
cmake --build "$cross" -j "$jobs"
status=0
ctest --test-dir "$cross" -j "$jobs" --output-on-failure --no-tests=error || status=1
# Leave no Wine server behind for the prefix.
WINEPREFIX="$cross/wineprefix" wineserver -k 2>/dev/null || true
exit "$status"
