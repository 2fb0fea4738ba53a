#!/usr/bin/env bash
# At twice the pixel density the window keeps its design geometry in twips: twice the pixels.
# Keeps a screenshot. Usage: high_dpi.sh <corvane executable> <artefact folder>
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
exe=$(realpath "$1")
artefacts=$(realpath -m "$2")
mkdir -p "$artefacts"
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 2560x1600x24 -dpi 192" "$0" "$@"; fi
work=$(mktemp -d)
export HOME="$work" XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1 QT_SCALE_FACTOR=2
"$exe" > "$work/corvane.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
win=$(wait_for_window '^Corvane 2\.5$')
sleep 1.5
# The window that carries the title now (a first window can be replaced while the engine starts).
win=$(wait_for_window '^Corvane 2\.5$')
eval "$(xdotool getwindowgeometry --shell "$win")"
import -window "$win" "$artefacts/high-dpi.png"
echo "window: ${WIDTH} x ${HEIGHT}"
# The client area is 15375 twips wide: 2050 pixels at 192 dots per inch.
[ "$WIDTH" -eq 2050 ] || { echo "FAIL: width $WIDTH, expected 2050"; exit 1; }
[ "$HEIGHT" -gt 1346 ] || { echo "FAIL: height $HEIGHT, expected more than 1346 (client area plus menu bar)"; exit 1; }
# The toolbar images are drawn from vectors with flat colours: at 2x they are drawn anew, not blown
# up, so the strip holds the images' own colours and few blended in-between tones.
colours=$(convert "$artefacts/high-dpi.png" -crop 800x54+0+46 -format %k info:)
echo "toolbar colours: $colours"
[ "$colours" -gt 10 ] || { echo "FAIL: the toolbar shows no images"; exit 1; }
[ "$colours" -lt 200 ] || { echo "FAIL: the toolbar images look blurred ($colours tones)"; exit 1; }
echo "high dpi: passed"
