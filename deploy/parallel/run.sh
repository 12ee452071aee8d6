#!/usr/bin/env bash
# Captures one list with N thumbrix-batch workers under GNU parallel, one shard each, every
# worker keeping its own results file in the output folder.
#
#     deploy/parallel/run.sh LIST OUT N [parallel options...] [-- thumbrix-batch options...]
#
# Locally:      deploy/parallel/run.sh list.txt out 4 -- --jobs 2
# Over ssh:     deploy/parallel/run.sh /shared/list.txt /shared/out 12 --sshlogin 6/host1,6/host2
#   (LIST and OUT must be the same paths on every host, e.g. an NFS mount, and thumbrix-batch
#   and GNU parallel must be on each host's PATH, or thumbrix-batch named by THUMBRIX_BATCH.)
#
# Run it again after a failure: captured rows are skipped, so each shard resumes.
# Exit status: 0 every row captured; 1 some rows failed (see the results files);
# 3: a worker could not run or was killed (bad usage, a signal, a missing program).
set -euo pipefail
[ $# -ge 3 ] || { sed -n '2,14p' "$0"; exit 2; }
list=$1 out=$2 workers=$3
shift 3
[[ $workers =~ ^[1-9][0-9]*$ ]] || { echo "N must be a whole number from 1: $workers" >&2; exit 2; }
[ -f "$list" ] || { echo "LIST must be a file every worker can read: $list" >&2; exit 2; }
parallel_options=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do parallel_options+=("$1"); shift; done
[ $# -gt 0 ] && shift
batch=${THUMBRIX_BATCH:-thumbrix-batch}

mkdir -p "$out"
# Absolute, so a worker over ssh, which starts in its home folder, finds them.
list=$(realpath -- "$list") out=$(realpath -- "$out")
joblog=$(mktemp)
trap 'rm -f "$joblog"' EXIT
# --halt never: one failing shard must not stop the others.
parallel --will-cite --quote --line-buffer --tag --halt never --joblog "$joblog" "${parallel_options[@]}" \
    "$batch" --shard {}/"$workers" --results "$out"/results-{}.jsonl --out "$out" "$@" "$list" \
    ::: $(seq "$workers") || true
# Exit 1 from a worker means rows failed; any other failure, a signal, or a shard that never
# ran (parallel stopped early) means it broke.
awk -F'\t' -v workers="$workers" '
    NR > 1 { ran++; if ($8 != 0 || ($7 != 0 && $7 != 1)) broke = 1; else if ($7 == 1) failed = 1 }
    END { exit broke || ran != workers ? 3 : failed ? 1 : 0 }' "$joblog"
