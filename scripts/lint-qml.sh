#!/usr/bin/env bash
# Checks every view with qmllint against the built "Tolvane" module: any
# warning fails. Usage: lint-qml.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${TOLVANE_BUILD_DIR:-build}}
qmllint=/usr/lib/qt6/bin/qmllint
mapfile -t views < <(git ls-files '*.qml')
out=$("$qmllint" -I "$build/qml" "${views[@]}" 2>&1) || true
if grep -q "Warning:" <<<"$out"; then
    grep -A2 "Warning:" <<<"$out" >&2
    echo "qmllint: $(grep -c "Warning:" <<<"$out") warnings" >&2
    exit 1
fi
echo "qmllint: ${#views[@]} views, no warnings"
