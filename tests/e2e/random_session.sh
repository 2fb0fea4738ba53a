#!/usr/bin/env bash
# A random session in the real window (random_session.py says what it does), on its own X display
# with a window manager, as on a person's desktop.
# Usage: random_session.sh <corvane executable> <artefact folder> [random_session.py options]
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1
start_window_manager
exec /usr/bin/python3 "$(dirname "$(realpath "$0")")/random_session.py" "$@"
