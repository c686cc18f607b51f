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
elif [ -z "${VELMORA_MEDIUM:-}" ]; then
  # Our own sample disc gets the programs just built (with their runtime), so
  # it never runs a stale copy.
  for built in build/src/velmora-brelantor build/tools/bin/dicomviewer-standin build/tools/bin/dotnetfx-standin; do
    if [ "$built" -nt "$medium/gtk/bin/velmora-brelantor" ]; then
      build/tools/bin/bundle-runtime build/src/velmora-brelantor "$medium" \
        --also build/tools/bin/dicomviewer-standin=Program/DICOMViewer.exe \
        --also build/tools/bin/dotnetfx-standin=Program/FRAMEWORK/dotnetfx.exe >/dev/null
      break
    fi
  done
fi
exec "$medium/autorun.sh"
