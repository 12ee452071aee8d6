#!/usr/bin/env bash
# deploy/parallel/run.sh on loopback: three shards over nine pages served locally, one of
# them missing. First shard 2 dies before it starts (exit 3: a worker broke), then the same
# command is run again and must finish the job (exit 1: the missing page). In the end every
# page is captured exactly once going by the results files, the missing one fails, and the
# folder holds the thumbnails and results files and nothing else.
set -euo pipefail
recipe=$1 batch=$2
work=$(mktemp -d)
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/site"
colours=(ff0000 00ff00 0000ff ffff00 00ffff ff00ff 808080 ff8000)
for i in "${!colours[@]}"; do
    printf '<html><body style="margin:0;background:#%s"></body></html>' "${colours[$i]}" >"$work/site/p$i.html"
done
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$work/site" "$port" >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.1
done
for i in "${!colours[@]}"; do echo "row$i|http://127.0.0.1:$port/p$i.html"; done >"$work/list.txt"
echo "gone|http://127.0.0.1:$port/missing.html" >>"$work/list.txt"

# A worker that is killed at once for shard 2, as a machine that goes away would be.
cat >"$work/dies-on-2" <<EOF
#!/usr/bin/env bash
[ "\$2" = 2/3 ] && kill -KILL \$\$
exec "$batch" "\$@"
EOF
chmod +x "$work/dies-on-2"

capture() { # program; prints the log, returns run.sh's exit status
    local status=0
    THUMBRIX_BATCH=$1 "$recipe" "$work/list.txt" "$work/out" 3 -- --list-format pipe --jobs 1 --image png \
        >"$work/log" 2>&1 || status=$?
    cat "$work/log"
    return "$status"
}
status=0
capture "$work/dies-on-2" || status=$?
[ "$status" = 3 ] || { echo "exit status $status with a worker killed, not 3"; exit 1; }
[ ! -e "$work/out/results-2.jsonl" ] || { echo "shard 2 ran"; exit 1; }
status=0
capture "$batch" || status=$?
[ "$status" = 1 ] || { echo "exit status $status when run again, not 1 (one row fails)"; exit 1; }

python3 - "$work/out" "${#colours[@]}" <<'PY'
import collections, json, pathlib, sys
out, pages = pathlib.Path(sys.argv[1]), int(sys.argv[2])
statuses = collections.defaultdict(list)
for shard in (1, 2, 3):
    for line in (out / f"results-{shard}.jsonl").read_text().splitlines():
        row = json.loads(line)
        assert (row["number"] - 1) % 3 + 1 == shard, f"row {row['number']} in shard {shard}"
        want_id = "gone" if row["number"] == pages + 1 else f"row{row['number'] - 1}"
        assert row["id"] == want_id, row
        statuses[row["number"]].append(row["status"])
assert sorted(statuses) == list(range(1, pages + 2)), f"rows recorded: {sorted(statuses)}"
for number, seen in statuses.items():
    if number == pages + 1:
        assert set(seen) == {"Error"}, (number, seen)
    else:
        # Captured once; shards 1 and 3 skip theirs the second time, shard 2 ran only then.
        want = ["Success"] if (number - 1) % 3 == 1 else ["Success", "Skipped"]
        assert seen == want, (number, seen)
expected = {f"row{i}.png" for i in range(pages)} | {f"results-{s}.jsonl" for s in (1, 2, 3)}
present = {p.name for p in out.iterdir()}
assert present == expected, f"unexpected: {sorted(present - expected)}, missing: {sorted(expected - present)}"
PY
echo "parallel recipe: ok"
