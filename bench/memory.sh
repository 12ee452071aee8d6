#!/usr/bin/env bash
# Memory of thumbrix-batch and its QtWebEngine processes over 1,000 rows: the 40 ordinary
# local pages 25 times, each URL made distinct by ?n=K. Sampled once a second; prints the
# average per 100 finished rows, the maximum, and the first against the last hundred.
#     bash bench/memory.sh [JOBS=1] [window]
# With "window", the same for the window's run with JOBS pages at once (bench_window_run).
# BIN=folder uses the thumbrix-batch there and skips the build (which goes to build/).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-1}
what=${2:-batch}
if [ -z "${BIN:-}" ]; then
    bash scripts/build.sh -DTHUMBRIX_BUILD_BENCH=ON >/dev/null
    BIN=build/bin
fi
batch=$BIN/thumbrix-batch
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu

work=$(mktemp -d /tmp/thumbrix-memory.XXXXXX)
trap 'rm -rf "$work"' EXIT
pages=$(python3 bench/make-pages.py "$work/pages" 40)
tr -d '\r' <"$pages" | awk 'NF { url[n++] = $0 } END { for (k = 0; k < 1000; k++) printf "%s?n=%d\n", url[k % n], k + 1 }' >"$work/list.txt"
mkdir "$work/out"

if [ "$what" = window ]; then
    echo "== the window, Pages at once $jobs, 1,000 rows, memory of the process tree every 1 s"
    python3 bench/mem-sample.py "$BIN/bench_window_run" "$work/list.txt" "$jobs"
    exit 0
fi
opts=()
# Read whole: grep -q would stop reading early and, with pipefail, fail the test.
if "$batch" --help 2>/dev/null | grep -c -- --jobs >/dev/null; then
    opts=(--jobs "$jobs")
elif [ "$jobs" != 1 ]; then
    echo "$batch has no --jobs option: only JOBS=1 can be measured with it" >&2
    exit 2
fi
echo "== thumbrix-batch ${opts[*]:-(no --jobs)}, 1,000 rows, memory of the process tree every 1 s"
python3 bench/mem-sample.py "$batch" "${opts[@]}" --out "$work/out" "$work/list.txt"
