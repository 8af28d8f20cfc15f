#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless, then checks formatting.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build=${TOLVANE_BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --timeout 300
bash scripts/lint-qml.sh "$build"
bash scripts/check-format.sh
