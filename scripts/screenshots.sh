#!/usr/bin/env bash
# Renders the main window's states (light and dark) into ./screenshots under a
# virtual X display, so every view can be looked at without a desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build=${TOLVANE_BUILD_DIR:-build}
out=${1:-screenshots}
xvfb-run -a -s "-screen 0 1600x1000x24" "$build/bin/tolvane-shots" "$out"
