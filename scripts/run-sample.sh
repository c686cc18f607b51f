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
  # Our own sample disc gets the programs just built, so it never runs a stale copy.
  for pair in "src/velmora-brelantor:gtk/bin/velmora-brelantor" \
              "tools/bin/dicomviewer-standin:Program/DICOMViewer.exe" \
              "tools/bin/dotnetfx-standin:Program/FRAMEWORK/dotnetfx.exe"; do
    built=build/${pair%%:*}
    copy=$medium/${pair#*:}
    if [ -f "$built" ] && ! cmp -s "$built" "$copy"; then
      rm -f "$copy" && install -m 0555 "$built" "$copy"
    fi
  done
fi
exec "$medium/autorun.sh"
