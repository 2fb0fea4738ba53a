#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: logic tests, window tests
# offscreen, the corpus replays and the end-to-end tests in a real window under Xvfb. Then the
# same suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer (set
# CORVANE_SANITIZERS=0 to skip that pass). Extra arguments go to both ctest runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1

build_dir="${CORVANE_BUILD_DIR:-build}"
CORVANE_BUILD_DIR="$build_dir" scripts/build.sh
ctest --test-dir "$build_dir" --output-on-failure --timeout 600 "$@"

if [ "${CORVANE_SANITIZERS:-1}" != 0 ]; then
    asan_dir="${build_dir}-asan"
    CORVANE_BUILD_DIR="$asan_dir" scripts/build.sh -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON -DCORVANE_BENCH=OFF
    . scripts/sanitizer_env.sh
    # The package is built from the ordinary build only.
    ctest --test-dir "$asan_dir" --output-on-failure --timeout 900 -E '^packaging\.' "$@"
fi
