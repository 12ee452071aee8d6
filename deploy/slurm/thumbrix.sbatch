#!/bin/bash
# One list over a Slurm job array: task I of N captures --shard I/N. LIST and OUT must be on
# a file system every node sees. Submit with:
#     sbatch --export=ALL,LIST=/shared/list.txt,OUT=/shared/out deploy/slurm/thumbrix.sbatch
# A task that failed can be submitted again alone (sbatch --array=4 ...): it resumes, since
# captured rows are skipped. To change the number of shards, change --array and SHARDS together.
#SBATCH --job-name=thumbrix
#SBATCH --array=1-6
#SBATCH --cpus-per-task=2
#SBATCH --mem=2G
#SBATCH --time=04:00:00
#SBATCH --output=thumbrix-%A_%a.log
#SBATCH --open-mode=append # a task requeued after a node failure keeps its first log
set -u
list=${LIST:?set LIST to the list file}
out=${OUT:?set OUT to the output folder}
# Fixed, not taken from the array: a task submitted again alone must keep the same share.
shards=${SHARDS:-6} # the size of --array above
shard=${SLURM_ARRAY_TASK_ID:?submit as a job array}
mkdir -p "$out"
exec thumbrix-batch --shard "$shard/$shards" --results "$out/results-$shard.jsonl" --out "$out" "$list"
