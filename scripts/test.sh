#!/usr/bin/env bash
# Command 2: set up, build and run every test under Xvfb; non-zero on any failure.
# scripts/test.sh [release|asan|tsan|windows]
# The tsan kind builds and runs only the tests that run threads: the viewer
# launch threads with the question box they use, the thumbnails decoded on the
# worker pool (and jobs that throw there), the full pictures decoded there as
# they are shown, cine playback with its pictures decoded ahead, the
# diagnostic viewer's frames decoded ahead, and the disc station's receiver
# beside its disc maker.
# The windows kind builds the Windows libraries when they are missing (long
# the first time), cross-builds for Windows and runs those tests under wine.
set -eu
cd "$(dirname "$0")/.."
kind=${1:-release}
if [ "$kind" = windows ]; then scripts/setup-windows.sh; else scripts/setup.sh; fi
select=()
case $kind in
  release) dir=build; scripts/build.sh release ;;
  asan) dir=build-asan
        scripts/build.sh asan
        export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
        export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
        export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} ;;
  tsan) dir=build-tsan
        scripts/build.sh tsan velmora_tests velmora_faked_tests velmora_viewer_tests dotnetfx-standin \
          dicomviewer-standin velmora_tool_tests disc-station make-disc-image
        export TSAN_OPTIONS=${TSAN_OPTIONS:-suppressions=$PWD/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1}
        # GLib's slice allocator shares slabs between threads under its own
        # locks; plain malloc lets the checker follow every block.
        export G_SLICE=always-malloc
        select=(-R '^(ViewerLaunchTest|RealLaunchTest|QuestionBoxTest|SeriesLoadingTest|FullPicturesTest|PictureCache|WorkerPoolTest|Cine[A-Za-z]*Test|ViewerWindow|DiscStation)\.') ;;
  windows) dir=build-windows
           # The Windows disc is made and watched with the Linux tools.
           scripts/setup.sh
           scripts/build.sh release make-sample-medium screen_probe
           scripts/build.sh windows
           # A wine prefix of the build's own, made on first use; no prompt
           # to install wine's Mono or Gecko.
           export WINEPREFIX=${WINEPREFIX:-$PWD/build-windows/wine}
           mkdir -p "$WINEPREFIX"  # wine's server starts only in a folder that exists
           export WINEDEBUG=${WINEDEBUG:--all}
           export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=} ;;
  *) echo "usage: $0 [release|asan|tsan|windows]"; exit 2 ;;
esac
cd "$dir"
# -noreset: without it the server resets whenever its last client leaves, and a
# test that connects during the reset finds no display.
run=(ctest --output-on-failure -j "$(nproc)" "${select[@]}")
if [ "$kind" = windows ]; then
  # Under wine on a busy machine a GUI test now and then misses its moment
  # (a timed cine step, an expose that comes late); one that fails twice fails.
  run+=(--repeat until-pass:2)
  # Wine's server and desktop are started once, with no output: started by a
  # test, they would hold that test's output open, and ctest would wait for
  # them until its time ran out. The desktop process ends once no program uses
  # it and the next window starts it again, from whichever test opens one: a
  # console program that waits until the end keeps it for the whole run.
  run=(sh -c 'wineserver -p </dev/null >/dev/null 2>&1 && wine wineboot </dev/null >/dev/null 2>&1
              wine ping -n 1000000 127.0.0.1 </dev/null >/dev/null 2>&1 &
              "$@"; status=$?; wineserver -k; exit $status'
       sh "${run[@]}")
fi
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "${run[@]}"
