#!/usr/bin/env python3
"""The deploy recipes hang together. The Kubernetes Job's and the Slurm script's commands are
run for every index or array task with a stand-in thumbrix-batch that records its arguments:
each worker must get its own shard, all N of them once, with its own results file, and must
exec thumbrix-batch so that a stop signal reaches it. The manifests must pass the API
server's rules for the fields they use, and the Job must retry a pod that died but not a
shard whose rows failed."""
import os
import pathlib
import re
import subprocess
import sys
import tempfile

import yaml

deploy = pathlib.Path(sys.argv[1]).resolve()
problems = []


def check(condition, message):
    if not condition:
        problems.append(message)
    return condition


STUB = """#!/bin/sh
printf '%s\\n' "$$" >"$STUB_DIR/pid"
for a in "$@"; do printf '%s\\0' "$a"; done >"$STUB_DIR/argv"
exit "${STUB_STATUS:-0}"
"""


def run_worker(command, env, status=0):
    """Runs a worker's command with stand-ins for thumbrix-batch and mkdir; returns its exit
    status, thumbrix-batch's arguments as a dict plus positional list (None if not started),
    and whether thumbrix-batch replaced the shell (exec)."""
    with tempfile.TemporaryDirectory() as stub_dir:
        for name, text in (("thumbrix-batch", STUB), ("mkdir", "#!/bin/sh\nexit 0\n")):
            path = pathlib.Path(stub_dir, name)
            path.write_text(text)
            path.chmod(0o755)
        full_env = {"PATH": stub_dir + ":/usr/bin:/bin", "STUB_DIR": stub_dir, "STUB_STATUS": str(status)}
        full_env.update(env)
        proc = subprocess.Popen(command, env=full_env, cwd=stub_dir)
        code = proc.wait(timeout=30)
        argv_file = pathlib.Path(stub_dir, "argv")
        if not argv_file.exists():
            return code, None, False
        argv = argv_file.read_bytes().decode().split("\0")[:-1]
        exec_ed = pathlib.Path(stub_dir, "pid").read_text().strip() == str(proc.pid)
    options, positional, i = {}, [], 0
    while i < len(argv):
        if argv[i].startswith("--") and argv[i] not in ("--no-skip", "--no-keep-aspect"):
            options[argv[i]] = argv[i + 1] if i + 1 < len(argv) else None
            i += 2
        else:
            positional.append(argv[i])
            i += 1
    return code, (options, positional), exec_ed


def check_workers(what, runs, count, shared):
    """runs: {worker number: run_worker result}; each must capture shard n/count into shared/."""
    results = set()
    for n, (code, args, exec_ed) in sorted(runs.items()):
        if not check(args is not None, f"{what} {n}: thumbrix-batch was not started (exit {code})"):
            continue
        options, positional = args
        check(code == 0, f"{what} {n}: exit {code} although thumbrix-batch succeeded")
        check(options.get("--shard") == f"{n}/{count}", f"{what} {n}: --shard {options.get('--shard')}, not {n}/{count}")
        out, result = options.get("--out", ""), options.get("--results", "")
        check(out.startswith(shared), f"{what} {n}: --out {out} is not on the shared folder {shared}")
        check(os.path.dirname(result) == out, f"{what} {n}: results file {result} is not in {out}")
        check(result not in results, f"{what} {n}: results file {result} shared with another worker")
        results.add(result)
        check(len(positional) == 1 and positional[0].startswith(shared),
              f"{what} {n}: list {positional} is not one file on the shared folder")
        check(exec_ed, f"{what} {n}: thumbrix-batch runs under a shell, so a stop signal does not reach it")


def mebibytes(quantity):
    number, unit = re.fullmatch(r"(\d+)(Mi|Gi|M|G)?", str(quantity)).groups()
    return int(number) * {"Mi": 1, "Gi": 1024, "M": 1000 / 1048.576, "G": 1e6 / 1048.576, None: 1 / 1048576}[unit]


# What the job controller does with a failed pod: the first matching rule's action, else Count.
def action_for(policy, container, exit_code):
    for rule in policy.get("rules", []):
        on = rule.get("onExitCodes")
        if on and on.get("containerName") in (None, container):
            values = on.get("values", [])
            if (exit_code in values) == (on.get("operator") == "In"):
                return rule.get("action")
    return "Count"


