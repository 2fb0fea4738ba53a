#!/usr/bin/env bash
# Starts Corvane in a real window with accessibility on and reads its widget tree over AT-SPI.
# Usage: accessibility.sh <corvane executable>
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
exe=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"; fi
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then exec dbus-run-session -- "$0" "$@"; fi
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1
export NO_AT_BRIDGE=0 GTK_MODULES=gail:atk-bridge
work=$(mktemp -d)
export HOME="$work" XDG_CACHE_HOME="$work/cache"
/usr/libexec/at-spi-bus-launcher --launch-immediately > /dev/null 2>&1 &
bus=$!
sleep 1
"$exe" > "$work/corvane.log" 2>&1 &
pid=$!
trap 'kill $pid $bus 2>/dev/null || true; rm -rf "$work"' EXIT
wait_for_window '^Corvane 2\.5$' > /dev/null
sleep 2
/usr/bin/python3 "$here/accessibility.py"
