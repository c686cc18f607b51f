#!/usr/bin/env bash
# The burnable image of the sample disc, mounted with fuseiso as a desktop
# mounts a disc (read-only, at a mount point with blanks and Polish letters):
# two images of the same folder are the same bytes, the label comes from the
# patient, the checksums verify, the stated oldest C library is what the
# files ask for, the whole session writes nothing on it, and autorun.sh
# started from another folder opens the navigator's window.
# disc_image_end_to_end.sh TOOLS_BIN FAKED_TESTS_BINARY
set -u
tools=$1
session_tests=$2
skip() { echo "SKIPPED: $*"; exit 77; }
for tool in xorriso fuseiso fusermount objdump sha256sum xdotool; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -c /dev/fuse ] || skip "no /dev/fuse"
[ -n "${DISPLAY:-}" ] || skip "no X display"

work=$(mktemp -d)
mnt="$work/płyta CD z badaniem"
navigator=
cleanup() {
  [ -n "$navigator" ] && kill "$navigator" 2>/dev/null
  fusermount -u "$mnt" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

"$tools/make-sample-medium" "$work/disc" >/dev/null || { echo "FAILED: sample disc"; exit 1; }
"$tools/make-disc-image" "$work/disc" "$work/a.iso" >/dev/null || { echo "FAILED: image"; exit 1; }
# Later, and from a path of another spelling: still the same bytes.
touch -d '2001-01-01' "$work/a.iso"
(cd "$work" && "$tools/make-disc-image" ./disc/ b.iso >/dev/null)
check "two images of one folder are the same bytes" cmp -s "$work/a.iso" "$work/b.iso"
check "the label is the patient's" \
  sh -c "xorriso -indev '$work/a.iso' -pvd_info 2>&1 | grep -q \"^Volume Id *: WISNIEWSKA_ZOFIA\$\""
"$tools/make-disc-image" "$work/disc" "$work/c.iso" --label "Badanie głowy 2024" >/dev/null
check "a given label is made valid" \
  sh -c "xorriso -indev '$work/c.iso' -pvd_info 2>&1 | grep -q \"^Volume Id *: BADANIE_GLOWY_2024\$\""
check "nothing was written into the disc folder" test ! -e "$work/disc/SHA256SUMS"
check "a burn onto a pseudo drive is read back and verified" \
  sh -c "'$tools/make-disc-image' --burn 'stdio:$work/drive' '$work/a.iso' | grep -q 'files match SHA256SUMS'"
check "a burn onto a folder is refused" sh -c "! '$tools/make-disc-image' --burn 'stdio:$work' '$work/a.iso' 2>/dev/null"

mkdir -p "$mnt"
fuseiso "$work/a.iso" "$mnt" || skip "fuseiso cannot mount here"
listed=$(wc -l < "$mnt/SHA256SUMS")
files=$(find "$mnt" -type f ! -path "$mnt/SHA256SUMS" | wc -l)
check "SHA256SUMS lists every other file ($listed of $files)" test "$listed" = "$files"
check "the checksums verify" sh -c "cd \"\$1\" && sha256sum -c --quiet --strict SHA256SUMS" sh "$mnt"
check "Rock Ridge keeps the programs' execute marks" \
  test -x "$mnt/gtk/bin/velmora-brelantor" -a -x "$mnt/Program/DICOMViewer.exe" -a -x "$mnt/autorun.sh"

# The oldest C library the disc states is the newest version any of its files asks for.
stated=$(sed -n 's/^GLIBC_MIN=//p' "$mnt/gtk/WYMAGANIA.txt")
newest=$(find "$mnt" -type f -exec sh -c 'head -c4 "$1" | grep -q ELF && objdump -T "$1"' sh {} \; |
  grep -o 'GLIBC_[0-9.]*[0-9]' | sed 's/GLIBC_//' | sort -V | tail -1)
check "the disc states glibc $stated, its files need $newest" test -n "$stated" -a "$stated" = "$newest"
mine=$(getconf GNU_LIBC_VERSION | awk '{print $2}')
check "this machine's glibc $mine is new enough" \
  test "$(printf '%s\n%s\n' "$stated" "$mine" | sort -V | head -1)" = "$stated"

# The whole session, on the mounted image: nothing on it created or changed.
out=$(VELMORA_MOUNTED_MEDIUM="$mnt" "$session_tests" --gtest_filter='Disc/WholeSession.*/Mounted' 2>&1)
check "the whole session on the mounted image" grep -q '^\[  PASSED  \] 1 test' <<<"$out" ||
  echo "$out" | tail -30

# autorun.sh from another folder, as a desktop's autorun prompt starts it.
(cd "$work" && exec "$mnt/autorun.sh" >"$work/navigator.log" 2>&1) &
navigator=$!
shown=
for _ in $(seq 1 300); do
  xdotool search --name '^Velmora-Brelantor$' >/dev/null 2>&1 && { shown=yes; break; }
  kill -0 "$navigator" 2>/dev/null || break
  sleep 0.1
done
check "autorun.sh from another folder shows the main window" test -n "$shown" || cat "$work/navigator.log"
kill "$navigator" 2>/dev/null
wait "$navigator" 2>/dev/null
navigator=
check "the navigator used the disc's picture loaders" \
  sh -c "! grep -q 'recognize the image file format' '$work/navigator.log'"

[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
