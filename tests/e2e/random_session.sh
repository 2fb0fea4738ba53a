#!/usr/bin/env bash
# A random session in the real window (random_session.py says what it does), on its own X display
# with a window manager, as on a person's desktop.
# Usage: random_session.sh <corvane executable> <artefact folder> [random_session.py options]
set -euo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"
own_display "$0" "$@"
run_driver random_session.py "$@"
