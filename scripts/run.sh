#!/usr/bin/env bash
# The main job: builds the module and the two programs of the default preset (not the tests and
# benchmarks: scripts/test.sh builds those), registers the module for this user (in the registry
# folder under the user's data folder, or $CORVANE_REGISTRY_ROOT) and runs the host program on
# the generated test signal through a chain of effects. Output: out/corvane-demo.wav
# Further arguments go to corvane-fx (e.g. --seconds 2, or more -e NAME -p KEY=VALUE).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs" --target corvane corvane-fx corvane-reg
mkdir -p out
bin=build/default/tools
module=build/default/server/libcorvane.so
"$bin/corvane-reg" --user "$module"
# The chain: 3 dB quieter, one reflection 250 ms later at -6 dB, and from 1 s to 4 s a band-pass
# at 1 kHz (Q 0.707) that fades in and out, so that each effect can be heard.
"$bin/corvane-fx" -o out/corvane-demo.wav \
  -e VolumeFilter5 -p dBVolumeLevel=-3.0 \
  -e EchoFilter5 -p ReflectionsNumber=1 -p AudioOffset0=250.0 -p dBVolumeLevel0=-6.0 \
  -e BandFilter5 -p FilterType=4 -p Frequency=1000.0 -p Steepness=70.7 -p SmoothEnabled=true \
  -z 1000:3000 \
  "$@"
echo "wrote out/corvane-demo.wav"
