#!/usr/bin/env bash
# Prints the package archive that apt is configured with for the suite SUITE
# (component main, binary packages): the first such source of
# /etc/apt/sources.list, /etc/apt/sources.list.d/*.list and the deb822
# /etc/apt/sources.list.d/*.sources, read by apt itself, so that disabled
# entries, options and both formats count as apt counts them. No archive is
# ever assumed: without one the script says so and fails.
#
#   scripts/apt-archive.sh SUITE
set -euo pipefail
suite=${1:?usage: apt-archive.sh SUITE}
# --no-release-info: the configured sources count even before the first apt-get update.
archive=$(apt-get indextargets --no-release-info --format '$(REPO_URI)' "Release: $suite" 'Component: main' \
  'Identifier: Packages' 'Target-Of: deb' 2>/dev/null | grep -v '^cdrom:' | head -n 1 || true)
if [ -z "$archive" ]; then
  echo "apt has no package archive for \"$suite\" (component main) in /etc/apt/sources.list or" \
    "/etc/apt/sources.list.d/; add one there (see sources.list(5)) and try again" >&2
  exit 1
fi
echo "${archive%/}"
