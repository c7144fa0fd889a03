#!/usr/bin/env bash
# Renders the committed PNG icons from marrowtune.svg; run it again after changing the drawing.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
    mkdir -p "icons/${size}x${size}"
    rsvg-convert -w "$size" -h "$size" marrowtune.svg -o "icons/${size}x${size}/marrowtune.png"
done
