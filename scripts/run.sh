#!/usr/bin/env bash
# Starts the newest program the build has: the application when it exists, otherwise the
# library check.
set -euo pipefail
BIN="${1:-build}/bin"
for p in audioconv audioconv-libcheck; do
  if [ -x "$BIN/$p" ]; then
    exec "$BIN/$p"
  fi
done
echo "nothing to run in $BIN" >&2
exit 1
