#!/usr/bin/env bash
# Builds the editor and its benchmark in a Release build folder and prints the tables: every
# figure next to its floor, measured in the same run on the same input, as a ratio.
#   scripts/bench.sh                      sizes 1, 10 and 50 MB, every part
#   scripts/bench.sh --sizes 1,10         fewer sizes
#   scripts/bench.sh --parts open,typing  some parts: open typing colouring save preview startup memory
#                                         hostile longlines desktop
# "desktop" is the editor as a desktop sees it from outside (bench/desktop_bench.py): idle and
# typing CPU and memory of the whole process tree, in a maximised window at 1600x900 under a window
# manager, with OpenGL as the machine has it, forced on, and absent, beside a bare text edit.
# The tables go to stdout, progress to stderr. Needs xvfb-run for start-up and desktop figures.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${CORVANE_BENCH_BUILD_DIR:-build-bench}"
if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
fi
cmake --build "$build_dir" -j "${CORVANE_BENCH_JOBS:-2}" --target corvane editor_bench >&2

export QTWEBENGINE_DISABLE_SANDBOX=1
args=("$@")
parts="open,typing,colouring,save,preview,startup,memory,hostile,longlines,desktop"
for ((i = 0; i < ${#args[@]}; i++)); do
    if [ "${args[$i]}" = --parts ]; then parts="${args[$((i + 1))]}"; fi
done
editor_parts=$(echo ",$parts," | sed 's/,desktop,/,/; s/^,//; s/,$//')

if ! command -v xvfb-run > /dev/null; then
    echo "xvfb-run not found: start-up and desktop figures are not measured" >&2
    exec "$build_dir/editor_bench" --corvane "$build_dir/corvane" "$@"
fi
if [ -n "$editor_parts" ]; then
    # A black root and no window manager: the start-up watch sees the window's own first pixels.
    xvfb-run -a -s "-screen 0 1600x1000x24 -br -nolisten tcp" "$build_dir/editor_bench" \
        --corvane "$build_dir/corvane" "$@" --parts "$editor_parts"
fi
if [[ ",$parts," == *,desktop,* ]]; then
    echo
    xvfb-run -a -s "-screen 0 1600x900x24 -nolisten tcp" python3 bench/desktop_bench.py \
        --corvane "$build_dir/corvane" --bench "$build_dir/editor_bench"
fi
