#!/usr/bin/env bash
# deploy/slurm/thumbrix.sbatch on a real single-node Slurm that this test starts on
# loopback: its own munged, slurmctld and slurmd, each with its own key, socket, ports,
# state and logs in a temporary folder, so nothing of the system's is used or changed.
# Twelve local pages over an array of three tasks; row 5 (task 2) hangs until released.
# Task 2 is cancelled while that row is in flight, then submitted again alone, and resumes.
# In the end every row is captured exactly once: each row number has exactly one Success
# line across all results files, in its own shard's file, and any other line of it is a
# Skipped that follows the Success; OUT holds one thumbnail per row and the results files.
# Exit 77 (skipped) when the daemons cannot be started here.
set -euo pipefail
recipe=$(realpath "$1") batch=$(realpath "$2")
rows=12 shards=3 slow_row=5 slow_task=2

skip() { echo "SKIPPED: $*"; exit 77; }
for tool in munged munge unmunge slurmctld slurmd sbatch squeue scancel scontrol sinfo; do
    command -v "$tool" >/dev/null || skip "$tool not installed (scripts/install-deps.sh installs Slurm and MUNGE)"
done
[ "$(id -u)" = 0 ] || skip "Slurm's daemons run as root here (SlurmUser=root)"
grep -qE '^\S+ \S+ cgroup2? ' /proc/mounts || skip "no cgroup file system is mounted, and slurmd needs one"

# Variables of an enclosing Slurm job would steer our client commands to another cluster.
while read -r v; do unset "$v"; done < <(compgen -e | grep -E '^(SLURM|SBATCH|SALLOC|SRUN)_' || true)

work=$(mktemp -d)
chmod 755 "$work" # munged wants every folder above its socket searchable
conf=$work/slurm.conf
# Processes started for this run carry it, so that a leftover can be found and checked for.
mark=THUMBRIX_SLURM_TEST=$work
server=
daemon_pids=()

marked() { # pids of processes carrying $mark, this helper's own excepted
    python3 - "$mark" <<'PY'
import os, sys
mark = sys.argv[1].encode()
for pid in filter(str.isdigit, os.listdir("/proc")):
    if int(pid) == os.getpid():
        continue
    try:
        env = open(f"/proc/{pid}/environ", "rb").read().split(b"\0")
    except OSError:
        continue
    if mark in env:
        print(pid)
PY
}

stop_daemons() {
    if [ -S "$work/munge/socket" ] && [ -f "$conf" ]; then
        # Jobs first: slurmstepd and its tasks outlive a slurmd that is stopped.
        SLURM_CONF=$conf scancel --quiet --full --user=root 2>/dev/null || true
        for _ in $(seq 50); do
            [ -z "$(SLURM_CONF=$conf squeue -h -o %i 2>/dev/null)" ] && break
            sleep 0.2
        done
    fi
    local file name pid
    for file in slurmd:slurmd.pid slurmctld:slurmctld.pid munged:munge/munged.pid; do
        name=${file%%:*} file=$work/${file#*:}
        [ -f "$file" ] || continue
        pid=$(cat "$file")
        # The pid file names our daemon only while that process still runs that program.
        [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$name" ] && kill "$pid" 2>/dev/null
    done
    for pid in "${daemon_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    daemon_pids=()
}

cleanup() {
    local status=$?
    set +e
    stop_daemons
    local left
    left=$(marked)
    [ -n "$left" ] && kill -KILL $left 2>/dev/null
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

free_ports() { # count
    python3 - "$1" <<'PY'
import socket, sys
socks = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in socks:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in socks))
PY
}

deadline=$((SECONDS + 150)) # within CTest's limit, whatever each wait allows
wait_for() { # seconds, command...; true once the command succeeds
    local end=$((SECONDS + $1))
    ((end < deadline)) || end=$deadline
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < end)) || return 1
        sleep 0.2
    done
}

# MUNGE, with a key and a socket of its own.
mkdir "$work/munge" "$work/state" "$work/spool" "$work/log" "$work/submit" "$work/site" "$work/out"
dd if=/dev/urandom of="$work/munge/munge.key" bs=128 count=1 status=none
chmod 0400 "$work/munge/munge.key"
munged --foreground --socket="$work/munge/socket" --key-file="$work/munge/munge.key" \
    --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
    --seed-file="$work/munge/munged.seed" >"$work/munge/stdout" 2>&1 &
