#!/usr/bin/env bash
# Cross-builds, from Debian's own source packages, static i686 Windows builds of the libraries that
# Debian ships no mingw build of: SoundTouch, libsndfile, FFmpeg's avutil, swresample and avfilter
# (only the filters the project uses) and GoogleTest. They land in build/win32-deps/prefix with
# pkg-config files and CMake package files; cmake/mingw-i686.cmake looks there.
#
# Each library is rebuilt only when this script, the toolchain file or the compiler changed, so a
# second run costs nothing. The sources come through a private apt source list derived from the
# system's Debian entries; the system's apt configuration and state are left as they are.
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/.."
root=$PWD
out=${CORVANE_WIN32_DEPS_DIR:-$root/build/win32-deps}
prefix=$out/prefix
toolchain=$root/cmake/mingw-i686.cmake
jobs=${CORVANE_JOBS:-$(nproc 2>/dev/null || echo 2)}
libraries=(soundtouch libsndfile ffmpeg googletest)

recipe=$({
  cat "$self" "$toolchain"
  i686-w64-mingw32-g++-posix --version
} | sha256sum | cut -d' ' -f1)

stale=()
for lib in "${libraries[@]}"; do
  [ "$(cat "$prefix/.stamp-$lib" 2>/dev/null)" = "$recipe" ] || stale+=("$lib")
done
[ "${#stale[@]}" -eq 0 ] && exit 0
all_start=$SECONDS

# --- Sources -------------------------------------------------------------------------------------
apt_dir=$out/apt
apt_opts=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
  # The private directories belong to root; apt's download sandbox user could not write them.
  -o "APT::Sandbox::User=root"
  -qq
)

debian_entries() {
  # Every archive that apt itself reports as Debian's, as "URI SUITE COMPONENT".
  apt-get indextargets --format '$(ORIGIN)|$(REPO_URI)|$(RELEASE)|$(COMPONENT)' \
    'Created-By: Packages' | awk -F'|' '$1 == "Debian" { print $2, $3, $4 }' | sort -u
}

fetch_sources() {
  local entries keyring=/usr/share/keyrings/debian-archive-keyring.gpg opt=""
  entries=$(debian_entries)
  if [ -z "$entries" ]; then
    # The system's package lists were never fetched (or were cleaned away).
    apt-get -qq update
    entries=$(debian_entries)
  fi
  if [ -z "$entries" ]; then
    echo "win32-deps: the system's apt sources name no Debian archive" >&2
    exit 1
  fi
  [ -f "$keyring" ] && opt="[signed-by=$keyring] "
  # The lists and the downloaded archives stay for the next run: apt fetches only what changed.
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" \
    "$out/src"
  find "$out/src" -mindepth 1 -maxdepth 1 -type d -exec rm -rf {} +
  sed "s|^|deb-src $opt|" <<<"$entries" >"$apt_dir/sources.list"
  apt-get "${apt_opts[@]}" update
  (cd "$out/src" && apt-get "${apt_opts[@]}" source "${libraries[@]}" >/dev/null)
}

source_dir() {
  local d
  d=$(find "$out/src" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n 1)
  [ -n "$d" ] || { echo "win32-deps: no unpacked source of $1" >&2; exit 1; }
  echo "$d"
}

# --- Builds --------------------------------------------------------------------------------------
# Runs a build step with its output in $out/logs/LIB.log, shown only when the step fails.
logged() {
  "$@" >>"$log" 2>&1 || {
    tail -n 40 "$log" >&2
    echo "win32-deps: failed: $* (whole log: $log)" >&2
    exit 1
  }
}

cmake_build() {
  local name=$1 src=$2
  shift 2
  rm -rf "$out/build/$name"
  logged cmake -S "$src" -B "$out/build/$name" -G Ninja -Wno-dev -Wno-deprecated \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCORVANE_WIN32_DEPS="$prefix" -DBUILD_SHARED_LIBS=OFF "$@"
  logged cmake --build "$out/build/$name" -j "$jobs"
  logged cmake --install "$out/build/$name"
}

build_soundtouch() {
  # Its SSE and MMX kernels are chosen at run time by CPU detection, so only those two files may
  # use the instruction sets; upstream's CMake sets no flags for them outside x86-64.
  cat >"$out/soundtouch-simd.cmake" <<'CMAKE'
set_source_files_properties(source/SoundTouch/sse_optimized.cpp PROPERTIES COMPILE_OPTIONS -msse)
set_source_files_properties(source/SoundTouch/mmx_optimized.cpp PROPERTIES COMPILE_OPTIONS -mmmx)
CMAKE
  cmake_build soundtouch "$(source_dir soundtouch)" -DINTEGER_SAMPLES=OFF -DSOUNDSTRETCH=OFF \
    -DSOUNDTOUCH_DLL=OFF -DOPENMP=OFF -DCMAKE_PROJECT_SoundTouch_INCLUDE="$out/soundtouch-simd.cmake"
}

build_libsndfile() {
  # Plain PCM and float formats only: no FLAC, Vorbis, Opus or MPEG codecs. No SSE2 either: the
  # Windows build assumes an i686 processor.
  cmake_build libsndfile "$(source_dir libsndfile)" -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF \
    -DENABLE_SSE2=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF \
    -DBUILD_REGTEST=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF
}

build_googletest() {
  cmake_build googletest "$(source_dir googletest)" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

build_ffmpeg() {
  local src build=$out/build/ffmpeg
  src=$(source_dir ffmpeg)
  rm -rf "$build"
  mkdir -p "$build"
  # Only the libraries and audio filters that the project's filter graphs use. No assembly (it
  # would need nasm) and nothing detected from the build machine.
  logged env -C "$build" "$src/configure" --prefix="$prefix" \
    --enable-cross-compile --target-os=mingw32 --arch=x86 \
    --cross-prefix=i686-w64-mingw32- --cc=i686-w64-mingw32-gcc-posix \
    --cxx=i686-w64-mingw32-g++-posix --pkg-config=pkg-config --pkg-config-flags=--static \
    --enable-static --disable-shared --disable-autodetect --enable-w32threads \
    --disable-programs --disable-doc --disable-network --disable-debug --disable-x86asm \
    --disable-everything --disable-avcodec --disable-avformat --disable-avdevice \
    --disable-swscale --disable-postproc --enable-avfilter --enable-swresample \
    --enable-filter=abuffer,abuffersink,agate,anequalizer,channelmap,aformat,aresample
  logged make -C "$build" -j "$jobs"
  logged make -C "$build" install
}

fetch_start=$SECONDS
fetch_sources
echo "win32-deps: sources fetched in $((SECONDS - fetch_start)) s" >&2
mkdir -p "$prefix" "$out/logs"
for lib in "${stale[@]}"; do
  start=$SECONDS
  log=$out/logs/$lib.log
  : >"$log"
  rm -f "$prefix/.stamp-$lib"
  "build_$lib"
  echo "$recipe" >"$prefix/.stamp-$lib"
  echo "win32-deps: $lib built in $((SECONDS - start)) s" >&2
done
echo "win32-deps: done in $((SECONDS - all_start)) s" >&2
