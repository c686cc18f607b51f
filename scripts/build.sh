#!/usr/bin/env bash
# Configures and builds one build folder: scripts/build.sh [release|asan|tsan|windows] [target...]
# (every target when none is named). The windows kind cross-builds for 64-bit
# Windows with the libraries of scripts/setup-windows.sh.
set -eu
cd "$(dirname "$0")/.."
kind=${1:-release}
shift || true
# Lets ccache share results between checkouts that sit side by side.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
case $kind in
  release) dir=build; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) dir=build-asan; flags=(-DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF) ;;
  tsan) dir=build-tsan; flags=(-DCMAKE_BUILD_TYPE=Debug -DVELMORA_TSAN=ON -DVELMORA_BENCH=OFF) ;;
  windows) dir=build-windows
           flags=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BENCH=OFF) ;;
  *) echo "usage: $0 [release|asan|tsan|windows]"; exit 2 ;;
esac
cmake -S . -B "$dir" "${flags[@]}" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
