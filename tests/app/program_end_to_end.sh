#!/usr/bin/env bash
# Runs the program on a small medium as a user would: the trace it writes, the
# working directory it makes, and that nothing of it is left after the end,
# whether the program was closed or ended by a signal.
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR" "$work/medium/img" "$work/medium/REFIMG"
printf '["opis.html"]' > "$work/medium/descrlist.js"
printf 'x' > "$work/medium/img/icon.ico"
cd "$work/medium"
fail=0

for signal in TERM INT HUP; do
  # The previous run's trace must not be read before this run truncates it.
  rm -f "$work/out.txt" "$work/err.txt"
  "$program" "$work/medium" > "$work/out.txt" 2> "$work/err.txt" &
  pid=$!
  # Wait for the working directory to appear (the trace names it).
  for _ in $(seq 1 500); do
    grep -q '^tmpDirectory = ' "$work/out.txt" 2>/dev/null && break
    sleep 0.02
  done
  dir=$(sed -n 's/^tmpDirectory = //p' "$work/out.txt")
  if [ -z "$dir" ] || [ ! -f "$dir/descrlist.js" ]; then
    echo "SIG$signal: working directory not made: '$dir'"; cat "$work/out.txt" "$work/err.txt"; fail=1
  fi
  mode=$(stat -c %a "$dir" 2>/dev/null)
  [ "$mode" = 700 ] || { echo "working directory mode is $mode, not 700"; fail=1; }
  kill -"$signal" "$pid"
  wait "$pid"
  code=$?
  if [ -e "$dir" ]; then echo "SIG$signal left $dir behind"; fail=1; fi
  [ "$code" = 0 ] || { echo "SIG$signal: exit code $code"; fail=1; }
  # The whole start-up trace, in order.
  expected=$(printf '%s\n' "currentPATH = $work/medium/" "$program" "$work/medium" "-----------------" \
    "sourceDir: img" "sourceDir: images" "tmpDirectory = $dir")
  [ "$(cat "$work/out.txt")" = "$expected" ] ||
    { echo "start-up trace wrong:"; diff <(echo "$expected") "$work/out.txt"; fail=1; }
done
# The display goes away under the running program (the desktop session ended):
# the toolkit ends it, and its working directory goes too.
rm -f "$work/out.txt"
exec 5< <(Xvfb -displayfd 1 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xpid <&5
read -r display <&5
if [ -n "$display" ]; then
  DISPLAY=":$display" "$program" "$work/medium" > "$work/out.txt" 2> "$work/err-x.txt" &
  pid=$!
  for _ in $(seq 1 500); do
    grep -q '^tmpDirectory = ' "$work/out.txt" 2>/dev/null && break
    sleep 0.02
  done
  dir=$(sed -n 's/^tmpDirectory = //p' "$work/out.txt")
  kill "$xpid"
  wait "$pid"
  if [ -z "$dir" ] || [ -e "$dir" ]; then echo "display loss left '$dir' behind"; fail=1; fi
else
  echo "no private display could be started"; fail=1
fi
# The default icon is not a picture: the loader's error, naming it, goes to standard error.
grep -q "img/icon.ico" "$work/err.txt" || { echo "no error for the broken icon:"; cat "$work/err.txt"; fail=1; }
leftovers=$(ls -A "$TMPDIR")
[ -z "$leftovers" ] || { echo "left in the temporary folder: $leftovers"; fail=1; }
[ $fail = 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
