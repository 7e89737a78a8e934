#!/usr/bin/env bash
# Starts the program under Xvfb and checks with xprop that its window is captioned "Selmarin"
# while its icon name, which X11 task lists show, is "Korvalen".
#   usage: tests/scripts/check_icon_name.sh [PROGRAM]   (default build/app/korvalen)
# Needs: xvfb, x11-utils (xprop), xdotool.
set -u
prog=${1:-build/app/korvalen}
for n in $(seq 90 120); do [ -e /tmp/.X11-unix/X$n ] || { disp=:$n; break; }; done
Xvfb "$disp" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
trap 'kill "$ppid" "$xpid" 2>/dev/null; wait 2>/dev/null' EXIT
sleep 1
DISPLAY=$disp "$prog" >/dev/null 2>&1 &
ppid=$!
win=
for _ in $(seq 50); do
    win=$(DISPLAY=$disp xdotool search --onlyvisible --name '^Selmarin$' 2>/dev/null | head -1)
    [ -n "$win" ] && break
    sleep 0.2
done
[ -n "$win" ] || { echo "FAIL: no window captioned Selmarin" >&2; exit 1; }
props=$(DISPLAY=$disp xprop -id "$win" _NET_WM_NAME _NET_WM_ICON_NAME WM_ICON_NAME)
echo "$props"
status=0
grep -qx '_NET_WM_NAME(UTF8_STRING) = "Selmarin"' <<<"$props" || { echo "FAIL: caption" >&2; status=1; }
grep -qx '_NET_WM_ICON_NAME(UTF8_STRING) = "Korvalen"' <<<"$props" || { echo "FAIL: _NET_WM_ICON_NAME" >&2; status=1; }
[ $status = 0 ] && echo "PASS: caption Selmarin, icon name Korvalen"
exit $status
