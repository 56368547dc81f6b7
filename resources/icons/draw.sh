#!/usr/bin/env bash
# Redraws the program's icons with ImageMagick (white glyphs on a transparent ground).
set -euo pipefail
cd "$(dirname "$0")"
convert -size 32x32 xc:none -fill white -draw "roundrectangle 4,7 27,10 1,1" \
    -draw "roundrectangle 4,14 27,17 1,1" -draw "roundrectangle 4,21 27,24 1,1" PNG32:menu.png
convert -size 32x32 xc:none -fill none -stroke white -strokewidth 2.5 -draw "roundrectangle 3,3 28,28 8,8" \
    -draw "circle 15.5,15.5 15.5,9.5" -stroke none -fill white -draw "circle 23,8 24.6,8" PNG32:instagram.png
convert -size 32x32 xc:none -fill none -stroke white -strokewidth 2.5 -draw "circle 15.5,15.5 15.5,2.5" \
    -stroke none -fill white -draw "path 'M 17.5,30 L 17.5,18 L 21,18 L 21.5,14.5 L 17.5,14.5 L 17.5,12.2 Q 17.5,10.5 19.3,10.5 L 21.6,10.5 L 21.6,7.3 L 18.6,7.3 Q 13.8,7.3 13.8,12 L 13.8,14.5 L 10.8,14.5 L 10.8,18 L 13.8,18 L 13.8,30 Z'" \
    PNG32:facebook.png
convert -size 128x128 xc:none -fill none -stroke white -strokewidth 9 -draw "circle 63.5,63.5 63.5,8" \
    -stroke none -fill white -draw "polygon 50,38 94,63.5 50,89" PNG32:logo.png
