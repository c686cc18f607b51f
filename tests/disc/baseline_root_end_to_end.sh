#!/usr/bin/env bash
# The sample disc on a desktop that has only the baseline: a minimal Debian 12
# root (debootstrap --variant=minbase from the archive apt is configured with, with
# the baseline packages; cached in the build folder) without GTK+, DCMTK or
# Boost. The disc is bound read-only into it at a mount point with a blank and
# a Polish letter, the root itself read-only, and the navigator started there
# through autorun.sh on this display: the three tiles show their pictures, a
# report reaches the desktop's handler, the browser builds and shows a
# picture, the viewer stand-in starts, the reports are read, saved and printed
# in the navigator's own reader from the keyboard, a screen reader reads it over AT-SPI.
# A disc that make-disc made, its image mounted with fuseiso, starts our own
# viewer on its own runtime.
# Without the disc's gtk/lib the program must not start at all (the test tests something).
# baseline_root_end_to_end.sh TOOLS_BIN SCREEN_PROBE CACHE_DIR
set -u
tools=$1
probe=$2
cache=$3
skip() { echo "SKIPPED: $*"; exit 77; }
for tool in debootstrap bwrap xdotool fuseiso fusermount; do command -v "$tool" >/dev/null || skip "$tool is not installed"; done
[ -n "${DISPLAY:-}" ] || skip "no X display"
display_number=${DISPLAY#*:}
display_number=${display_number%%.*}
[ -S "/tmp/.X11-unix/X$display_number" ] || skip "the display is not a local socket"

baseline=libx11-6,libxext6,libxrender1,libxi6,libxrandr2,libxcursor1,libxinerama1,libxfixes3,libxcomposite1
baseline=$baseline,libxdamage1,libxcb1,libxcb-render0,libxcb-shm0,libfontconfig1,libfreetype6
baseline=$baseline,fonts-dejavu-core,zlib1g,libexpat1
root=$cache/bookworm
if [ ! -e "$root/.velmora-complete" ]; then
  # None configured fails the test (the script says why), as a skip would pass without testing anything.
  archive=$("$(dirname "$0")/../../scripts/apt-archive.sh" bookworm) || exit 1
  rm -rf "$root.partial"
  mkdir -p "$cache"
  echo "making the minimal root (once per build folder) from $archive"
  debootstrap --variant=minbase --include="$baseline" bookworm "$root.partial" "$archive" \
    >"$cache/debootstrap.log" 2>&1 || skip "debootstrap failed (see $cache/debootstrap.log)"
  rm -rf "$root.partial"/var/cache/apt/archives/*.deb
  touch "$root.partial/.velmora-complete"
  mv "$root.partial" "$root"
fi

work=$(mktemp -d)
sandbox=
mounted=
cleanup() {
  [ -n "$sandbox" ] && kill "$sandbox" 2>/dev/null && wait "$sandbox" 2>/dev/null
  [ -n "$mounted" ] && fusermount -u "$mounted" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

check "the root has no toolkit, DCMTK or Boost" \
  test -z "$(find "$root/usr/lib" "$root/lib" -name 'libgtk-x11*' -o -name 'libdcmdata*' -o -name 'libboost*' 2>/dev/null)"

"$tools/make-sample-medium" "$work/disc" >/dev/null || { echo "FAILED: sample disc"; exit 1; }
# The user's home in the root: a desktop handler for HTML that keeps what it
# was given, and the viewer's runtime registered so that it starts at once.
home=$work/home
mkdir -p "$home/.local/share/applications" "$home/.config" \
  "$home/.config/velmora-brelantor/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/.NETFramework/v2.0.50727"
printf '#!/bin/sh\ncat "$1" > /root/handled.html\n' >"$home/handler.sh"
chmod 755 "$home/handler.sh"
printf '[Desktop Entry]\nType=Application\nName=Recorder\nExec=/root/handler.sh %%f\nMimeType=text/html;application/xhtml+xml;\n' \
  >"$home/.local/share/applications/recorder.desktop"
printf '[Default Applications]\ntext/html=recorder.desktop\napplication/xhtml+xml=recorder.desktop\n' >"$home/.config/mimeapps.list"

disc="/media/płyta CD"
medium=$work/disc  # what is bound at $disc
session_env=()  # what the desktop's session adds to the navigator's environment
start() {  # start [EXTRA BWRAP OPTIONS...]: the navigator in the root, in the background
  (cd "$work" && exec setsid bwrap --ro-bind "$root" / --tmpfs /media --ro-bind "$medium" "$disc" "$@" \
    --bind "$home" /root --dev /dev --proc /proc --tmpfs /tmp --unshare-pid --die-with-parent \
    --ro-bind "/tmp/.X11-unix/X$display_number" "/tmp/.X11-unix/X$display_number" \
    --clearenv --setenv DISPLAY "$DISPLAY" --setenv HOME /root --setenv PATH /usr/bin:/bin "${session_env[@]}" \
    ${XAUTHORITY:+--ro-bind "$XAUTHORITY" /tmp/.Xauthority --setenv XAUTHORITY /tmp/.Xauthority} \
    --chdir /root sh "$disc/autorun.sh" >"$work/navigator.log" 2>&1) &
  sandbox=$!
}
stop() {
  kill "$sandbox" 2>/dev/null
  wait "$sandbox" 2>/dev/null
  sandbox=
  wait_for 10 sh -c "! xdotool search --name '^Velmora-Brelantor\$'"
}

# Without the disc's libraries the program cannot start.
start --tmpfs "$disc/gtk/lib"
wait_for 30 sh -c "! kill -0 $sandbox"
check "without gtk/lib the program does not start" grep -q 'error while loading shared libraries' "$work/navigator.log"
stop

# A disc without execute marks: autorun.sh runs the program through the loader.
cp "$work/disc/gtk/bin/velmora-brelantor" "$work/no-execute-mark"
chmod 0444 "$work/no-execute-mark"
start --ro-bind "$work/no-execute-mark" "$disc/gtk/bin/velmora-brelantor"
check "without an execute mark the main window opens" wait_for 60 xdotool search --name '^Velmora-Brelantor$'
stop

start
check "the main window opens" wait_for 60 xdotool search --name '^Velmora-Brelantor$' || cat "$work/navigator.log"
# The pointer away from the tiles, which show another picture under it.
xdotool mousemove 0 0
declare -A at
for tile in opis_n obr_ref_n obr_diag_n; do
  wait_for 10 "$probe" find Velmora-Brelantor "$work/disc/img/$tile.jpg"
  at[$tile]=$("$probe" find Velmora-Brelantor "$work/disc/img/$tile.jpg")
  check "the main window shows the tile $tile" test -n "${at[$tile]}"
done
click() { [ -n "$1" ] && xdotool mousemove $1 click 1; }
# No window manager here: the main window is raised by hand (all shown of that name: the first is a leader).
raise_main() { xdotool search --onlyvisible --name '^Velmora-Brelantor$' windowraise %@ >/dev/null 2>&1; }

# A report: the chooser, its first HTML column, the desktop's handler.
click "${at[opis_n]}"
wait_for 20 "$probe" find "Opis Badania" "$work/disc/img/html2.png"
click "$("$probe" find "Opis Badania" "$work/disc/img/html2.png")"
check "the report's page reaches the desktop's handler" wait_for 20 grep -q 'Opis badania' "$home/handled.html"
check "the page holds the report" grep -q 'Opis badania tomografii komputerowej' "$home/handled.html"


# The browser: built, then the first picture shown.
raise_main
click "${at[obr_ref_n]}"
browser="Przeglądarka obrazów referencyjnych"
check "the browser is built" wait_for 60 "$probe" find "$browser" "$work/disc/img/next.png"
"$probe" save "$browser" "$work/browser.before"
click "$("$probe" find "$browser" "$work/disc/img/next.png")"
# A 512-pixel picture where the view was empty (a button's hover is a few hundred).
shows_picture() { [ "$("$probe" changed "$browser" "$work/browser.before")" -gt 20000 ]; }
check "the browser shows a picture" wait_for 20 shows_picture

# The diagnostic viewer stand-in from Program/.
raise_main
click "${at[obr_diag_n]}"
check "the viewer stand-in starts" wait_for 30 xdotool search --name 'DICOMViewerSplash|Wiśniewska'
stop

# Our own viewer, on a disc make-disc made of the sample disc's DICOM files, from its image mounted
# as a desktop mounts a disc: the tile starts it from gtk/bin on the disc's runtime alone, the
# watch finds its title and the spinner stops.
"$tools/make-disc" "$work/disc/DICOM" --out "$work/made" --image "$work/made.iso" >"$work/make-disc.log" 2>&1 ||
  { echo "FAILED: make-disc"; cat "$work/make-disc.log"; exit 1; }
mkdir -p "$work/mounted"
if fuseiso "$work/made.iso" "$work/mounted"; then
  mounted=$work/mounted
  medium=$mounted
  start
  check "the made disc's main window opens" wait_for 60 xdotool search --name '^Velmora-Brelantor$'
  xdotool mousemove 0 0
  wait_for 10 "$probe" find Velmora-Brelantor "$medium/img/obr_diag_n.jpg"
  tile=$("$probe" find Velmora-Brelantor "$medium/img/obr_diag_n.jpg")
  "$probe" save Velmora-Brelantor "$work/main.before"
  click "$tile"
  check "the tile starts our viewer from the mounted disc" \
    wait_for 30 xdotool search --name '^Velmora-Brelantor DICOM$'
  xdotool mousemove 0 0
  # Raised again over the viewer, the main window shows what it showed before the click.
  spinner_stopped() { raise_main && [ "$("$probe" changed Velmora-Brelantor "$work/main.before")" -lt 50 ]; }
  check "the spinner stops" wait_for 20 spinner_stopped
  stop
  medium=$work/disc
else
  echo "FAILED: the made disc's image cannot be mounted with fuseiso"
  failures=$((failures + 1))
fi

# The reports in the navigator's own reader from the keyboard alone: Tab to the
# descriptions tile, space for the chooser, Ctrl+Enter on a report; its end and
# beginning, a copy saved (Ctrl+S) and a printout into a file (Ctrl+P, the
# first printer: the disc's file printer) in the home folder.
shown() {  # shown NAME-PATTERN: the last shown window of that name
  local window
  wait_for 20 xdotool search --onlyvisible --name "$1" || return 1
  window=$(xdotool search --onlyvisible --name "$1" | tail -1) && echo "$window"
}
keys() { local window=$1; shift; [ -n "$window" ] && xdotool windowfocus --sync "$window" key --delay 100 "$@"; }
# A desktop session's locale is UTF-8; in the C locale the titles with Polish
# letters have no 8-bit window name, which is what xdotool looks for.
session_env=(--setenv LANG C.UTF-8)
start
main=$(shown '^Velmora-Brelantor$')
# Tab follows the tiles' places on screen: they are drawn first.
wait_for 20 "$probe" find Velmora-Brelantor "$work/disc/img/opis_n.jpg"
keys "$main" Tab space
chooser=$(shown '^Opis Badania$')
read_report() {  # read_report NAME KEYS-TO-ITS-COLUMN...: reads, saves and prints the report NAME
  local name=$1 reader
  shift
  keys "$chooser" "$@" ctrl+Return
  reader=$(shown "^Opis badania – $name\$") || return 1
  keys "$reader" End Home ctrl+s
  keys "$(shown '^Zapisz kopię opisu$')" Return
  keys "$(shown '^Opis badania$')" Return
  keys "$reader" ctrl+p
  keys "$(shown '^(Print|Drukuj)$')" Down Return
  wait_for 30 test -s "$home/${name%.*}-wydruk.pdf"
}
check "the HTML report is read from the keyboard" read_report opis.html
check "its copy is the report" cmp "$work/disc/opis.html" "$home/opis.html"
# The printout may set "fi" and "fl" as ligatures.
words() { pdftotext "$1" - | sed 's/ﬁ/fi/g; s/ﬂ/fl/g' | tr -s '[:space:]' ' '; }
check "its printout holds the report" sh -c "pdftotext '$home/opis-wydruk.pdf' - | grep -q 'Opis badania tomografii'"
check "the PDF report is read from the keyboard" read_report wynik.pdf Right Right
check "its copy is the report" cmp "$work/disc/wynik.pdf" "$home/wynik.pdf"
check "its printout is the report's text" test "$(words "$home/wynik-wydruk.pdf")" = "$(words "$work/disc/wynik.pdf")"
stop

# A screen reader's desktop names the accessibility modules in GTK_MODULES; only the disc has them here.
# A private bus and its registry run outside, the bus bound into the root; pyatspi reads, as Orca does.
a11y_bus=$work/accessibility-bus
export AT_SPI_BUS_ADDRESS=unix:path=$a11y_bus
dbus-daemon --config-file=/usr/share/defaults/at-spi2/accessibility.conf --address="$AT_SPI_BUS_ADDRESS" --nofork &
bus=$! && wait_for 10 test -S "$a11y_bus"
/usr/libexec/at-spi2-registryd & registry=$!
session_env=(--setenv GTK_MODULES gail:atk-bridge --setenv AT_SPI_BUS_ADDRESS unix:path=/media/at-spi-bus)
start --bind "$a11y_bus" /media/at-spi-bus
check "a screen reader walks the navigator over AT-SPI" timeout 120 /usr/bin/python3 - <<"PY"
import pyatspi, sys, time
def wait(get, what):
    for _ in range(300):
        try:
            if get(): return get()
        except Exception: pass
        time.sleep(0.2)
    sys.exit("not read over the bus: " + what)
find = lambda test, root: pyatspi.findDescendant(root, lambda a: a is not None and test(a))
app = wait(lambda: find(lambda a: "velmora" in (a.name or ""), pyatspi.Registry.getDesktop(0)), "the program")
for name in ("Opis badania", "Obrazy diagnostyczne", "Obrazy referencyjne"):
    tile = wait(lambda: find(lambda a: a.name == name and a.getRole() == pyatspi.ROLE_PUSH_BUTTON, app), name)
    if [tile.queryAction().getName(i) for i in range(tile.queryAction().nActions)] != ["click"]: sys.exit(name)
tile.queryAction().doAction(0)
row = wait(lambda: find(lambda a: a.getState().contains(pyatspi.STATE_EXPANDABLE), app), "a row that opens")
if row.getState().contains(pyatspi.STATE_EXPANDED) or not row.queryAction().doAction(0): sys.exit(row.name)
wait(lambda: row.getState().contains(pyatspi.STATE_EXPANDED), row.name + " read as open")
PY
stop
kill $bus $registry

[ "$failures" = 0 ] || { echo "$failures check(s) failed"; grep -v orig_pixbuf "$work/navigator.log" | tail -20; exit 1; }
