#!/usr/bin/env bash
# deploy/parallel/run.sh on loopback: three shards over nine pages served locally, one of
# them missing. Every row must be recorded once, each captured page exactly once, and the
# folder must hold the thumbnails and results files and nothing else.
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

status=0
THUMBRIX_BATCH=$batch "$recipe" "$work/list.txt" "$work/out" 3 -- --list-format pipe --jobs 1 --image png \
    >"$work/log" 2>&1 || status=$?
cat "$work/log"
[ "$status" = 1 ] || { echo "exit status $status, not 1 (one row fails)"; exit 1; }

python3 - "$work/out" "${#colours[@]}" <<'PY'
import json, pathlib, sys
out, pages = pathlib.Path(sys.argv[1]), int(sys.argv[2])
rows = []
for shard in (1, 2, 3):
    for line in (out / f"results-{shard}.jsonl").read_text().splitlines():
        row = json.loads(line)
        assert (row["number"] - 1) % 3 + 1 == shard, f"row {row['number']} in shard {shard}"
        rows.append(row)
numbers = sorted(r["number"] for r in rows)
assert numbers == list(range(1, pages + 2)), f"rows recorded: {numbers}"
for row in rows:
    want = "Error" if row["id"] == "gone" else "Success"
    assert row["status"] == want, row
expected = {f"row{i}.png" for i in range(pages)} | {f"results-{s}.jsonl" for s in (1, 2, 3)}
present = {p.name for p in out.iterdir()}
assert present == expected, f"unexpected: {sorted(present - expected)}, missing: {sorted(expected - present)}"
PY
echo "parallel recipe: ok"
