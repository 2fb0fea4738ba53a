#!/usr/bin/env bash
# Live preview in a real window under Xvfb with a window manager, as a person uses it: a page in
# the HTML pane, "实时预览" checked in the preview pane's context menu, then a colour typed into the
# CSS pane; without a press of the run button the preview takes the colour, read from the screen.
# Usage: live_preview.sh <corvane executable> <artefact folder>
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
exe=$(realpath "$1")
artefacts=$(realpath -m "$2")
mkdir -p "$artefacts"
own_display "$0" "$@"

work=$(mktemp -d)
trap 'kill "${pid:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1
mkdir -p "$HOME"

seen_all=""
fail() { echo "FAIL: $*"; import -window root "$artefacts/failure-live.png" 2>/dev/null || true; exit 1; }
title_is() { [ "$(xdotool getwindowname "$win")" = "$1" ]; }
is_active() { [ "$(xdotool getactivewindow)" = "$win" ]; }
# Low in the preview pane, below anything the page writes: the page's background.
preview_is() { [ "$(pixel "$win" 750 600)" = "$1" ]; }

start_window_manager
"$exe" > "$artefacts/corvane-live.log" 2>&1 &
pid=$!
win=$(wait_for_window '^Corvane 2\.5$') || fail "no window titled Corvane 2.5"
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win" 2>/dev/null || true
wait_until 10 is_active || true
for attempt in $(seq 10); do
    xdotool key ctrl+n
    if wait_until 2 title_is "Corvane"; then break; fi
    [ "$attempt" -lt 10 ] || fail "New did not set the caption"
done
xdotool type --delay 5 '<p>live</p>'

# The preview pane's context menu: its last three items are "实时预览", "合并 CSS 和 JS 窗格" and
# "在浏览器中打开". Up from the bottom three times reaches "实时预览".
xdotool mousemove --window "$win" 752 400 click 3
sleep 0.5
xdotool key Up Up Up Return
wait_until 60 preview_is "#FFFFFF" || fail "live preview showed no page (pixel $(pixel "$win" 750 600))"

# The CSS pane's header brings it forward; type a colour and wait, pressing nothing else.
xdotool mousemove --window "$win" 244 63 click 1
xdotool mousemove --window "$win" 240 300 click 1
xdotool type --delay 5 'body { background: #00ff00 }'
typed=$(date +%s%N)
wait_until 30 preview_is "#00FF00" || fail "the preview did not take the CSS pane's colour (pixel $(pixel "$win" 750 600))"
echo "live preview: new colour on screen $(( ($(date +%s%N) - typed) / 1000000 )) ms after the last key"

# Once more: the colour changes again with the pane, straight from green to blue, never through
# the white of an empty page (the screen is read as often as it can be while the page is rebuilt).
xdotool key ctrl+a
xdotool type --delay 5 'body { background: #0000ff }'
seen=""
for tries in $(seq 300); do
    now=$(pixel "$win" 750 600)
    [ "$now" = "$seen" ] || seen_all="$seen_all $now"
    seen="$now"
    [ "$now" = "#0000FF" ] && break
    sleep 0.02
done
[ "$seen" = "#0000FF" ] || fail "the preview did not follow the second change (pixel $seen)"
case "$seen_all" in *"#FFFFFF"*) fail "the preview flashed white between versions:$seen_all" ;; esac
import -window "$win" "$artefacts/live-preview.png"
echo "live preview: passed"
