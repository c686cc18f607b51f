#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while:
#   scripts/fuzz.sh [seconds-per-target] [target...]
# CI runs a short bounded pass; run longer by hand (e.g. scripts/fuzz.sh 600).
# Everything it writes stays in build-fuzz/: the build, and per target under
# build-fuzz/runs/<target>/ the inputs it found (corpus/), its log, and every
# input that failed (crashes/), which are kept for the regression tests.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
scripts/setup.sh
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON \
  -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF -DVELMORA_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)"
targets=("$@")
if [ ${#targets[@]} = 0 ]; then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
runs=$PWD/build-fuzz/runs
# Scratch files of the targets (the DICOM target's medium) go here too.
export TMPDIR=$runs/tmp
mkdir -p "$TMPDIR"
status=0
for t in "${targets[@]}"; do
  # Absolute, so that a target that changes its directory still finds the seeds.
  seeds=$PWD/fuzz/corpus/${t%_fuzz}
  out=$runs/$t
  mkdir -p "$out/corpus" "$out/crashes" "$seeds"
  # Inputs may be large and deep where the format allows it; an input that
  # takes over 20 s counts as a failure (a hang), like one over 2 GB.
  options=(-timeout=20 -rss_limit_mb=2048)
  case $t in
    dicom_attributes_fuzz | viewer_image_fuzz) options+=(-max_len=1048576) ;;
  esac
  # New inputs go to the run's own corpus; the seeds in the repository stay as they are.
  if build-fuzz/fuzz/"$t" -max_total_time="$seconds" -print_final_stats=1 "${options[@]}" \
      -artifact_prefix="$out/crashes/" "$out/corpus" "$seeds" > "$out/log" 2>&1; then
    count=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/log")
    echo "$t: ${count:-?} executions, no failure"
  else
    echo "$t: FAILED (inputs kept in $out/crashes/)"; tail -40 "$out/log"; ls -l "$out/crashes"; status=1
  fi
done
exit $status