daemon_pids+=($!)
running() { # true while each of our daemons runs (a zombie does not count)
    local pid state
    for pid in "${daemon_pids[@]}"; do
        read -r _ _ state _ <"/proc/$pid/stat" 2>/dev/null && [ "$state" != Z ] || return 1
    done
}
munge_works() { munge -n -S "$work/munge/socket" | unmunge -S "$work/munge/socket"; }
wait_for 10 eval 'munge_works || ! running' && munge_works || { cat "$work/munge/stdout" "$work/munge/munged.log" 2>/dev/null || true; skip "munged did not start"; }

node=$(slurmd -C 2>/dev/null | head -n1 || true) # NodeName=<host> CPUs=... RealMemory=..., as slurmd finds them
host=${node%% *} host=${host#NodeName=}
[ -n "$host" ] || skip "slurmd -C found no node description"
read -r ctld_port slurmd_port < <(free_ports 2)
cat >"$conf" <<EOF
ClusterName=thumbrixtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge/socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
SchedulerType=sched/builtin
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
# A cancelled task gets SIGKILL this long after SIGTERM.
KillWait=3
# Finished jobs stay listed, so that their end states can be read.
MinJobAge=600
${node/#NodeName=$host/NodeName=$host NodeAddr=127.0.0.1} State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$conf
env "$mark" slurmctld -D -i -f "$conf" >"$work/log/slurmctld.stdout" 2>&1 &
daemon_pids+=($!)
env "$mark" slurmd -D -f "$conf" >"$work/log/slurmd.stdout" 2>&1 &
daemon_pids+=($!)
node_idle() { [ "$(sinfo -h -n "$host" -o %T)" = idle ]; }
if ! { wait_for 30 eval 'node_idle || ! running' && node_idle; }; then
    tail -n 30 "$work"/log/* || true
    sinfo -N -l || true
    skip "slurmctld/slurmd did not bring node $host up here"
fi

# The pages: solid colours; the slow one answers only once $work/release exists.
colours=(ff0000 00ff00 0000ff ffff00 00ffff ff00ff 808080 ff8000 8000ff 00ff80 800000 008080)
for i in "${!colours[@]}"; do
    printf '<html><body style="margin:0;background:#%s"></body></html>' "${colours[$i]}" >"$work/site/p$((i + 1)).html"
done
cat >"$work/server.py" <<'PY'
import functools, http.server, os, sys, time
site, port, release, seen = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]

class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith("/slow/"):
            with open(seen, "a") as f:
                f.write(self.path + "\n")
            end = time.monotonic() + 120
            while not os.path.exists(release) and time.monotonic() < end:
                time.sleep(0.1)
            self.path = self.path[len("/slow"):]
        super().do_GET()

    def log_message(self, *args):
        pass

server = http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(Handler, directory=site))
server.daemon_threads = True
server.serve_forever()
PY
read -r port < <(free_ports 1)
python3 "$work/server.py" "$work/site" "$port" "$work/release" "$work/slow-requests" >"$work/server.log" 2>&1 &
server=$!
wait_for 10 python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" ||
    { cat "$work/server.log"; echo "page server did not start"; exit 1; }
for n in $(seq "$rows"); do
    if [ "$n" = "$slow_row" ]; then echo "http://127.0.0.1:$port/slow/p$n.html"; else echo "http://127.0.0.1:$port/p$n.html"; fi
done >"$work/list.txt"

submit() { # sbatch options...; prints the job ID
    (cd "$work/submit" && env "$mark" sbatch --parsable \
        --export="ALL,LIST=$work/list.txt,OUT=$work/out,SHARDS=$shards,PATH=$(dirname "$batch"):$PATH" \
        "$@" "$recipe") | cut -d';' -f1
}
state_of() { # job ID, array task; prints its state
    squeue -h -t all -j "${1}_$2" -o %T 2>/dev/null | head -n1
}
show_logs() {
    squeue -t all -o '%i %A %T %r' || true
    for f in "$work"/submit/*.log "$work"/log/*.log; do [ -f "$f" ] && { echo "== $f"; tail -n 40 "$f"; }; done
}
fail() { echo "FAIL: $*"; show_logs; exit 1; }
all_done() { # job ID, tasks...
    local job=$1 t
    shift
    for t in "$@"; do
        case $(state_of "$job" "$t") in COMPLETED | FAILED | CANCELLED | TIMEOUT | NODE_FAIL | OUT_OF_MEMORY) ;; *) return 1 ;; esac
    done
}
results_of() { cat "$work/out/results-$1.jsonl" 2>/dev/null || true; }

[ "$(PATH=$(dirname "$batch"):$PATH command -v thumbrix-batch)" = "$batch" ] ||
    fail "$batch is not what PATH finds as thumbrix-batch"
job=$(submit --array=1-$shards)
[[ $job =~ ^[0-9]+$ ]] || fail "sbatch printed '$job', not a job ID"

# Cancel task 2 once it has finished every row but the slow one, and that one is in flight.
slow_in_flight() {
    [ "$(state_of "$job" $slow_task)" = RUNNING ] && [ -s "$work/slow-requests" ] &&
        [ "$(results_of $slow_task | grep -c .)" = $((rows / shards - 1)) ]
}
wait_for 60 eval 'slow_in_flight || all_done "$job" $slow_task' && slow_in_flight ||
    fail "task $slow_task never reached its slow row"
python3 - "$(results_of $slow_task)" "$slow_row" <<'PY' || fail "the slow row ended before the cancel"
import json, sys
assert all(json.loads(line)["number"] != int(sys.argv[2]) for line in sys.argv[1].splitlines())
PY
task_job=$(squeue -h -j "${job}_$slow_task" -o %A)
scancel "${job}_$slow_task"
wait_for 20 all_done "$job" $slow_task || fail "task $slow_task did not end after scancel"
[ "$(state_of "$job" $slow_task)" = CANCELLED ] || fail "task $slow_task ended $(state_of "$job" $slow_task), not CANCELLED"
task_processes() { # of the cancelled task, with their command lines
    python3 - "$task_job" "$mark" <<'PY'
import os, sys
want = {b"SLURM_JOB_ID=" + sys.argv[1].encode(), sys.argv[2].encode()}
for pid in filter(str.isdigit, os.listdir("/proc")):
    try:
        if want <= set(open(f"/proc/{pid}/environ", "rb").read().split(b"\0")):
            print(pid, open(f"/proc/{pid}/cmdline", "rb").read().replace(b"\0", b" ").decode(errors="replace"))
    except OSError:
        pass
PY
}
# Nothing of it may go on capturing past KillWait, Chromium's helpers included.
wait_for 15 eval '[ -z "$(task_processes)" ]' || fail "processes of the cancelled task still run: $(task_processes)"

touch "$work/release"
again=$(submit --array=$slow_task)
[[ $again =~ ^[0-9]+$ ]] || fail "sbatch printed '$again', not a job ID"
wait_for 60 all_done "$job" $(seq "$shards") || fail "the array did not finish"
wait_for 60 all_done "$again" $slow_task || fail "task $slow_task submitted again did not finish"
for t in $(seq "$shards"); do
    [ "$t" = $slow_task ] && continue
    [ "$(state_of "$job" "$t")" = COMPLETED ] || fail "task $t ended $(state_of "$job" "$t")"
done
[ "$(state_of "$again" $slow_task)" = COMPLETED ] || fail "task $slow_task run again ended $(state_of "$again" $slow_task)"

python3 - "$work/out" "$rows" "$shards" "$slow_task" "$slow_row" <<'PY' || fail "results"
import collections, json, pathlib, sys
out = pathlib.Path(sys.argv[1])
rows, shards, slow_task, slow_row = map(int, sys.argv[2:])
lines = collections.defaultdict(list)
for shard in range(1, shards + 1):
    for line in (out / f"results-{shard}.jsonl").read_text().splitlines():
        row = json.loads(line)
        assert (row["number"] - 1) % shards + 1 == shard, f"row {row['number']} in results-{shard}"
        lines[row["number"]].append(row)
assert sorted(lines) == list(range(1, rows + 1)), f"rows recorded: {sorted(lines)}"
thumbnails = set()
for number, seen in sorted(lines.items()):
    statuses = [r["status"] for r in seen]
    # Once captured; task 2 run again skips what it had done before the cancel.
    if (number - 1) % shards + 1 == slow_task and number != slow_row:
        assert statuses == ["Success", "Skipped"], (number, statuses)
    else:
        assert statuses == ["Success"], (number, statuses)
    done = seen[0]
    path = pathlib.Path(done["file"])
    assert path.parent == out and path.name.startswith(done["id"] + "."), done
    assert path.is_file() and path.stat().st_size == done["bytes"] > 0, done
    thumbnails.add(path.name)
assert len(thumbnails) == rows, f"{len(thumbnails)} thumbnails for {rows} rows"
expected = thumbnails | {f"results-{s}.jsonl" for s in range(1, shards + 1)}
present = {p.name for p in out.iterdir()}
assert present == expected, f"unexpected: {sorted(present - expected)}, missing: {sorted(expected - present)}"
PY
[ "$(grep -c . "$work/slow-requests")" = 2 ] ||
    fail "the slow page was asked for $(grep -c . "$work/slow-requests") times, not twice (cancelled, then resumed)"

stop_daemons
left=$(marked)
[ -z "$left" ] || { echo "FAIL: still running after the daemons stopped:"; ps -o pid,args -p "${left//$'\n'/,}"; exit 1; }
echo "slurm recipe: ok"
