#!/usr/bin/env bash
# The Windows program on a sample disc, started under wine as autorun.inf
# starts it and used as a user would with the mouse: the reference pictures,
# a report handed to the handler wine's registry names for HTML (a handler
# that never ends, which must not hold the program: the viewer's questions
# below come while it runs), then the viewer with the
# runtime missing: both questions answered Yes, the installer stand-in writes
# the runtime's key, the viewer stand-in starts with the DICOMDIR. The disc's
# own viewer from gtk\bin opens the DICOMDIR, steps and changes the window.
# Closing the program removes its working directory.
#   windows_disc_end_to_end.sh LINUX_TOOLS_BIN SCREEN_PROBE
# Runs on the X display of the caller (DISPLAY), in the wine prefix WINEPREFIX.
set -u
tools=$(realpath "$1")
probe=$(realpath "$2")
work=$(mktemp -d)
fail=0
step() { echo "-- $*"; }
problem() {
  echo "FAILED: $*"
  fail=1
}
cleanup() {
  restore_html_handler
  wine taskkill /f /im velmora-brelantor.exe >/dev/null 2>&1
  wine taskkill /f /im DICOMViewer.exe >/dev/null 2>&1
  wine taskkill /f /im velmora-viewer.exe >/dev/null 2>&1
  wine taskkill /f /im ping.exe >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
export WINEDEBUG=${WINEDEBUG:--all}

# Waits up to 60 s (or $2 polls of 0.2 s) for a window whose whole title is
# $1; prints its id.
window() {
  local id
  for _ in $(seq 1 "${2:-300}"); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && echo "$id" && return 0
    sleep 0.2
  done
  return 1
}
# Clicks the point at fractions $2, $3 of the window $1.
click() {
  local x y w h
  eval "$(xdotool getwindowgeometry --shell "$1" | sed 's/^/local /')"
  x=$(awk -v x="$X" -v w="$WIDTH" -v f="$2" 'BEGIN { printf "%d", x + w * f }')
  y=$(awk -v y="$Y" -v h="$HEIGHT" -v f="$3" 'BEGIN { printf "%d", y + h * f }')
  xdotool mousemove "$x" "$y" click 1
}
# Presses the main window's tile at fraction $1 of its width. The browser may
# cover the main window: it comes to the front first, as a user brings it.
press_tile() {
  xdotool windowraise "$main"
  sleep 1
  click "$main" "$1" 0.45
}
# Presses the tile at $1 until a window titled $2 opens, as a user presses
# again when nothing happens: in a new wine prefix the first press after the
# start can be lost while wine is still setting up. Prints the window's id.
press_tile_for() {
  for _ in 1 2 3 4 5 6; do
    press_tile "$1"
    window "$2" 50 && return 0
  done
  return 1
}
runtime_key='HKLM\SOFTWARE\Microsoft\.NETFramework\v2.0.50727'

# HTML opens with a handler of the test's own that copies the page it is given
# and then never ends, as a browser that hangs.
html_default=$(wine reg query 'HKCR\.html' /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
restore_html_handler() {
  wine reg delete 'HKCR\VelmoraTestPage' /f >/dev/null 2>&1
  if [ -n "$html_default" ]; then
    wine reg add 'HKCR\.html' /ve /d "$html_default" /f >/dev/null 2>&1
  else
    wine reg delete 'HKCR\.html' /f >/dev/null 2>&1
  fi
}
opened_windows=$(winepath -w "$work/opened.html" 2>/dev/null | tr -d '\r')
printf '@copy %%1 "%s" >nul\r\n@ping -n 100000 127.0.0.1 >nul\r\n' "$opened_windows" >"$work/handler.bat"
handler_windows=$(winepath -w "$work/handler.bat" 2>/dev/null | tr -d '\r')
printf 'REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.html]\r\n@="VelmoraTestPage"\r\n\r\n[HKEY_CLASSES_ROOT\\VelmoraTestPage\\shell\\open\\command]\r\n@="%s \\"%%1\\""\r\n' \
  "$(printf '%s' "$handler_windows" | sed 's/\\/\\\\/g')" >"$work/handler.reg"
wine regedit /s "$(winepath -w "$work/handler.reg" | tr -d '\r')" >/dev/null 2>&1

# A folder name with Polish letters and a blank, as a copied disc may have.
disc="$work/Płyta Łódź"
step "making the disc"
"$tools/make-sample-medium" "$disc" --windows --studies 1 --series 2 --images 4 --size 128 >/dev/null ||
  { echo "the disc could not be made"; exit 1; }
for f in autorun.inf gtk/bin/velmora-brelantor.exe gtk/bin/velmora-viewer.exe gtk/bin/libopenjp2.dll \
  Program/DICOMViewer.exe Program/FRAMEWORK/dotnetfx.exe; do
  [ -f "$disc/$f" ] || problem "$f missing on the disc"
done
grep -q 'open=gtk\\bin\\velmora-brelantor.exe' "$disc/autorun.inf" || problem "autorun.inf does not start the program"

wine reg delete "$runtime_key" /f /reg:32 >/dev/null 2>&1
temp=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
temp_unix=$(winepath -u "$temp" 2>/dev/null)

step "starting the program from the disc's root"
cd "$disc" || exit 1
wine gtk/bin/velmora-brelantor.exe >"$work/out.txt" 2>"$work/err.txt" &
main=$(window "Velmora-Brelantor") || { problem "no main window"; cat "$work/err.txt"; exit 1; }
ls -d "$temp_unix"/VELMORAtmp* >/dev/null 2>&1 || problem "no working directory in $temp"

step "the reference pictures"
browser=$(press_tile_for 0.5 "Przeglądarka obrazów referencyjnych") || problem "no browser window"
# Cine: the large view changes picture after picture once the space bar starts it.
title="Przeglądarka obrazów referencyjnych"
for _ in $(seq 1 100); do "$probe" save "$title" "$work/still" 2>/dev/null && break; sleep 0.2; done
xdotool windowfocus --sync "$browser" key space 2>/dev/null
playing=0
for _ in $(seq 1 100); do
  [ "$("$probe" changed "$title" "$work/still" 2>/dev/null || echo 0)" -gt 0 ] && playing=1 && break
  sleep 0.1
done
[ $playing = 1 ] || problem "the space bar started no cine in the browser"
xdotool windowfocus --sync "$browser" key space 2>/dev/null

step "a report"
chooser=$(press_tile_for 0.17 "Opis Badania") || problem "no report chooser"
xdotool windowfocus --sync "$chooser" key Return 2>/dev/null
for _ in $(seq 1 150); do
  grep -q "Technika badania" "$work/opened.html" 2>/dev/null && break
  sleep 0.2
done
grep -q "Technika badania" "$work/opened.html" 2>/dev/null || problem "the report did not reach the HTML handler"
xdotool windowfocus --sync "$chooser" key Escape 2>/dev/null

step "the viewer, with the runtime missing"
press_tile 0.83
question=$(window "DICOM Pravix - Brak FRAMEWORK .NET 2.0") || problem "no question about the runtime"
xdotool windowfocus --sync "$question" key Return 2>/dev/null
standard=$(window "DICOM Pravix - Instalacja standardowa .NET 2.0") || problem "no question about the installation"
xdotool windowfocus --sync "$standard" key Return 2>/dev/null
window "DICOMViewerSplash" >/dev/null || problem "the viewer stand-in did not start"
window "Przeglądarka DICOM" >/dev/null || problem "the viewer stand-in showed no DICOMDIR"
wine reg query "$runtime_key" /reg:32 >/dev/null 2>&1 || problem "the runtime's key was not written"
pgrep -f 'ping(\.exe)? -n 100000' >/dev/null || problem "the report's handler did not keep running"

# Waits up to 20 s for the window titled $1 to look different from $2.
changed() {
  for _ in $(seq 1 100); do
    [ "$("$probe" changed "$1" "$2" 2>/dev/null || echo 0)" -gt 0 ] && return 0
    sleep 0.2
  done
  return 1
}
step "the disc's own viewer on the DICOMDIR"
wine gtk/bin/velmora-viewer.exe "$(winepath -w "$disc/DICOMDIR" | tr -d '\r')" >/dev/null 2>"$work/viewer.txt" &
viewer_title="Velmora-Brelantor DICOM"
if viewer=$(window "$viewer_title"); then
  for input in Down w; do
    for _ in $(seq 1 100); do "$probe" save "$viewer_title" "$work/viewer-still" 2>/dev/null && break; sleep 0.2; done
    xdotool windowfocus --sync "$viewer" key "$input" 2>/dev/null
    changed "$viewer_title" "$work/viewer-still" || problem "the key $input changed nothing in the viewer"
  done
  wine taskkill /im velmora-viewer.exe >/dev/null 2>&1
else
  problem "the viewer did not open"
  cat "$work/viewer.txt"
fi

step "closing"
wine taskkill /im velmora-brelantor.exe >/dev/null 2>&1
for _ in $(seq 1 150); do
  xdotool search --name "^Velmora-Brelantor\$" >/dev/null 2>&1 || break
  sleep 0.2
done
for _ in $(seq 1 50); do
  ls -d "$temp_unix"/VELMORAtmp* >/dev/null 2>&1 || break
  sleep 0.2
done
ls -d "$temp_unix"/VELMORAtmp* >/dev/null 2>&1 && problem "working directory left in $temp"
[ $fail = 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
