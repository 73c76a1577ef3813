#!/usr/bin/env bash
# A batch of 400 short files in 4 shares run by GNU parallel on this machine
# (scripts/cluster/audioconv-parallel.sh): 400 outputs, none numbered, the four reports
# together name every source once, and a second run converts nothing.
# Not part of `make test`. Usage: scripts/check-parallel.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
bash "$root/scripts/setup.sh" --cluster
source "$root/scripts/cluster/check-batch.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
make_tree "$work/lib" 400
export AUDIOCONV_CLI=$build/bin/audioconv-cli

REPORTS=$work/reports bash "$root/scripts/cluster/audioconv-parallel.sh" 4 \
    "$work/lib/list.txt" "$work/out" -f mp3 -j 1
check_batch "$work/lib" "$work/out" "$work/reports" 400

rm -rf "$work/reports"
REPORTS=$work/reports bash "$root/scripts/cluster/audioconv-parallel.sh" 4 \
    "$work/lib/list.txt" "$work/out" -f mp3 -j 1
check_rerun "$work/reports" 400
echo "check-parallel: passed"
