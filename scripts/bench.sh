#!/usr/bin/env bash
# Builds the editor and its benchmark in a Release build folder and prints one table: every
# figure next to its floor, measured in the same run on the same input, as a ratio.
#   scripts/bench.sh                      sizes 1, 10 and 50 MB, every part
#   scripts/bench.sh --sizes 1,10         fewer sizes
#   scripts/bench.sh --parts open,typing  some parts: open typing save preview startup memory
# The table goes to stdout, progress to stderr. Needs xvfb-run for the start-up figures.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${CORVANE_BENCH_BUILD_DIR:-build-bench}"
if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
fi
cmake --build "$build_dir" -j "${CORVANE_BENCH_JOBS:-2}" --target corvane editor_bench >&2

export QTWEBENGINE_DISABLE_SANDBOX=1
args=(--corvane "$build_dir/corvane" "$@")
if command -v xvfb-run > /dev/null; then
    # A black root and no window manager: the start-up watch sees the window's own first pixels.
    exec xvfb-run -a -s "-screen 0 1600x1000x24 -br -nolisten tcp" "$build_dir/editor_bench" "${args[@]}"
fi
echo "xvfb-run not found: start-up is not measured" >&2
exec "$build_dir/editor_bench" "${args[@]}"
