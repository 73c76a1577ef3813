#!/bin/bash
# One task of a Slurm job array converts its share of a job list:
#
#   sbatch --array=0-7 scripts/cluster/audioconv-array.sbatch LIST OUTDIR [OPTIONS...]
#
# LIST is a job list (one path a line, relative paths from the list's folder), OUTDIR the
# output folder on the shared file system, OPTIONS further audioconv-cli options (-f flac,
# -p 2, ...). Each task writes its report to REPORTS/task-K.jsonl (REPORTS defaults to
# OUTDIR/../reports). Submitting the same array again converts only what is missing: outputs
# appear only whole, and --existing skip keeps the ones there.
#SBATCH --job-name=audioconv
#SBATCH --cpus-per-task=2
#SBATCH --output=audioconv-%A_%a.log
set -euo pipefail

list=$1 out=$2
shift 2
# Array indices need not start at 0 (--array=1-8): shares count from the lowest.
index=$((${SLURM_ARRAY_TASK_ID:-0} - ${SLURM_ARRAY_TASK_MIN:-0}))
count=${SLURM_ARRAY_TASK_COUNT:-1}
reports=${REPORTS:-$(dirname "$out")/reports}
mkdir -p "$reports"

exec "${AUDIOCONV_CLI:-audioconv-cli}" --quiet --existing skip -j "${SLURM_CPUS_PER_TASK:-1}" \
    -o "$out" --files-from "$list" --shard "$index/$count" \
    --report "$reports/task-$index.jsonl" "$@"
