#!/usr/bin/env bash
# kill -9 while typing, and the recovery journal's faults (kill_recovery.py says which), in the real
# window on its own X display with a window manager, as on a person's desktop.
# Usage: kill_recovery.sh <corvane executable> <artefact folder> [kill_recovery.py options]
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
own_display "$0" "$@"
run_driver kill_recovery.py "$@"
