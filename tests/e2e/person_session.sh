#!/usr/bin/env bash
# A person's session in a real window under Xvfb: type into the HTML pane, save with F3 through the
# real save dialog, press the run button, type more, close the window and answer the question.
# Checks the saved file, the preview file and the window titles, and keeps a screenshot.
# Usage: person_session.sh <corvane executable> <artefact folder>
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
exe=$(realpath "$1")
artefacts=$(realpath -m "$2")
mkdir -p "$artefacts"
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill "${pid:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1
mkdir -p "$HOME"
saved="$work/my page.html"

fail() { echo "FAIL: $*"; import -window root "$artefacts/failure.png" 2>/dev/null || true; exit 1; }
title() { xdotool getwindowname "$win"; }

start=$(date +%s%N)
"$exe" > "$artefacts/corvane.log" 2>&1 &
pid=$!
win=$(wait_for_window '^Corvane 2\.5$') || fail "no window titled Corvane 2.5"
shown=$(date +%s%N)
echo "window shown after $(( (shown - start) / 1000000 )) ms"
sleep 1
win=$(wait_for_window '^Corvane 2\.5$')
xdotool windowfocus --sync "$win" 2>/dev/null || true

# New, then type a page. The focus starts in the HTML pane.
xdotool key ctrl+n
sleep 0.3
[ "$(title)" = "Corvane" ] || fail "New did not set the caption: $(title)"
xdotool type --delay 5 '<p>hello corvane</p>'
sleep 0.3

# Save As with F3: type the path into the dialog and accept.
xdotool key F3
dialog=$(wait_for_window '^另存为$') || fail "no Save As dialog"
sleep 0.5
xdotool type --delay 5 "$saved"
xdotool key Return
for _ in $(seq 50); do [ -f "$saved" ] && break; sleep 0.1; done
[ -f "$saved" ] || fail "the file was not saved"
[ "$(cat "$saved")" = "<p>hello corvane</p>" ] || fail "saved file holds: $(cat "$saved")"
[ "$(title)" = "$saved" ] || fail "caption after Save As: $(title)"

# The run button: client origin below the menu bar, button at (616, 16) in a 97 x 25 box.
xdotool mousemove --window "$win" 664 51 click 1
preview="$XDG_CACHE_HOME/corvane/test.html"
for _ in $(seq 50); do [ -f "$preview" ] && break; sleep 0.1; done
[ -f "$preview" ] || fail "the preview file was not written"
# UTF-8 with a byte-order mark, which the browser obeys whatever the page declares.
[ "$(cat "$preview")" = $'\xEF\xBB\xBF<p>hello corvane</p>' ] || fail "preview file holds: $(cat "$preview")"
sleep 2
import -window "$win" "$artefacts/session.png"

# More typing makes the pane unsaved; closing asks, and Yes (the default) closes.
xdotool mousemove --window "$win" 300 400 click 1
sleep 0.2
xdotool key ctrl+End
xdotool type --delay 5 'x'
sleep 0.3
[ "$(cat "$saved")" = "<p>hello corvane</p>" ] || fail "typing changed the file"
xdotool key alt+f
sleep 0.3
xdotool key x
question=$(wait_for_window '^提示$') || fail "no quit question"
sleep 0.3
xdotool key Return
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then fail "the window did not close"; fi
wait "$pid" || fail "the program ended with an error"
[ "$(cat "$saved")" = "<p>hello corvane</p>" ] || fail "the saved file changed on quit"
echo "person session: passed"
