#!/usr/bin/env bash
# kill -9 while typing, and the recovery journal's faults (kill_recovery.py says which), in the real
# window on its own X display with a window manager, as on a person's desktop.
# Usage: kill_recovery.sh <corvane executable> <artefact folder> [kill_recovery.py options]
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1
start_window_manager
exec /usr/bin/python3 "$(dirname "$(realpath "$0")")/kill_recovery.py" "$@"
