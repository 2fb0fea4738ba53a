#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: logic tests, window tests
# offscreen, and the end-to-end tests in a real window under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build_dir="${CORVANE_BUILD_DIR:-build}"
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
ctest --test-dir "$build_dir" --output-on-failure --timeout 300 "$@"
