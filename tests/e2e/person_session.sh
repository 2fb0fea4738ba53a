#!/usr/bin/env bash
# A person's session in a real window under Xvfb with a window manager: type a page into the HTML
# pane, save it with F3 through the real save dialog, press the run button and see the page in the
# preview pane, type more, close the window and answer the question. Checks the saved file, the
# preview file, the window titles and the preview's pixels, and keeps a screenshot.
# Usage: person_session.sh <corvane executable> <artefact folder> [opengl|no-opengl]
# With "no-opengl" the display offers no OpenGL at all, as a remote X display or a VM without 3D.
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
exe=$(realpath "$1")
artefacts=$(realpath -m "$2")
mode="${3:-opengl}"
mkdir -p "$artefacts"
own_display "$0" "$@"

work=$(mktemp -d)
trap 'kill "${pid:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1
[ "$mode" = no-opengl ] && export QT_XCB_GL_INTEGRATION=none
mkdir -p "$HOME"
saved="$work/my page.html"
page='<body style="background:lime"><p>hello corvane</p>'

fail() { echo "FAIL ($mode): $*"; import -window root "$artefacts/failure-$mode.png" 2>/dev/null || true; exit 1; }
title() { xdotool getwindowname "$win"; }
title_is() { [ "$(title)" = "$1" ]; }
file_holds() { [ -f "$1" ] && [ "$(cat "$1")" = "$2" ]; }
preview_shows_page() { [ "$(pixel "$win" 750 400)" = "#00FF00" ]; }
program_ended() { ! kill -0 "$pid"; }

start_window_manager
start=$(date +%s%N)
"$exe" > "$artefacts/corvane-$mode.log" 2>&1 &
pid=$!
win=$(wait_for_window '^Corvane 2\.5$') || fail "no window titled Corvane 2.5"
echo "window shown after $(( ($(date +%s%N) - start) / 1000000 )) ms"
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win" 2>/dev/null || true

# New, then type a page. The focus starts in the HTML pane. A key pressed while the window manager
# is still handing the new window the keyboard is lost, as a person's would be: press again, as a
# person would (New twice leaves what New once does).
is_active() { [ "$(xdotool getactivewindow)" = "$win" ]; }
wait_until 10 is_active || true
for attempt in $(seq 10); do
    xdotool key ctrl+n
    if wait_until 2 title_is "Corvane"; then break; fi
    [ "$attempt" -lt 10 ] || fail "New did not set the caption: $(title)"
done
xdotool type --delay 5 "$page"

# Save As with F3: type the path into the dialog and accept.
xdotool key F3
wait_for_window '^另存为$' > /dev/null || fail "no Save As dialog"
sleep 0.5
xdotool type --delay 5 "$saved"
xdotool key Return
wait_until 20 file_holds "$saved" "$page" || fail "the saved file holds: $(cat "$saved" 2>&1)"
wait_until 10 title_is "$saved" || fail "caption after Save As: $(title)"

# The run button: client origin below the menu bar, button at (616, 16) in a 97 x 25 box. The
# preview pane's middle, well below the paragraph, shows the page's background.
xdotool mousemove --window "$win" 664 51 click 1
preview="$XDG_CACHE_HOME/corvane/test.html"
# UTF-8 with a byte-order mark, which the browser obeys whatever the page declares.
wait_until 20 file_holds "$preview" $'\xEF\xBB\xBF'"$page" || fail "the preview file holds: $(cat "$preview" 2>&1)"
wait_until 60 preview_shows_page ||
    fail "the preview does not show the page (pixel $(pixel "$win" 750 400))"
import -window "$win" "$artefacts/session-$mode.png"

# More typing makes the pane unsaved; closing asks, and Yes (the default) closes.
xdotool mousemove --window "$win" 300 400 click 1
xdotool key ctrl+End
xdotool type --delay 5 'x'
xdotool key alt+f
sleep 0.3
xdotool key x
wait_for_window '^提示$' > /dev/null || fail "no quit question"
sleep 0.3
xdotool key Return
wait_until 20 program_ended || fail "the window did not close"
wait "$pid" || fail "the program ended with an error"
file_holds "$saved" "$page" || fail "the saved file changed on quit"
echo "person session ($mode): passed"
