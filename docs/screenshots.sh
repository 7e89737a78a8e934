#!/usr/bin/env bash
# Takes every screenshot of the README in one run under Xvfb, on the synthetic photograph that
# synthsample --readme writes (a gibbous Moon with one cone near the terminator):
#   open-dialog.png     the open dialog with its preview and "Cadrer sur la Lune"
#   measurement.png     cusps clicked, lines traced, "Ajuster" pressed, the elevation under the
#                       pointer (drawn as an arrow: X screenshots leave the pointer out)
#   shadow.png          "Ombre" down, the cone's summit and the end of its shadow clicked, with
#                       a magnified inset of the shadow
#   calculator.png      the page "Explications": the calculator and "Assistant ombre"
#   shadow-details.png  the box "Assistant ombre" alone
#   dateplace-dialog.png  "Date et lieu…" with the date, the time, its zone and the place typed
#   dateplace.png       the window with the date known and the pointer on the Moon
#   statusline.png      the status line of that window alone
#   usage: docs/screenshots.sh [build/app/korvalen [build/tests/synth/synthsample]]
# Needs: xvfb, xdotool, imagemagick, xclip.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
prog=$(realpath "${1:-$here/../build/app/korvalen}")
synth=$(realpath "${2:-$(dirname "$prog")/../tests/synth/synthsample}")
work=$(mktemp -d)
"$synth" --readme "$work" >"$work/points"
photo=$work/readme-moon.jpg
read -r _ c1x c1y < <(sed -n 1p "$work/points")
read -r _ c2x c2y < <(sed -n 2p "$work/points")
read -r _ tx ty < <(sed -n 3p "$work/points")
read -r _ ex ey < <(sed -n 4p "$work/points")

