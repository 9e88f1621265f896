#!/usr/bin/env bash
# The main program in real windows: runs dbvantor (SDL2 backend) in a virtual X server, drives it
# with real X input (xdotool), and checks what it reports on stdout (--trace) and the pixels of
# screenshots (ImageMagick's import). Skips (exit 77) only when xvfb-run is not installed.
#   test_dbvantor_x11.sh DBVANTOR_EXECUTABLE
set -uo pipefail
exe=${1:?usage: test_dbvantor_x11.sh DBVANTOR_EXECUTABLE}

if [ "${2:-}" != --inside ]; then
  if ! command -v xvfb-run >/dev/null; then
    echo "SKIP: xvfb-run is not installed (Debian package xvfb)"
    exit 77
  fi
  for tool in xdotool import convert compare; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
  done
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$exe" --inside
fi

work=$(mktemp -d)
# The sample tables are written into a home of the test's own.
export DBVANTOR_HOME="$work/home"
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
out=$work/out.txt err=$work/err.txt
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# Waits (at most 30 s, in steps of 0.1 s) for a line of the program's trace.
# Waits until the trace line has appeared $2 times.
wait_trace_n() {
  for _ in $(seq 300); do
    [ "$(grep -cF "dbvantor: $1" "$out")" -ge "$2" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "trace line '$1' did not appear $2 times"
  echo "--- trace:"; cat "$out"; echo "--- stderr:"; cat "$err"
  exit 1
}
wait_trace() {
  for _ in $(seq 300); do
    grep -qF "dbvantor: $1" "$out" && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "no trace line '$1'"
  echo "--- trace:"; cat "$out"; echo "--- stderr:"; cat "$err"
  exit 1
}
# The colour of a screen pixel of a screenshot, as RRGGBB.
pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6; }
expect_pixel() {  # file x y RRGGBB what
  local got
  got=$(pixel "$1" "$2" "$3")
  [ "$got" = "$4" ] || fail "$5: pixel ($2,$3) is $got, expected $4"
}

"$exe" --trace >"$out" 2>"$err" &
pid=$!
wait_trace ready
wid=
for _ in $(seq 100); do
  wid=$(xdotool search --name '^DB Vantor$' 2>/dev/null | head -n 1)
  [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { fail "no window named 'DB Vantor'"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$wid")"
# The form is 640 x 440 with a 4-pixel frame, a 19-pixel caption and a menu bar, centred on
# the screen.
[ "$WIDTH" = 640 ] && [ "$HEIGHT" = 440 ] || fail "window is ${WIDTH}x$HEIGHT, expected 640x440"
[ "$X" = 192 ] && [ "$Y" = 164 ] || fail "window is at $X,$Y, expected 192,164 (centred)"
cx=$((X + 4)) cy=$((Y + 23 + 19))  # client origin on the screen (below the 19-pixel menu bar)

import -window root "$work/start.png"
expect_pixel "$work/start.png" $((X + 400)) $((Y + 12)) 000080 "active caption"
expect_pixel "$work/start.png" $((cx + 400)) $((cy + 4)) 243B5A "header panel"
expect_pixel "$work/start.png" $((cx + 400)) $((cy + 200)) FFFFFF "work area"

# Settings...: a modal form opens in a window of its own; Enter takes its default button.
xdotool mousemove $((cx + 54)) $((cy + 64)) click 1
wait_trace "status Settings open"
for _ in $(seq 100); do
  xdotool search --name '^Settings$' >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool search --name '^Settings$' >/dev/null 2>&1 || fail "no window for the modal form"
import -window root "$work/modal.png"
# The modal form (360 x 220, centred) is active; the main window's caption is inactive now.
expect_pixel "$work/modal.png" $((332 + 200)) $((274 + 12)) 000080 "modal caption"
expect_pixel "$work/modal.png" $((X + 600)) $((Y + 12)) 808080 "inactive main caption"
# Waiting in the modal loop costs no CPU (less than 0.1 s over a second).
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
t0=$(ticks)
sleep 1
idle=$(( $(ticks) - t0 ))
[ "$idle" -le $(( $(getconf CLK_TCK) / 10 )) ] || fail "the modal loop used $idle clock ticks in one idle second"
xdotool key Return
wait_trace "status Settings saved"

# Message: a modal box that Escape closes.
xdotool mousemove $((cx + 156)) $((cy + 64)) click 1
wait_trace "status Message shown"
xdotool key Escape
wait_trace "status Message closed"

# The menu bar: Alt+H opens Help, and its item's letter runs it (the same message box).
xdotool key alt+h
sleep 0.3
xdotool key a
wait_trace_n "status Message shown" 2
xdotool key Escape
wait_trace_n "status Message closed" 2

# Typed characters reach the form (text input through WM_CHAR), and the status line shows them.
# (No space: it would press the focused button.)
import -window root "$work/before-typing.png"
xdotool mousemove $((cx + 400)) $((cy + 200))
xdotool type --delay 30 'Vantor42'
wait_trace "status Typed: Vantor42"
sleep 0.2
import -window root "$work/typed.png"
status="100x14+$((cx + 2))+$((cy + 440 - 23 - 19 - 4 - 20))"
convert "$work/before-typing.png" -crop "$status" "$work/status-before.png"
convert "$work/typed.png" -crop "$status" "$work/status-typed.png"
changed=$(compare -metric AE "$work/status-before.png" "$work/status-typed.png" null: 2>&1)
[ "${changed%%.*}" -gt 20 ] 2>/dev/null || fail "the status line did not change on screen ($changed pixels)"

# A resized window resizes the form; the anchored Close button follows the right edge.
xdotool windowsize "$wid" 700 480
wait_trace "size 700x480"
sleep 0.2
xdotool mousemove $((cx + 700 - 8 - 8 - 40)) $((cy + 64)) click 1
wait_trace closing
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  fail "the program did not exit after Close"
else
  wait "$pid"
  rc=$?
  pid=
  [ "$rc" = 0 ] || fail "exit status $rc"
fi
if grep -qE "AddressSanitizer|LeakSanitizer|runtime error|X Error" "$err"; then
  fail "errors on stderr"
  cat "$err"
fi
if [ "$failures" -gt 0 ]; then
  echo "--- trace:"; cat "$out"
  exit 1
fi
echo "dbvantor under X: all checks passed"
