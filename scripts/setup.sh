#!/usr/bin/env bash
# Installs the Debian packages the project needs, those that are missing only.
set -eu
packages=(build-essential cmake pkg-config ccache clang clang-format libclang-rt-14-dev
  libgtk2.0-dev libjpeg-dev libdcmtk-dev dcmtk libturbojpeg0-dev libboost-filesystem-dev googletest libgtest-dev libbenchmark-dev
  xvfb xauth x11-utils xdotool libx11-dev zlib1g-dev fonts-dejavu-core
  libxml2-dev libpoppler-glib-dev poppler-utils orthanc dicom3tools
  patchelf shared-mime-info xorriso fuseiso debootstrap bubblewrap dbus-daemon
  at-spi2-core libatk-adaptor libgail-common python3-pyatspi python3-gi dbus
  libopenjp2-7-dev libopenjp2-tools universal-ctags)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} = 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
