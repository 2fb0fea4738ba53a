#!/bin/sh
# Renders the hicolor theme PNGs of the window icon from its SVG sources.
# The PNGs are committed so that building needs no SVG renderer; run this again
# after changing resources/icons/corvane.svg or corvane-16.svg.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
icons="$root/resources/icons"

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "render_icons.sh: rsvg-convert not found (apt-get install librsvg2-bin)" >&2
    exit 1
fi

for size in 16 32 48 256; do
    # The 16 px drawing is redrawn on the pixel grid; every other size scales the main drawing.
    if [ "$size" = 16 ]; then
        src="$icons/corvane-16.svg"
    else
        src="$icons/corvane.svg"
    fi
    mkdir -p "$icons/hicolor/$size"
    rsvg-convert --width "$size" --height "$size" --format png "$src" --output "$icons/hicolor/$size/corvane.png"
    echo "$icons/hicolor/$size/corvane.png"
done
