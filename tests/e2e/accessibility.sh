#!/usr/bin/env bash
# Starts Corvane in a real window while a screen reader is on, as the desktop tells it, and reads
# its widget tree and the previewed page over AT-SPI.
# Usage: accessibility.sh <corvane executable>
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
exe=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"; fi
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then exec dbus-run-session -- "$0" "$@"; fi
export QT_ACCESSIBILITY=1 QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1
export NO_AT_BRIDGE=0 GTK_MODULES=gail:atk-bridge
work=$(mktemp -d)
export HOME="$work" XDG_CACHE_HOME="$work/cache"
/usr/libexec/at-spi-bus-launcher --launch-immediately > /dev/null 2>&1 &
bus=$!
sleep 1
# What a screen reader such as Orca sets when it starts.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
    string:org.a11y.Status string:ScreenReaderEnabled variant:boolean:true > /dev/null
# A page nobody here wrote, opened into the HTML pane; the script previews it.
"$exe" /usr/share/doc/ninja-build/manual.html > "$work/corvane.log" 2>&1 &
pid=$!
trap 'kill $pid $bus 2>/dev/null || true; rm -rf "$work"' EXIT
wait_for_window 'ninja-build/manual\.html$' > /dev/null
sleep 2
/usr/bin/python3 "$here/accessibility.py"