# --- Kubernetes -------------------------------------------------------------------------
manifests = {}
for name in ("job.yaml", "data.yaml"):
    for doc in yaml.safe_load_all((deploy / "kubernetes" / name).read_text()):
        manifests[doc.get("kind")] = doc
job = manifests.get("Job", {})
check(job.get("apiVersion") == "batch/v1", "the Job is batch/v1")
spec = job.get("spec", {})
check(spec.get("completionMode") == "Indexed", "completionMode Indexed")
completions = spec.get("completions")
check(isinstance(completions, int) and completions > 0, "completions is a positive number")
completions = completions if isinstance(completions, int) and completions > 0 else 1
check(0 < spec.get("parallelism", 1) <= completions, "parallelism within completions")
check(re.fullmatch(r"[a-z0-9]([-a-z0-9]*[a-z0-9])?", f"{job.get('metadata', {}).get('name')}-{completions - 1}")
      and len(f"{job['metadata']['name']}-{completions - 1}") <= 63, "the pods' host names are DNS labels")
pod = spec.get("template", {}).get("spec", {})
containers = pod.get("containers", [])
check(len(containers) == 1, "one container")
container = containers[0] if containers else {}
command = container.get("command", []) + container.get("args", [])
check(command[:2] == ["sh", "-c"] and len(command) == 3, "the container runs one sh -c script")
pod_env = {e["name"]: str(e["value"]) for e in container.get("env", []) if "value" in e}
runs = {i + 1: run_worker(["sh", "-c", command[-1]], dict(pod_env, JOB_COMPLETION_INDEX=str(i)))
        for i in range(completions)}
mounts = {m["mountPath"]: m["name"] for m in container.get("volumeMounts", [])}
volumes = {v["name"]: v for v in pod.get("volumes", [])}
claim = volumes.get(mounts.get("/data"), {}).get("persistentVolumeClaim", {}).get("claimName")
check(claim is not None, "/data is a volume claim")
check_workers("index", runs, completions, "/data/")
pvc = manifests.get("PersistentVolumeClaim", {})
check(pvc.get("metadata", {}).get("name") == claim, f"data.yaml defines the claim {claim}")
check("ReadWriteMany" in pvc.get("spec", {}).get("accessModes", []), "the claim is ReadWriteMany")
helper = manifests.get("Pod", {}).get("spec", {})
check(any(v.get("persistentVolumeClaim", {}).get("claimName") == claim for v in helper.get("volumes", [])),
      "the copying pod mounts the same claim")

# The API server's rules for these fields (pkg/apis/batch/validation).
policy = spec.get("podFailurePolicy", {})
check(not policy or pod.get("restartPolicy") == "Never", "podFailurePolicy needs restartPolicy Never")
check(pod.get("restartPolicy") in ("Never", "OnFailure"), "a Job's restartPolicy is Never or OnFailure")
check("backoffLimitPerIndex" not in spec or spec.get("completionMode") == "Indexed",
      "backoffLimitPerIndex needs an Indexed Job")
for i, rule in enumerate(policy.get("rules", [])):
    where = f"podFailurePolicy rule {i}"
    check(rule.get("action") in ("FailJob", "FailIndex", "Ignore", "Count"), f"{where}: action")
    check(rule.get("action") != "FailIndex" or "backoffLimitPerIndex" in spec, f"{where}: FailIndex needs backoffLimitPerIndex")
    check(("onExitCodes" in rule) != bool(rule.get("onPodConditions")), f"{where}: onExitCodes or onPodConditions")
    on = rule.get("onExitCodes")
    if on:
        values = on.get("values", [])
        check(on.get("operator") in ("In", "NotIn"), f"{where}: operator")
        check(on.get("containerName") in (None, container.get("name")), f"{where}: names the container")
        check(0 < len(values) <= 255 and values == sorted(set(values)), f"{where}: values ordered, unique")
        check(on.get("operator") != "In" or 0 not in values, f"{where}: 0 with In")
    for pattern in rule.get("onPodConditions", []):
        check(pattern.get("status", "True") in ("True", "False", "Unknown"), f"{where}: condition status")

