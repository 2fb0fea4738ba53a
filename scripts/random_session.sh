#!/usr/bin/env bash
# Drives the real window at random with new seeds for as long as asked, in the sanitizer build,
# and prints every failing seed with its last 50 actions (tests/e2e/random_session.py replays one).
# Usage: scripts/random_session.sh [minutes, default 10] [seconds a seed, default 120]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes="${1:-10}"
seconds="${2:-120}"
scripts/install-deps.sh
asan_dir="${CORVANE_BUILD_DIR:-build}-asan"
CORVANE_BUILD_DIR="$asan_dir" scripts/build.sh -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON -DCORVANE_BENCH=OFF > /dev/null
. scripts/sanitizer_env.sh
exec tests/e2e/random_session.sh "$asan_dir/corvane" "$asan_dir/artefacts" --new-seeds --minutes "$minutes" \
    --seconds "$seconds"
