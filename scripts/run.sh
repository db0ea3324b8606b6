#!/usr/bin/env bash
# The main job: builds the default preset, registers the module for this user and runs the
# host program on the generated test signal. Output: out/corvane-demo.wav
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
mkdir -p out
bin=build/default/tools
if [ -x "$bin/corvane-reg" ] && [ -f build/default/server/libcorvane.so ]; then
  "$bin/corvane-reg" --user build/default/server/libcorvane.so
fi
"$bin/corvane-fx" "$@" -o out/corvane-demo.wav
echo "wrote out/corvane-demo.wav"
