#!/usr/bin/env bash
# Takes the README's screenshots under Xvfb: opens a synthetic Moon through the open dialog,
# clicks its two cusps, traces, turns both spin boxes, then uses the calculator.
#   usage: docs/screenshots.sh build/app/korvalen
# Needs: xvfb, xdotool, imagemagick, python3.
set -eu
prog=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
python3 "$here/synthetic_moon.py" "$work/moon.bmp" >/dev/null   # cusps at (382, 75), (278, 565)

for n in 81 82 83 84 85 86 87 88; do [ -e /tmp/.X11-unix/X$n ] || { disp=:$n; break; }; done
Xvfb "$disp" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 & xpid=$!
sleep 1
export DISPLAY=$disp
"$prog" >"$work/log" 2>&1 & ppid=$!
for _ in $(seq 50); do xdotool search --onlyvisible --name Selmarin >/dev/null 2>&1 && break; sleep 0.2; done
sleep 1
wid=$(xdotool search --onlyvisible --name Selmarin | head -1)
eval "$(xdotool getwindowgeometry --shell "$wid")"
ox=$((X + 2)); oy=$((Y + 25)) # the pages' top-left corner on the screen (no window manager)
at() { xdotool mousemove $((ox + $1)) $((oy + $2)) click 1; sleep 0.3; }

at 62 35; sleep 1 # Ouvrir une image
xdotool type --delay 20 "$work/moon.bmp"; xdotool key Return; sleep 2
at 60 220; sleep 0.5 # a click on a bare part of the page closes the file-name completer
at $((128 + 382)) 75 # the two cusps
at $((128 + 278)) 565
at 62 140 # Traçage des lignes
at 36 454; sleep 1 # Ajuster: the terminator found on the photograph, Position terminateur: -30
at 50 416; xdotool key --delay 30 --repeat 20 Down # Hauteur du Soleil: -20
xdotool mousemove $((ox + 128 + 240)) $((oy + 300)); sleep 1 # the elevation under the pointer
import -window "$wid" "$here/measurement.png"

at 113 -13; sleep 0.5 # page Explications: a shadow of 12 px with the Sun 8.5 degrees high
at 117 413; xdotool type --delay 50 "12"
at 116 472; xdotool key Home shift+End; xdotool type --delay 50 "8.5"
at 228 439; sleep 0.5 # Calcul
xdotool mousemove $((ox + 700)) $((oy + 600)); sleep 0.5
import -window "$wid" "$here/calculator.png"

kill $ppid; wait $ppid 2>/dev/null || true
kill $xpid; wait $xpid 2>/dev/null || true
rm -rf "$work"
echo "saved $here/measurement.png and $here/calculator.png"
