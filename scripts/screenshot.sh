#!/usr/bin/env bash
# Starts the built editor in a real window under Xvfb and saves a picture of the window.
# Usage: scripts/screenshot.sh [output.png] [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshot.png}"
build_dir="${2:-${CORVANE_BUILD_DIR:-build}}"
inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat > "$inner" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
exe="$1"; out="$2"
export QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=xcb
"$exe" > /dev/null 2>&1 &
pid=$!
. "$3"
wait_for_window '^Corvane 2\.5$' > /dev/null
sleep 1.5   # let the clock tick and the panes paint
window=$(wait_for_window '^Corvane 2\.5$')
import -window "$window" "$out"
kill "$pid"
wait "$pid" 2>/dev/null || true
INNER
chmod +x "$inner"
mkdir -p "$(dirname "$out")"
xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$inner" "$(realpath "$build_dir/corvane")" "$(realpath -m "$out")" "$(realpath tests/e2e/lib.sh)"
echo "$out"
