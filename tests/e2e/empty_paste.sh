#!/usr/bin/env bash
# Paste with nothing to paste into each pane of the real window (empty_paste.py), read back over
# AT-SPI as a screen reader reads it, on its own X display with a window manager.
# Usage: empty_paste.sh <corvane executable> <artefact folder>
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
own_display "$0" "$@"
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then exec dbus-run-session -- "$0" "$@"; fi
export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1
work=$(mktemp -d)
export HOME="$work" XDG_CACHE_HOME="$work/cache" XDG_STATE_HOME="$work/state"
/usr/libexec/at-spi-bus-launcher --launch-immediately > /dev/null 2>&1 &
bus=$!
trap 'kill $bus 2>/dev/null || true; rm -rf "$work"' EXIT
start_window_manager
/usr/bin/python3 "$(dirname "$(realpath "$0")")/empty_paste.py" "$@"
