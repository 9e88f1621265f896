#!/usr/bin/env bash
# Without a display the main program renders its main window to a PNG, says where, exits 0.
#   test_dbvantor_headless.sh DBVANTOR_EXECUTABLE
set -uo pipefail
exe=${1:?usage: test_dbvantor_headless.sh DBVANTOR_EXECUTABLE}
work=$(mktemp -d)
# The sample tables are written into a home of the test's own.
export DBVANTOR_HOME="$work/home"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$exe" 2>"$work/err.txt")
rc=$?
[ "$rc" = 0 ] || { echo "FAIL: exit status $rc"; cat "$work/err.txt"; exit 1; }
[ "$out" = "dbvantor: no display; rendered the main window to $work/dbvantor.png" ] ||
  { echo "FAIL: printed '$out'"; exit 1; }
size=$(identify -format '%wx%h' "$work/dbvantor.png") || { echo "FAIL: no PNG"; exit 1; }
[ "$size" = 640x440 ] || { echo "FAIL: PNG is $size, expected 640x440"; exit 1; }
# The caption bar of the active main window.
[ "$(convert "$work/dbvantor.png" -format '%[hex:p{400,12}]' info: | cut -c1-6)" = 000080 ] ||
  { echo "FAIL: no caption bar in the PNG"; exit 1; }
# The sample tables are real dBase files: an independent reader sees their records and memos.
counts=$(/usr/bin/python3 - "$DBVANTOR_HOME/samples" <<'PY'
import sys, dbfread
d = sys.argv[1]
parts = list(dbfread.DBF(d + "/PARTS.DBF"))
print(len(list(dbfread.DBF(d + "/CUSTOMER.DBF"))), len(list(dbfread.DBF(d + "/ORDERS.DBF"))),
      len(parts), parts[0]["NOTES"])
PY
) || { echo "FAIL: the sample tables do not read"; exit 1; }
[ "$counts" = "8 5 4 Two seats, with a rudder." ] || { echo "FAIL: sample tables read as '$counts'"; exit 1; }
echo "dbvantor without a display: PNG written, sample tables readable"
