#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the benchmarks need.
# Idempotent and non-interactive; run as root on Debian 12.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config binutils clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libsoundtouch-dev libavfilter-dev libavutil-dev libsndfile1-dev
  qemu-user
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
