#!/usr/bin/env bash
# Configures, builds and runs the test suite in the default and the sanitizer build, then the
# fuzz targets, then the 32-bit Windows build with its tests under Wine. Installs first what the
# tests need beyond the main job (scripts/setup.sh --tests, then --windows before the Windows
# build); builds the test programs and what they run, not the benchmarks; says how long each part
# took ("test.sh: ... s"). README.md says what each part runs.
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

# Two parts run beside the others, their output kept until they have ended: the Windows set-up,
# mostly downloads and package installation, and the default preset's `large` tests, which take
# one core at a time for many minutes.
mkdir -p build
# Whatever way the script ends, it leaves nothing running behind it.
wine_prefix=""
cleanup() {
  [ -z "$wine_prefix" ] || wine_server -k 2>/dev/null || true
  wait
}
trap cleanup EXIT
declare -A bg_pid
# beside NAME COMMAND...: starts COMMAND in the background, its output and then the time it took
# to build/NAME.log.
beside() {
  local name=$1 start=$SECONDS
  shift
  (
    rc=0
    "$@" || rc=$?
    took "$name (beside the other parts)" "$start"
    exit "$rc"
  ) >"build/$name.log" 2>&1 &
  bg_pid[$name]=$!
}
# await NAME: waits for it and shows its output; fails when it failed.
await() {
  local name=$1 rc=0
  [ -n "${bg_pid[$name]:-}" ] || return 0
  wait "${bg_pid[$name]}" || rc=$?
  unset "bg_pid[$name]"
  cat "build/$name.log"
  return "$rc"
}

start=$SECONDS
bash scripts/setup.sh --tests
took "setup for the tests" "$start"
# mingw-w64, Wine and the cross-built libraries.
if wanted win32; then
  beside windows-setup bash scripts/setup.sh --windows
fi
bash scripts/check-format.sh || status=1
bash scripts/check-portable.sh || status=1
for preset in default asan; do
  wanted "$preset" || continue
  start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" --target corvane-tests
  took "$preset build" "$start"
  start=$SECONDS
  if [ "$preset" = default ]; then
    beside default-large-tests ctest --preset default -L large
    ctest --preset default -LE large -j "$jobs" || status=1
  else
    ctest --preset "$preset" -j "$jobs" || status=1
  fi
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
if ! wanted win32; then
  await default-large-tests || status=1
  exit "$status"
fi

# The Windows build, once its set-up has ended.
if ! await windows-setup; then
  await default-large-tests || true
  exit 1
fi
# Configuring creates its Wine prefix; then one Wine server, kept alive to the last test, serves
# the whole run instead of one per program.
start=$SECONDS
cmake --preset win32 >/dev/null
wine_prefix=$PWD/build/win32/wineprefix
wine_server() { (source scripts/wine-env.sh && WINEPREFIX=$wine_prefix wineserver "$@"); }
wine_server -p
# Wine's own service processes start with the first program and keep its output open: started
# here, they hold no test's output (CTest would wait for it to close), and they are up before the
# tests start programs in parallel.
(source scripts/wine-env.sh && WINEPREFIX=$wine_prefix wine cmd /c exit) >/dev/null 2>&1 || true
cmake --build --preset win32 -j "$jobs" --target corvane-tests
took "win32 build" "$start"
start=$SECONDS
ctest --preset win32 -j "$jobs" || status=1
took "win32 tests" "$start"
await default-large-tests || status=1
exit "$status"
