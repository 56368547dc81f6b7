#!/usr/bin/env bash
# Renders the application icon (orvyclass.svg) into the PNG sizes the desktop's icon
# theme and the window use, and into the Windows icon file. Run it after changing the
# SVG and check in what it writes. Needs rsvg-convert (librsvg2-bin) and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
sizes=(16 22 24 32 48 64 128 256 512)
mkdir -p icons windows
for size in "${sizes[@]}"; do
    rsvg-convert -w "$size" -h "$size" orvyclass.svg -o "icons/orvyclass-$size.png"
done
# Windows shows 16 to 256; the 256 entry is stored as PNG inside the file.
convert icons/orvyclass-{16,24,32,48,64,256}.png windows/orvyclass.ico