for n in 81 82 83 84 85 86 87 88; do [ -e /tmp/.X11-unix/X$n ] || { disp=:$n; break; }; done
Xvfb "$disp" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 & xpid=$!
cleanup() {
  kill "${ppid:-}" 2>/dev/null || true
  kill "$xpid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
sleep 1
export DISPLAY=$disp
# French numbers (a decimal comma), as a French user sees them.
LANG=fr_FR.UTF-8 "$prog" >"$work/log" 2>&1 & ppid=$!
for _ in $(seq 50); do xdotool search --onlyvisible --name Selmarin >/dev/null 2>&1 && break; sleep 0.2; done
sleep 1
wid=$(xdotool search --onlyvisible --name Selmarin | head -1)
eval "$(xdotool getwindowgeometry --shell "$wid")"
ox=$((X + 2)); oy=$((Y + 25)) # the pages' top-left corner on the screen (no window manager)
move() { xdotool mousemove $((ox + $1)) $((oy + $2)); sleep 0.3; }
at() { move "$1" "$2"; xdotool click 1; sleep 0.3; }
shot() { sleep 0.5; import -window "$wid" "$1"; }
# A pointer arrow drawn at window point (x, y) of a screenshot.
arrow() {
  local x=$(($2 + 2)) y=$(($3 + 25))
  mogrify -fill white -stroke black -strokewidth 1 -draw "polygon $x,$y $x,$((y + 17)) \
$((x + 4)),$((y + 13)) $((x + 7)),$((y + 19)) $((x + 10)),$((y + 18)) $((x + 7)),$((y + 12)) \
$((x + 12)),$((y + 12))" "$1"
}

# The open dialog, the photograph's name typed, "Cadrer sur la Lune" checked.
at 62 35; sleep 1 # Ouvrir une image
xdotool type --delay 20 "$work/"; xdotool key Return; sleep 1
dlg=$(xdotool search --onlyvisible --name . | grep -v "^$wid$" | tail -1)
eval "$(xdotool getwindowgeometry --shell "$dlg" | sed 's/^/D/')"
indialog() { xdotool mousemove $((DX + $1)) $((DY + $2)) click 1; sleep 0.5; }
xdotool type --delay 20 "readme-moon.jpg"; sleep 1
indialog 400 300; sleep 0.5 # closes the file-name completer
indialog 160 70 # the photograph in the list: the preview shows it
indialog 636 458 # Cadrer sur la Lune (the photograph fits the area: it opens as it is)
xdotool mousemove $((DX + 400)) $((DY + 300)); sleep 0.5
import -window root -crop "${DWIDTH}x${DHEIGHT}+${DX}+${DY}" +repage "$work/dialog.png"
cp "$work/dialog.png" "$here/open-dialog.png"
indialog 582 426; sleep 2 # Open

# A measurement: the cusps, the lines, "Ajuster", then an elevation read under the pointer.
at $((128 + c1x)) "$c1y"
at $((128 + c2x)) "$c2y"
at 62 140 # Traçage des lignes
at 36 454; sleep 1 # Ajuster
at 64 416; xdotool key --delay 30 --repeat 20 Up # Hauteur du Soleil: 20
# The pointer on the cyan curve, where the label reads the curve's value.
py=300
shot "$work/traced.png"
px=$(convert "$work/traced.png" -crop 954x1+0+$((25 + py)) txt:- | grep -m1 -i '#00FFFF' | cut -d, -f1)
px=$((px - 2))
move "$px" "$py"; sleep 0.5
shot "$here/measurement.png"
arrow "$here/measurement.png" "$px" "$py"

# The shadow tool on the cone: its summit, then the end of its shadow.
at 92 454 # Ombre
at $((128 + tx)) "$ty"
at $((128 + ex)) "$ey"
move 60 230 # off the picture, and off the logo, whose tooltip would show half drawn
shot "$work/window.png"
# The inset, magnified 6 times, in the sky at the bottom left of the picture area.
convert "$work/window.png" -crop 48x32+$((2 + 128 + (tx + ex) / 2 - 24))+$((25 + ty - 16)) +repage \
  -scale 600% -bordercolor white -border 2 "$work/inset.png"
convert "$work/window.png" "$work/inset.png" -geometry +$((2 + 128 + 8))+$((25 + 440)) -composite \
  "$here/shadow.png"

# The loupe on the terminator, magnified 8 times (one step of the wheel), then the measurement
# copied: the clipboard's text set in a picture of its own.
at 36 302 # Loupe
ry=250
rx=$(convert "$work/window.png" -crop 954x1+0+$((25 + ry)) txt:- | grep -m1 -i '#FF0000' | cut -d, -f1)
move "$((rx - 2))" "$ry"; xdotool click 4; sleep 0.5
shot "$here/loupe.png"
arrow "$here/loupe.png" "$((rx - 2))" "$ry"
at 36 302 # Loupe put down
at 92 302 # Copier
xclip -selection clipboard -o > "$work/copied.txt"
convert -background white -fill black -font DejaVu-Sans -pointsize 13 -border 12 \
  -bordercolor white label:"$(sed 's/%/%%/g' "$work/copied.txt")" "$here/copied.png"

# The page "Explications": the shadow's details, and the calculator given the shadow's ground
# length and the Sun's elevation at its end, for the flat-ground height beside them.
at 113 -13; sleep 0.5
at 117 413; xdotool type --delay 50 "76,10"
at 116 472; xdotool key Home shift+End; xdotool type --delay 50 "2,2"
at 228 439 # Calcul
move 700 600
shot "$here/calculator.png"
convert "$here/calculator.png" -crop 420x160+$((2 + 470))+$((25 + 352)) +repage \
  "$here/shadow-details.png"
# "Date et lieu…": the date, the time with its zone and the place typed in (the photograph's
# terminator is the one predicted for Paris on 26 April 2026 at 00:10, summer time), then the
# pointer on the Moon: the status line under the pages.
at 29 -13; sleep 0.5 # the page "Mesures"
at 44 669; sleep 1 # Date et lieu…
for field in "26/04/2026" "00:10:00" "+02:00" "48,85" "2,35" "35"; do
  xdotool type --delay 20 "$field"; xdotool key Tab
done
sleep 0.5
dlg=$(xdotool search --onlyvisible --name "^Date et lieu$" | tail -1)
import -window "$dlg" "$here/dateplace-dialog.png"
xdotool key Return; sleep 1
py=330
px=$((128 + 560))
move "$px" "$py"; sleep 0.5
shot "$here/dateplace.png"
arrow "$here/dateplace.png" "$px" "$py"
convert "$here/dateplace.png" -crop 954x22+0+683 +repage "$here/statusline.png"
echo "saved in $here: open-dialog.png measurement.png shadow.png loupe.png copied.png calculator.png shadow-details.png dateplace-dialog.png dateplace.png statusline.png"
