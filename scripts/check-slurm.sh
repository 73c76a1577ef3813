#!/usr/bin/env bash
# The job-array recipe on a real Slurm of one node: installs Debian's slurm-wlm and munge,
# writes a one-node configuration in a scratch folder, starts munged, slurmctld and slurmd,
# submits scripts/cluster/audioconv-array.sbatch as a 4-task array over 400 short files and
# checks: 400 outputs, none numbered, the four reports together name every source once, and a
# second submission converts nothing. Stops the daemons at the end.
# Not part of `make test`; needs root (the daemons). Usage: scripts/check-slurm.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "check-slurm: run as root (it starts the Slurm daemons)" >&2; exit 2; }
bash "$root/scripts/setup.sh" --cluster
source "$root/scripts/cluster/check-batch.sh"

work=$(mktemp -d /tmp/check-slurm.XXXXXX)
chmod 755 "$work"
conf=$work/etc/slurm.conf
host=$(hostname -s)
cpus=$(nproc)
mkdir -p "$work/etc" "$work/state" "$work/spool" "$work/log" "$work/munge"

pids=()
stop() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    sleep 1
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap stop EXIT

# munge: a key of its own and a socket in the scratch folder.
dd if=/dev/urandom bs=1 count=1024 of="$work/munge/munge.key" status=none
chown -R munge:munge "$work/munge" 2>/dev/null || true
chmod 700 "$work/munge"
chmod 400 "$work/munge/munge.key"
mkdir -p /run/munge && chown munge:munge /run/munge 2>/dev/null || true
socket=/run/munge/munge.socket.2
runuser -u munge -- /usr/sbin/munged --key-file="$work/munge/munge.key" --force \
    --socket="$socket" --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
    --seed-file="$work/munge/seed"
sleep 1
pids+=("$(cat "$work/munge/munged.pid")")

cat >"$conf" <<CONF
ClusterName=check
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
ReturnToService=2
SchedulerType=sched/backfill
NodeName=$host CPUs=$cpus State=UNKNOWN
PartitionName=check Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$conf
slurmctld -f "$conf"
sleep 2
pids+=("$(cat "$work/slurmctld.pid")")
slurmd -f "$conf"
sleep 2
pids+=("$(cat "$work/slurmd.pid")")
for _ in $(seq 30); do
    sinfo -h -o %t 2>/dev/null | grep -q idle && break
    sleep 1
done
sinfo -h -o %t | grep -q idle || { cat "$work/log/"*.log >&2; fail "the node did not come up"; }

make_tree "$work/lib" 400
export AUDIOCONV_CLI=$build/bin/audioconv-cli REPORTS=$work/reports

# submit: one 4-task array, waited for.
submit() {
    sbatch --wait --array=0-3 --cpus-per-task=1 --output="$work/log/task-%a.log" \
        --export=ALL "$root/scripts/cluster/audioconv-array.sbatch" \
        "$work/lib/list.txt" "$work/out" -f mp3 >/dev/null ||
        { cat "$work/log/task-"*.log >&2; fail "the array failed"; }
}
submit
check_batch "$work/lib" "$work/out" "$work/reports" 400
rm -rf "$work/reports"
submit
check_rerun "$work/reports" 400
echo "check-slurm: passed"
