#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what .clang-format makes of it
# (clang-format 14, Debian 12's default), or when a body of an if, for or while
# has no braces. The second check asks clang-format 16 to insert braces and
# compares with its own output without them, so only missing braces count.
set -euo pipefail
cd "$(dirname "$0")/.."
fmt=${CLANG_FORMAT:-clang-format}
braces=${CLANG_FORMAT_BRACES:-clang-format-16}
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ((${#files[@]} == 0)); then exit 0; fi
"$fmt" --dry-run -Werror "${files[@]}"
unbraced=0
for f in "${files[@]}"; do
  if ! cmp -s <("$braces" --style=file:.clang-format "$f") \
              <("$braces" --style=file:scripts/braces.clang-format "$f"); then
    echo "$f: a body without braces" >&2
    unbraced=1
  fi
done
if ((unbraced)); then exit 1; fi
echo "format: ${#files[@]} files clean"
