#!/usr/bin/env bash
# Command 2: set up, build and run every test under Xvfb; non-zero on any failure.
# scripts/test.sh [release|asan|tsan]
set -eu
cd "$(dirname "$0")/.."
kind=${1:-release}
scripts/setup.sh
scripts/build.sh "$kind"
case $kind in
  release) dir=build ;;
  asan) dir=build-asan
        export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
        export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
        export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} ;;
  tsan) dir=build-tsan ;;
esac
cd "$dir"
# -noreset: without it the server resets whenever its last client leaves, and a
# test that connects during the reset finds no display.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j "$(nproc)"
