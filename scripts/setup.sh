#!/usr/bin/env bash
# Installs the Debian packages that corvane needs:
#
#   setup.sh            what the main job (scripts/run.sh) builds with
#   setup.sh --tests    also what the Linux tests use: the fuzz build's clang, the emulated
#                       processors' qemu, the references (numpy, scipy, SoX), a comma-decimal locale
#   setup.sh --windows  also the 32-bit Windows build: mingw-w64, Wine, and the libraries that
#                       Debian ships no mingw build of, cross-built by scripts/win32-deps.sh
#
# scripts/test.sh asks for the last two itself, so the main job never pays for them.
# Idempotent and non-interactive; run as root on Debian 12 (or with sudo at hand). When everything
# is in place it only asks dpkg, so a second run costs almost nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

tests=0 windows=0
for arg in "$@"; do
  case $arg in
    --tests) tests=1 ;;
    --windows) windows=1 ;;
    *) echo "usage: setup.sh [--tests] [--windows]" >&2; exit 2 ;;
  esac
done

# The default preset configures the module, the programs, the tests and the benchmarks, so the
# test and benchmark frameworks belong to the main job's configure too.
packages=(
  cmake ninja-build g++ pkg-config binutils
  libgtest-dev libgmock-dev libbenchmark-dev
  libsoundtouch-dev libavfilter-dev libavutil-dev libsndfile1-dev
  # The real FFT's benchmark compares with FFTW (bench/ only; configured with the default preset).
  libfftw3-dev
)
if [ "$tests" -eq 1 ]; then
  packages+=(
    # The format and portability checks read the tracked files.
    git clang-format
    qemu-user
    clang libclang-rt-14-dev
    # End-to-end tests and the effect benchmark: numpy models and SoX as references.
    python3-numpy python3-scipy sox
    # localedef and the locale sources.
    locales
  )
fi
if [ "$windows" -eq 1 ]; then
  packages+=(
    # mingw-w64 with posix threads; dpkg-dev unpacks the source packages that
    # scripts/win32-deps.sh cross-builds.
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev mingw-w64-tools dpkg-dev
  )
fi
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

if [ "$tests" -eq 1 ]; then
  # A comma-decimal locale, for the tests that the number texts of the graph effects mean the
  # same whatever the process's locale.
  if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
  fi
fi

if [ "$windows" -eq 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  mapfile -t missing < <(missing_of "${i386_packages[@]}")
  if [ "${#missing[@]}" -gt 0 ]; then
    install_missing "${#missing[@]} Wine packages" "${missing[@]}"
  fi
  bash scripts/win32-deps.sh
fi
