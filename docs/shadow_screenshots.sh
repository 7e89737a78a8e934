#!/usr/bin/env bash
# Takes the README's screenshots of the shadow tool under Xvfb: opens a synthetic Moon with one
# mountain, clicks the cusps, traces, sets the terminator, then clicks the summit and the end of
# its shadow with "Ombre" down; a magnified inset shows the shadow.
#   usage: docs/shadow_screenshots.sh build/app/korvalen
# Needs: xvfb, xdotool, imagemagick, python3.
set -eu
prog=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
python3 "$here/shadow_moon.py" "$work/moon.bmp" >"$work/points"
read -r _ c1x c1y < <(sed -n 1p "$work/points")
read -r _ c2x c2y < <(sed -n 2p "$work/points")
read -r _ tx ty < <(sed -n 3p "$work/points")
read -r _ ex ey < <(sed -n 4p "$work/points")

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
at $((128 + c1x)) "$c1y" # the two cusps
at $((128 + c2x)) "$c2y"
at 62 140 # Traçage des lignes
at 50 358; xdotool key --delay 30 --repeat 35 Up # Position terminateur: 35
at 92 454 # Ombre
at $((128 + tx)) "$ty" # the summit, then the end of its shadow
at $((128 + ex)) "$ey"
xdotool mousemove $((ox + 60)) $((oy + 620)); sleep 1
import -window "$wid" "$work/window.png"
# A magnified inset of the shadow in the dark sky at the top left of the picture area.
convert "$work/window.png" -crop 48x32+$((2 + 128 + tx - 16))+$((25 + ty - 16)) +repage \
  -scale 600% -bordercolor white -border 2 "$work/inset.png"
convert "$work/window.png" "$work/inset.png" -geometry +$((2 + 128 + 8))+$((25 + 330)) -composite \
  "$here/shadow.png"

at 113 -13; sleep 0.5 # page Explications: the details of the shadow
xdotool mousemove $((ox + 700)) $((oy + 300)); sleep 0.5
import -window "$wid" "$work/explications.png"
convert "$work/explications.png" -crop 420x160+$((2 + 470))+$((25 + 352)) +repage "$here/shadow-details.png"

kill $ppid; wait $ppid 2>/dev/null || true
kill $xpid; wait $xpid 2>/dev/null || true
rm -rf "$work"
echo "saved $here/shadow.png and $here/shadow-details.png"
