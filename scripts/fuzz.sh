#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while:
#   scripts/fuzz.sh [seconds-per-target] [target...]
# CI runs a short bounded pass; run longer by hand (e.g. scripts/fuzz.sh 600).
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
status=0
for t in "${targets[@]}"; do
  # Absolute, so that a target that changes its directory still finds the seeds.
  corpus=$PWD/fuzz/corpus/${t%_fuzz}
  work=$(mktemp -d)
  mkdir -p "$corpus"
  # New inputs go to a scratch folder; the seeds in the repository stay as they are.
  if build-fuzz/fuzz/"$t" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" \
      "$work" "$corpus" > "$work/log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    echo "$t: ${runs:-?} executions, no failure"
  else
    echo "$t: FAILED"; tail -40 "$work/log"; ls "$work"; status=1
  fi
  rm -rf "$work"
done
exit $status
