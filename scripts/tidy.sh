#!/usr/bin/env bash
# Runs clang-tidy with the repo's .clang-tidy over the given files, or over
# every tracked C++ source, using the build's compile commands.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TOLVANE_BUILD_DIR:-build}
tidy=${CLANG_TIDY:-clang-tidy}
if [[ ! -f "$build/compile_commands.json" ]]; then
  echo "tidy: no $build/compile_commands.json; build first (scripts/build.sh)" >&2
  exit 2
fi
if (($# > 0)); then
  files=("$@")
else
  mapfile -t files < <(git ls-files '*.cpp')
fi
jobs=$(nproc)
printf '%s\n' "${files[@]}" | xargs -P "$jobs" -n 4 "$tidy" -p "$build" --quiet
echo "tidy: ${#files[@]} files clean"
