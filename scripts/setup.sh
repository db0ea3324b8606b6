#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the benchmarks need, then cross-builds
# the Windows dependencies that Debian ships no mingw build of.
# Idempotent and non-interactive; run as root on Debian 12. When everything is in place it only
# asks dpkg, so CI pays almost nothing for it.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config binutils clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libsoundtouch-dev libavfilter-dev libavutil-dev libsndfile1-dev
  qemu-user
  clang libclang-rt-14-dev
  # The 32-bit Windows build: mingw-w64 with posix threads; dpkg-dev unpacks the source packages
  # that scripts/win32-deps.sh cross-builds.
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev mingw-w64-tools dpkg-dev
  # End-to-end tests and the effect benchmark: numpy models and SoX as references.
  python3-numpy python3-scipy sox
  # localedef and the locale sources.
  locales
  # The real FFT's benchmark compares with FFTW (bench/ only).
  libfftw3-dev
)
# Wine runs the Windows programs. Its 32-bit half comes from Debian's i386 architecture.
i386_packages=(wine wine32:i386 libwine-dev:i386)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# Another apt run on the machine (a colleague's setup, unattended upgrades) must not fail ours.
apt_opts=(-o DPkg::Lock::Timeout=600)

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

install_missing() {
  local what=$1 start=$SECONDS
  shift
  $SUDO apt-get "${apt_opts[@]}" update -qq
  $SUDO apt-get "${apt_opts[@]}" install -y -qq --no-install-recommends "$@"
  echo "setup: $what installed in $((SECONDS - start)) s" >&2
}

mapfile -t missing < <(missing_of "${packages[@]}")
if [ "${#missing[@]}" -gt 0 ]; then
  install_missing "${#missing[@]} packages" "${missing[@]}"
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
mapfile -t missing < <(missing_of "${i386_packages[@]}")
if [ "${#missing[@]}" -gt 0 ]; then
  install_missing "${#missing[@]} Wine packages" "${missing[@]}"
fi

# A comma-decimal locale, for the tests that the number texts of the graph effects mean the same
# whatever the process's locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

bash scripts/win32-deps.sh
