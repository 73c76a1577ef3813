#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer into its own folder
# and runs the whole test suite there with leak detection on. Any sanitizer report fails the
# test that caused it. The media libraries stay mapped in this build (see media/MyUtils.cpp),
# so the memory they keep for the whole process is no leak; what the leak checker still
# reports is ours, apart from the system libraries scripts/lsan.supp names (and
# scripts/asan.supp for the address checker's own reports).
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DIR="${ASAN_BUILD_DIR:-$ROOT/build-asan}"
JOBS="${JOBS:-$(nproc)}"

if [ ! -f "$DIR/build.ninja" ]; then
  cmake -S "$ROOT" -B "$DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAUDIOCONV_ASAN=ON
fi
cmake --build "$DIR" -j "$JOBS"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0:strict_string_checks=1:check_initialization_order=1:suppressions=$ROOT/scripts/asan.supp"
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
cd "$DIR"
ctest --output-on-failure -j "$JOBS" "$@"
