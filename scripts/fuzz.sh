#!/usr/bin/env bash
# Builds the libFuzzer target with clang into build-fuzz, makes the seed corpus and fuzzes
# for FUZZ_TIME seconds (default 300). Arguments are handed to libFuzzer (-jobs=1 -workers=1
# for instance). Inputs that crash, leak or hang land in build-fuzz/findings/.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DIR="${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"

bash "$ROOT/scripts/setup.sh" --fuzz
if [ ! -f "$DIR/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DAUDIOCONV_FUZZ=ON -DAUDIOCONV_GUI=OFF -DBUILD_TESTING=OFF
fi
cmake --build "$DIR" --target audioconv-fuzz
if [ -z "$(ls -A "$DIR/seeds" 2>/dev/null)" ]; then
  bash "$ROOT/scripts/fuzz-corpus.sh" "$DIR/seeds"
fi
mkdir -p "$DIR/corpus" "$DIR/findings"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
cd "$DIR"
exec "$DIR/bin/audioconv-fuzz" -max_total_time="${FUZZ_TIME:-300}" -timeout=60 \
  -rss_limit_mb=2560 -max_len=65536 -artifact_prefix="$DIR/findings/" "$@" \
  "$DIR/corpus" "$DIR/seeds"
