#!/usr/bin/env bash
# Draws the program's pictures into res/img: the picture-button face strip,
# the picture behind the log list and the program icon. Needs ImageMagick 6
# (convert-im6.q16; the first "convert" on PATH may be another program).
# Run from anywhere; the output is committed, so run it only after a change.
set -euo pipefail

IM=convert-im6.q16
out="$(cd "$(dirname "$0")/.." && pwd)/res/img"
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ---- button.png: four 100 x 28 faces, normal, pressed, disabled, hot ----------
frame='#2f5b8c'
# face NAME TOP BOTTOM FRAME [INNER]: a vertical gradient in a 1 px frame,
# optionally with a second, inner frame line.
face() {
    local name=$1 top=$2 bottom=$3 border=$4 inner=${5:-}
    if [ -n "$inner" ]; then
        $IM -size 96x24 gradient:"$top"-"$bottom" \
            -bordercolor "$inner" -border 1 -bordercolor "$border" -border 1 "$tmp/$name.png"
    else
        $IM -size 98x26 gradient:"$top"-"$bottom" \
            -bordercolor "$border" -border 1 "$tmp/$name.png"
    fi
}
face normal   '#f4f7fb' '#c3cfdf' "$frame"
face pressed  '#9fb1c9' '#e3e9f1' "$frame"
face disabled '#eeeff1' '#d3d6da' '#8c96a2'
face hot      '#fbfdff' '#cbd9ec' "$frame" '#8fb3de'
# A one-pixel highlight under the top frame gives the raised faces some depth.
for name in normal hot; do
    $IM "$tmp/$name.png" -fill '#ffffff' -draw 'line 2,2 97,2' "$tmp/$name.png"
done
$IM "$tmp/normal.png" "$tmp/pressed.png" "$tmp/disabled.png" "$tmp/hot.png" +append \
    -type TrueColor PNG24:"$out/button.png"

# ---- logback.png: 240 x 120, a faint tessellation of triangles --------------
# Alternate two pale fills so the pattern reads as tiles without competing
# with the log text drawn over it; the edges fade to the list's white.
draw=()
side=24
height=21
for ((row = 0; row * height < 120; row++)); do
    y0=$((row * height))
    y1=$((y0 + height))
    shift_x=$(( (row % 2) * side / 2 ))
    for ((col = -1; col * side < 240 + side; col++)); do
        x=$((col * side + shift_x))
        up="polygon $x,$y1 $((x + side / 2)),$y0 $((x + side)),$y1"
        down="polygon $((x + side / 2)),$y0 $((x + side + side / 2)),$y0 $((x + side)),$y1"
        if (( (row + col) % 2 == 0 )); then fill_up='#e9eff7'; fill_down='#f3f6fa'
        else fill_up='#f3f6fa'; fill_down='#edf2f8'; fi
        draw+=(-fill "$fill_up" -draw "$up" -fill "$fill_down" -draw "$down")
    done
done
$IM -size 240x120 xc:'#f7f9fc' -stroke '#e2e9f2' -strokewidth 1 "${draw[@]}" "$tmp/tiles.png"
$IM -size 240x120 radial-gradient:'#ffffff'-'#000000' -level 0%,80% "$tmp/fade.png"
$IM \( -size 240x120 xc:'#ffffff' \) "$tmp/tiles.png" "$tmp/fade.png" -compose over -composite \
    +dither -colors 64 PNG8:"$out/logback.png"

# ---- icon.png: 64 x 64; the menu and tray sizes are drawn at build time --
"$(dirname "$0")/draw-icon.sh" 64 "$out/icon.png"

echo "Wrote button.png, logback.png and icon.png to $out"
