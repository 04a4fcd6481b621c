#!/usr/bin/env bash
# draw-icon.sh SIZE OUT: draws the program icon, a folder whose front is a
# tiled pattern, as a SIZE x SIZE PNG. The drawing is laid out on a 64 x 64
# grid and scaled as a whole, lines included, so every size is drawn sharp
# rather than resampled from another. Needs ImageMagick 6.
set -euo pipefail

size=$1
out=$2
scale=$(awk -v size="$size" 'BEGIN {printf "%.6f", size / 64}')
convert-im6.q16 -size "${size}x${size}" xc:none -affine "$scale,0,0,$scale,0,0" \
    -fill '#2f5b8c' -stroke '#1f3f66' -strokewidth 1 \
    -draw 'roundrectangle 4,8 28,20 3,3' \
    -draw 'roundrectangle 4,13 59,56 4,4' \
    -stroke none \
    -fill '#dfe8f3' -draw 'rectangle 8,22 55,52' \
    -fill '#4f84c2' -draw 'polygon 8,22 20,22 14,32' -draw 'polygon 20,22 32,22 26,32' \
    -draw 'polygon 32,22 44,22 38,32' -draw 'polygon 44,22 55,22 50,32' \
    -draw 'polygon 14,32 26,32 20,42' -draw 'polygon 26,32 38,32 32,42' \
    -draw 'polygon 38,32 50,32 44,42' \
    -draw 'polygon 8,52 14,42 20,52' -draw 'polygon 20,52 26,42 32,52' \
    -draw 'polygon 32,52 38,42 44,52' -draw 'polygon 44,52 50,42 55,52' \
    -fill '#9dbbe0' -draw 'polygon 8,22 14,32 8,32' -draw 'polygon 8,32 14,32 8,42' \
    -stroke '#1f3f66' -fill none -draw 'rectangle 8,22 55,52' \
    PNG32:"$out"
