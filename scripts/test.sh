#!/usr/bin/env bash
# Configures, builds and runs the test suite in the default and the sanitizer build, then the
# fuzz targets, then the 32-bit Windows build with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
status=0
bash scripts/check-format.sh || status=1
bash scripts/check-portable.sh || status=1
for preset in default asan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs" || status=1
done
# The parsers under libFuzzer (clang), each for a bounded time: any crash, sanitizer report, hang
# or leak fails the run.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz -j "$jobs" || status=1
# The Windows build. Configuring creates its Wine prefix; then one Wine server, kept alive from the
# test discovery of the build to the last test, serves the whole run instead of one per program.
cmake --preset win32 >/dev/null
wine_prefix=$PWD/build/win32/wineprefix
wine_server() { (source scripts/wine-env.sh && WINEPREFIX=$wine_prefix wineserver "$@"); }
wine_server -p
trap 'wine_server -k 2>/dev/null || true' EXIT
# Wine's own service processes start with the first program; let them start before the build's
# test discovery starts programs in parallel.
(source scripts/wine-env.sh && WINEPREFIX=$wine_prefix wine cmd /c exit) >/dev/null 2>&1 || true
cmake --build --preset win32 -j "$jobs"
# A Wine process now and then dies at start-up or exit under parallel load (a test that only
# skips was seen to end in SIGSEGV); a failed test runs once more, so that a real failure, which
# fails twice, still fails the run.
ctest --preset win32 -j "$jobs" --repeat until-pass:2 || status=1
exit "$status"
