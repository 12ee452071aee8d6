#!/usr/bin/env bash
# Prints what --jobs buys: thumbrix-batch at --jobs 1..16 on 40 pages that each take 1 s to
# answer (20 local ports, so no per-host connection limit is reached), Playwright with 6 pages
# in parallel on the same list, and --jobs 1 against 2 on 40 ordinary local pages.
# BIN=folder uses the thumbrix-batch there and skips the build (which goes to build/).
# SLOW_RUNS=N repeats each slow configuration N times (default 1), LOCAL_RUNS the local ones (3).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${BIN:-}" ]; then
    bash scripts/build.sh -DTHUMBRIX_BUILD_BENCH=ON >/dev/null
    BIN=build/bin
fi
batch=$BIN/thumbrix-batch
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
slow_runs=${SLOW_RUNS:-1}
local_runs=${LOCAL_RUNS:-3}

work=$(mktemp -d /tmp/thumbrix-parallel.XXXXXX)
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

python3 bench/make-pages.py --inline-css "$work/slow-pages" 40 >/dev/null
local_list=$(python3 bench/make-pages.py "$work/local-pages" 40)
python3 bench/slow-sites.py "$work/slow-pages" 0 20 1 "$work/slow.txt" >"$work/server.out" 2>"$work/server.err" &
server=$!
for _ in $(seq 100); do
    [ -s "$work/server.out" ] && break
    kill -0 "$server" 2>/dev/null || { echo "slow-sites.py did not start:"; cat "$work/server.err"; exit 1; }
    sleep 0.1
done
[ -s "$work/server.out" ] || { echo "slow-sites.py did not start within 10 s"; exit 1; }
slow_list=$(head -1 "$work/server.out")

has_jobs=0
# Read whole: grep -q would stop reading early and, with pipefail, fail the test.
"$batch" --help 2>/dev/null | grep -c -- --jobs >/dev/null && has_jobs=1
[ $has_jobs = 1 ] || echo "(this thumbrix-batch has no --jobs: --jobs 1 runs without the option, the others are expected to fail)"

# run_batch JOBS LIST: one run into a fresh folder; sets secs, ok (Success lines), rc, note.
run_batch() {
    local jobs=$1 list=$2 opts=()
    [ "$jobs" = 1 ] && [ $has_jobs = 0 ] || opts=(--jobs "$jobs")
    rm -rf "$work/out" && mkdir "$work/out"
    local start=$EPOCHREALTIME
    rc=0
    "$batch" "${opts[@]}" --out "$work/out" "$list" >"$work/stdout" 2>"$work/stderr" || rc=$?
    secs=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')
    ok=$(awk '$1 ~ /^[0-9]+$/ && $3 == "Success"' "$work/stdout" | wc -l)
    note=
    if [ $rc = 2 ]; then
        note="bad usage: $(grep -m1 . "$work/stderr" | cut -c1-70 || true)"
    elif [ $rc != 0 ]; then
        note="first error: $(grep -m1 -E '^[0-9]+ [^ ]+ Error' "$work/stdout" | cut -d' ' -f3- | cut -c1-60 || true)"
    fi
}

# median of the arguments that are numbers; "-" when there are none
median() {
    printf '%s\n' "$@" | awk '/^[0-9.]+$/' | sort -n |
        awk '{ v[NR] = $1 } END { if (!NR) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a ~ /^[0-9.]+$/ && b ~ /^[0-9.]+$/ && b > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo "== 40 pages, 1 s per answer, 20 ports; thumbrix-batch start-up included"
printf '%-22s %8s %8s %5s  %s\n' "" "wall s" "Success" "exit" "note"
declare -A slow_time
for jobs in 1 2 4 8 16; do
    times=()
    for ((run = 1; run <= slow_runs; run++)); do
        run_batch "$jobs" "$slow_list"
        printf '%-22s %8s %5s/40 %5s  %s\n' "--jobs $jobs" "$secs" "$ok" "$rc" "$note"
        # a run that lost rows is no time for the ratios
        [ "$ok" = 40 ] && times+=("$secs")
    done
    slow_time[$jobs]=$(median "${times[@]}")
done

pw=-
if [ -x /usr/bin/chromium ] && [ -d bench/node_modules/playwright-core ]; then
    times=()
    for ((run = 1; run <= slow_runs; run++)); do
        start=$EPOCHREALTIME
        prc=0
        line=$(node bench/playwright-parallel.mjs "$slow_list" 6 2>"$work/pw.err") || prc=$?
        secs=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')
        printf '%-22s %8s %8s %5s  %s\n' "Playwright, 6 pages" "$secs" "" "$prc" "${line:-$(head -1 "$work/pw.err")}"
        [ $prc = 0 ] && times+=("$secs")
    done
    pw=$(median "${times[@]}")
else
    echo "(Playwright skipped: apt-get install chromium; npm install --prefix bench playwright-core)"
fi

echo "== 40 ordinary local pages (file://), no delay, runs interleaved"
printf '%-22s %8s %8s %5s  %s\n' "" "wall s" "Success" "exit" "note"
local1=() local2=()
for ((run = 1; run <= local_runs; run++)); do
    for jobs in 1 2; do
        run_batch "$jobs" "$local_list"
        printf '%-22s %8s %5s/40 %5s  %s\n' "--jobs $jobs, run $run" "$secs" "$ok" "$rc" "$note"
        if [ "$ok" = 40 ]; then
            if [ "$jobs" = 1 ]; then local1+=("$secs"); else local2+=("$secs"); fi
        fi
    done
done

# the count shows what else than the pages was asked for (favicons, a stylesheet)
kill "$server" && wait "$server" 2>/dev/null || true
server=
echo "== $(cat "$work/server.err")"

echo "== ratios (medians of the runs with 40 Success; - when there was none)"
l1=$(median "${local1[@]}") l2=$(median "${local2[@]}")
echo "Playwright 6 parallel / --jobs 8, slow pages: $(ratio "$pw" "${slow_time[8]}")  ($pw s / ${slow_time[8]} s)"
echo "--jobs 1 / --jobs 2, local pages:            $(ratio "$l1" "$l2")  ($l1 s / $l2 s)"
