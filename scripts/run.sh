#!/usr/bin/env bash
# Sets up, builds and starts Tolvane.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build=${TOLVANE_BUILD_DIR:-build}
exec "$build/bin/tolvane" "$@"