# A pod's exit code is thumbrix-batch's; what the Job then does with it.
name = container.get("name")
retries = spec.get("backoffLimitPerIndex", spec.get("backoffLimit", 6))


def pod_exit(status):
    return run_worker(["sh", "-c", command[-1]], dict(pod_env, JOB_COMPLETION_INDEX="0"), status)[0]


check(action_for(policy, name, pod_exit(1)) in ("FailIndex", "FailJob") or pod_exit(1) == 0,
      "a shard whose rows failed (exit 1) would be retried")
check(action_for(policy, name, pod_exit(2)) == "FailJob", "bad usage (exit 2) does not fail the Job at once")
for died in (137, 143):  # killed for memory, stopped
    check(action_for(policy, name, pod_exit(died)) == "Count" and retries >= 1,
          f"a pod that ended with {died} is not started again")

# Sized for the views it runs: about 300 MB + 150 MB a view, and the memory /dev/shm takes.
views = int(runs[1][1][0].get("--jobs", 4)) if runs[1][1] else 4
resources = container.get("resources", {})
request = mebibytes(resources.get("requests", {}).get("memory", "0"))
limit = mebibytes(resources.get("limits", {}).get("memory", "0"))
shm = sum(mebibytes(v["emptyDir"].get("sizeLimit", "0")) for v in pod.get("volumes", [])
          if v.get("emptyDir", {}).get("medium") == "Memory")
check(request * 1.048576 >= 300 + 150 * views, f"memory request {request:.0f}Mi below {views} views")
check(limit >= request + shm, "memory limit below the request plus /dev/shm")

# --- Slurm ------------------------------------------------------------------------------
sbatch = deploy / "slurm/thumbrix.sbatch"
check(subprocess.run(["bash", "-n", str(sbatch)]).returncode == 0, "the sbatch script parses")
array = re.search(r"^#SBATCH --array=1-(\d+)\s*$", sbatch.read_text(), re.M)
if check(array is not None, "#SBATCH --array=1-N"):
    tasks = int(array.group(1))
    shared = {"LIST": "/shared/list.txt", "OUT": "/shared/out"}

    def task(n, count, first, last):
        env = dict(shared, SLURM_ARRAY_TASK_ID=str(n), SLURM_ARRAY_TASK_COUNT=str(count),
                   SLURM_ARRAY_TASK_MIN=str(first), SLURM_ARRAY_TASK_MAX=str(last), SLURM_ARRAY_JOB_ID="7")
        return run_worker(["bash", str(sbatch), shared["LIST"], shared["OUT"]], env)

    check_workers("array task", {n: task(n, tasks, 1, tasks) for n in range(1, tasks + 1)}, tasks, "/shared/")
    # sbatch --array=N alone, to finish one task: the same share.
    check_workers("task submitted alone", {tasks: task(tasks, 1, tasks, tasks)}, tasks, "/shared/")

# --- Container --------------------------------------------------------------------------
containerfile = (deploy / "Containerfile").read_text()
stages = re.split(r"^FROM ", containerfile, flags=re.M)[1:]
check(bool(stages) and all(s.startswith("debian:12") for s in stages), "built on Debian 12")
check("scripts/install-deps.sh" in containerfile and "scripts/build.sh" in containerfile,
      "built with the project's scripts")
users = re.findall(r"^USER (\S+)", stages[-1] if stages else "", re.M)
check(bool(users) and users[-1].split(":")[0] not in ("0", "root"), "runs as a user of its own")
check(re.search(r"/usr/(local/)?bin/thumbrix-batch\b", stages[-1] if stages else "") is not None,
      "thumbrix-batch on the PATH")
pod_user = pod.get("securityContext", {}).get("runAsUser")
check(pod_user is None or users and str(pod_user) == users[-1].split(":")[0], "the Job runs as the image's user")

for problem in problems:
    print("not so:", problem)
print("deploy recipes: " + ("ok" if not problems else f"{len(problems)} problem(s)"))
sys.exit(1 if problems else 0)
