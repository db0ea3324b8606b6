#!/usr/bin/env bash
# Configures, builds and runs the test suite in the default and the sanitizer build, then the
# fuzz targets, then the 32-bit Windows build with its tests under Wine. Installs first what the
# tests need beyond the main job (scripts/setup.sh --tests, then --windows before the Windows
# build); builds the test programs and what they run (the target corvane-tests), not the
# benchmarks; says how long each part took ("test.sh: ... s").
#   test.sh [PART...]   only these of default, asan, fuzz and win32 (all four without arguments)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
status=0
parts=" ${*:-default asan fuzz win32} "
for part in $parts; do
  [[ " default asan fuzz win32 " == *" $part "* ]] ||
    { echo "usage: test.sh [default|asan|fuzz|win32]..." >&2; exit 2; }
done
# took PART START: the time since START (a value of SECONDS) that PART took.
took() { echo "test.sh: $1 $((SECONDS - $2)) s" >&2; }
wanted() { [[ $parts == *" $1 "* ]]; }

start=$SECONDS
bash scripts/setup.sh --tests
took "setup for the tests" "$start"
bash scripts/check-format.sh || status=1
bash scripts/check-portable.sh || status=1
for preset in default asan; do
  wanted "$preset" || continue
  start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" --target corvane-tests
  took "$preset build" "$start"
  start=$SECONDS
  ctest --preset "$preset" -j "$jobs" || status=1
  took "$preset tests" "$start"
done
# The parsers under libFuzzer (clang), each for a bounded time: any crash, sanitizer report, hang
# or leak fails the run.
if wanted fuzz; then
  start=$SECONDS
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs" --target corvane-tests
  took "fuzz build" "$start"
  start=$SECONDS
  ctest --preset fuzz -j "$jobs" || status=1
  took "fuzz tests" "$start"
fi
wanted win32 || exit "$status"

# The Windows build: mingw-w64, Wine and the cross-built libraries first.
start=$SECONDS
bash scripts/setup.sh --windows
took "setup for Windows" "$start"
# Configuring creates its Wine prefix; then one Wine server, kept alive from the test discovery of
# the build to the last test, serves the whole run instead of one per program.
start=$SECONDS
cmake --preset win32 >/dev/null
wine_prefix=$PWD/build/win32/wineprefix
wine_server() { (source scripts/wine-env.sh && WINEPREFIX=$wine_prefix wineserver "$@"); }
wine_server -p
trap 'wine_server -k 2>/dev/null || true' EXIT
# Wine's own service processes start with the first program and keep its output open: started
# here, they hold no test's output (CTest would wait for it to close), and they are up before the
# build's test discovery starts programs in parallel.
(source scripts/wine-env.sh && WINEPREFIX=$wine_prefix wine cmd /c exit) >/dev/null 2>&1 || true
cmake --build --preset win32 -j "$jobs" --target corvane-tests
took "win32 build" "$start"
start=$SECONDS
ctest --preset win32 -j "$jobs" || status=1
took "win32 tests" "$start"
exit "$status"
