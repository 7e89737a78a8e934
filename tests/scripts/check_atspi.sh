#!/usr/bin/env bash
# Starts the program under Xvfb with its accessibility bridge on and reads both pages and the
# open-picture dialog over AT-SPI (atspi_dump.py); fails when a text a user can read there is
# missing from the tree. --dump prints the tree too.
#   usage: tests/scripts/check_atspi.sh [PROGRAM] [--dump]   (default build/app/korvalen)
# Needs: xvfb, xdotool, dbus, at-spi2-core, python3-pyatspi (make check-desktop installs them).
set -u
here=$(cd "$(dirname "$0")" && pwd)
prog=build/app/korvalen
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then prog=$1; shift; fi
prog=$(realpath "$prog")
# The dialog opens in the working folder: one picture there for the preview pane to show.
folder=$(mktemp -d)
cp "$here/../data/moon-colour.jpg" "$folder/moon.jpg"
cd "$folder" || exit 1
for n in $(seq 90 120); do [ -e /tmp/.X11-unix/X$n ] || { disp=:$n; break; }; done
Xvfb "$disp" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
trap 'kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; rm -rf "$folder"' EXIT
sleep 1
# One private session bus: the accessibility bus and its registry start on demand inside it.
# The registry is started first: a program that finds none at start-up stays out of the tree.
DISPLAY=$disp QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 dbus-run-session -- bash -c '
    /usr/bin/python3 -c "import pyatspi; pyatspi.Registry.getDesktop(0)"
    "$1" >/dev/null 2>&1 &
    prog=$!
    /usr/bin/python3 "$2/atspi_dump.py" --picture moon.jpg "${@:3}"
    status=$?
    if ! kill $prog 2>/dev/null; then
        wait $prog
        echo "FAIL: the program ended on its own (exit $?) while being read" >&2
        status=1
    fi
    wait $prog 2>/dev/null
    exit $status' check "$prog" "$here" "$@"
