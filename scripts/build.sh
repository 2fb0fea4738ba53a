#!/usr/bin/env bash
# Configures (once) and builds Corvane into build/ (or $CORVANE_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${CORVANE_BUILD_DIR:-build}"
extra=()
if [ -n "${CI:-}" ]; then extra+=(-DCORVANE_WERROR=ON); fi
# A compiler cache, where the machine has one, makes a second build of a fresh clone quick.
launcher=()
if command -v ccache > /dev/null; then launcher+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${extra[@]}" "$@"
elif [ $# -gt 0 ] || [ ${#extra[@]} -gt 0 ]; then
    cmake "$build_dir" "${extra[@]}" "$@" > /dev/null
fi
cmake --build "$build_dir" -j "$(nproc)"
