#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer
# into ./build-asan (or $TOLVANE_ASAN_BUILD_DIR) and runs it headless: a memory
# fault, a leak or undefined behaviour fails the test it happens in.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${TOLVANE_ASAN_BUILD_DIR:-build-asan}
# -O1 and line tables only build quicker than -O2 -g; reports still name file
# and line. Benchmarks are left out: their numbers mean nothing here.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DTOLVANE_SANITIZE=ON >/dev/null
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
# Child processes the tests start (the coach, the command-line tool) are built
# the same way and read the same options.
# Qt's libraries have no frame pointers, so allocation stacks are unwound the
# slow way, deep enough for the suppressions to see whose cache an allocation is.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:strict_init_order=1:detect_stack_use_after_return=0:fast_unwind_on_malloc=0:malloc_context_size=10
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure --timeout 600
