#!/bin/bash
# A batch split into N shares run by GNU parallel, on this machine or on several hosts that
# see the same files:
#
#   scripts/cluster/audioconv-parallel.sh N LIST OUTDIR [OPTIONS...]
#   HOSTS=node1,node2 scripts/cluster/audioconv-parallel.sh 8 /shared/list.txt /shared/out
#
# Each share writes REPORTS/share-K.jsonl (REPORTS defaults to OUTDIR/../reports). Paths must
# be absolute when HOSTS names other machines.
set -euo pipefail

shares=$1 list=$2 out=$3
shift 3
reports=${REPORTS:-$(dirname "$out")/reports}
mkdir -p "$reports"
cli=${AUDIOCONV_CLI:-audioconv-cli}

hosts=()
[ -n "${HOSTS:-}" ] && hosts=(--sshlogin "$HOSTS")
# -q: the command's words reach each host as they are here (names with spaces too).
seq 0 $((shares - 1)) |
    parallel -q "${hosts[@]}" --jobs "${JOBS_PER_HOST:-1}" --halt never \
        "$cli" --quiet --existing skip -o "$out" --files-from "$list" --shard "{}/$shares" \
        --report "$reports/share-{}.jsonl" "$@"
