#!/usr/bin/env bash
# Creates the 32-bit Wine prefix PREFIX unless it is already complete: wine-prefix.sh PREFIX
# Safe to call concurrently and after an interrupted run; prints the time taken when it works.
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX}
source "$(dirname "$0")/wine-env.sh"
[ -f "$prefix/.corvane-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.corvane-ready" ] && exit 0
start=$SECONDS
rm -rf "$prefix"
export WINEPREFIX=$prefix
wineboot -i >/dev/null 2>&1
# wineboot returns before the registry reaches the disk; the prefix is usable once the server quits.
wineserver -w
if [ ! -f "$prefix/system.reg" ]; then
  echo "wine-prefix: wineboot left no registry in $prefix" >&2
  exit 1
fi
touch "$prefix/.corvane-ready"
echo "wine-prefix: created $prefix in $((SECONDS - start)) s" >&2
