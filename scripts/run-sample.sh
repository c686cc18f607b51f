#!/usr/bin/env bash
# Command 1: set up, build, make the sample medium when missing, and start the
# navigator on it as the disc's autorun would.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release
medium=${VELMORA_MEDIUM:-$PWD/sample-medium}
if [ ! -f "$medium/autorun.sh" ]; then
  build/tools/bin/make-sample-medium "$medium"
fi
exec "$medium/autorun.sh"
