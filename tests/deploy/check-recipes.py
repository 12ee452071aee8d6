#!/usr/bin/env python3
"""The deploy recipes hang together: the Kubernetes manifest is an Indexed Job whose pods
take their shard from JOB_COMPLETION_INDEX out of as many shards as the Job has
completions; the Slurm script shards by SLURM_ARRAY_TASK_ID over its array's size; the
container file builds with the project's own scripts."""
import pathlib
import re
import subprocess
import sys

import yaml

deploy = pathlib.Path(sys.argv[1])
problems = []


def check(condition, message):
    if not condition:
        problems.append(message)


documents = list(yaml.safe_load_all((deploy / "kubernetes/job.yaml").read_text()))
check(len(documents) == 1, "the manifest holds one document")
job = documents[0]
check(job.get("apiVersion") == "batch/v1" and job.get("kind") == "Job", "a batch/v1 Job")
spec = job.get("spec", {})
check(spec.get("completionMode") == "Indexed", "completionMode Indexed")
completions = spec.get("completions")
check(isinstance(completions, int) and completions > 0, "completions is a positive number")
check(spec.get("parallelism", 0) <= (completions or 0), "parallelism within completions")
pod = spec.get("template", {}).get("spec", {})
check(pod.get("restartPolicy") == "Never", "restartPolicy Never (required by podFailurePolicy)")
containers = pod.get("containers", [])
check(len(containers) == 1, "one container")
container = containers[0] if containers else {}
rules = spec.get("podFailurePolicy", {}).get("rules", [])
for rule in rules:
    name = rule.get("onExitCodes", {}).get("containerName")
    check(name in (None, container.get("name")), "podFailurePolicy names the container")
env = {e["name"]: e.get("value") for e in container.get("env", [])}
script = " ".join(container.get("command", []) + container.get("args", []))
check("JOB_COMPLETION_INDEX" in script, "the command uses JOB_COMPLETION_INDEX")
shard = re.search(r'--shard "?\$(\w+)/\$?(\w+)"?', script)
check(shard is not None, "the command passes --shard I/N")
if shard:
    check(re.search(r"\b%s=\$\(\(JOB_COMPLETION_INDEX \+ 1\)\)" % shard.group(1), script) is not None,
          "the shard is JOB_COMPLETION_INDEX + 1")
    count = shard.group(2)
    count = env.get(count, count)
    check(str(count) == str(completions), f"shards ({count}) equal completions ({completions})")
mounts = {m["mountPath"]: m["name"] for m in container.get("volumeMounts", [])}
volumes = {v["name"]: v for v in pod.get("volumes", [])}
check("/data" in mounts and "persistentVolumeClaim" in volumes.get(mounts.get("/data"), {}),
      "/data is a volume claim")
check("--out /data/out" in script and "/data/list.txt" in script and "--results \"/data/out/" in script,
      "list, output and results on the shared volume")

sbatch = (deploy / "slurm/thumbrix.sbatch").read_text()
check(subprocess.run(["bash", "-n", str(deploy / "slurm/thumbrix.sbatch")]).returncode == 0, "sbatch script parses")
array = re.search(r"^#SBATCH --array=1-(\d+)", sbatch, re.M)
default_shards = re.search(r"shards=\$\{SHARDS:-(\d+)\}", sbatch)
check(array is not None and default_shards is not None and array.group(1) == default_shards.group(1),
      "the array's size is the shard count")
check(re.search(r"shard=\$\{SLURM_ARRAY_TASK_ID", sbatch) is not None and '--shard "$shard/$shards"' in sbatch,
      "the task id is the shard")

containerfile = (deploy / "Containerfile").read_text()
check(re.search(r"^FROM debian:12\b", containerfile, re.M) is not None, "built on Debian 12")
check("scripts/install-deps.sh" in containerfile and "scripts/build.sh" in containerfile,
      "built with the project's scripts")

for problem in problems:
    print("not so:", problem)
sys.exit(1 if problems else 0)
