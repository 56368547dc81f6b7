#!/usr/bin/env bash
# Draws the demo's banner and renders its short lesson videos into the given folder.
set -euo pipefail
out=$1
mkdir -p "$out"
if [ ! -f "$out/banner.png" ]; then
    convert -size 960x360 gradient:'#0B3D5C'-'#16A085' \
        -fill '#FFFFFF' -font DejaVu-Sans-Bold -pointsize 64 -gravity center -annotate +0-30 'Orvy Class' \
        -fill '#D0F0E8' -font DejaVu-Sans -pointsize 28 -annotate +0+50 'Video courses' \
        PNG32:"$out/banner.png"
fi
sources=("testsrc=size=640x360:rate=25" "testsrc2=size=640x360:rate=25" "smptebars=size=640x360:rate=25")
tones=(440 523 659)
for i in 0 1 2; do
    f="$out/lesson$((i + 1)).mp4"
    [ -f "$f" ] && continue
    ffmpeg -loglevel error -y -f lavfi -i "${sources[$i]}" -f lavfi -i "sine=frequency=${tones[$i]}" -t 20 \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 64k -movflags +faststart "$f"
done
