#!/usr/bin/env bash
# Builds and prints the benchmark figures: the downscaler and writers, the per-page
# pipeline on the real engine, and thumbrix-batch on 40 ordinary local pages beside a
# plain load of the same pages (and Playwright driving Chromium, when it is installed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh -DTHUMBRIX_BUILD_BENCH=ON >/dev/null
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu

work=$(mktemp -d /tmp/thumbrix-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
list=$(python3 bench/make-pages.py "$work/pages" 40)

echo "== capture core"
build/bin/bench_capture_core
echo "== Delete Selected, 200,000 rows"
build/bin/bench_delete_selected 2>/dev/null
echo "== page pipeline"
build/bin/bench_page_pipeline "$list" 2>/dev/null
build/bin/bench_page_pipeline --no-settle --keep-consent "$list" 2>/dev/null
build/bin/bench_page_pipeline --no-settle "$list" 2>/dev/null
build/bin/bench_page_pipeline --load-only "$list" 2>/dev/null
build/bin/bench_page_pipeline --fence-ways "$list" 2>/dev/null

echo "== thumbrix-batch, 40 pages, start-up included"
for run in 1 2 3; do
    rm -rf "$work/out" && mkdir "$work/out"
    start=$EPOCHREALTIME
    build/bin/thumbrix-batch --out "$work/out" "$list" >/dev/null 2>&1
    awk -v r="$run" -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "run %d: %.2f s\n", r, b - a }'
done

echo "== thumbrix-batch, one huge page (24 MB, 700,000 hidden paragraphs)"
python3 -c 'import sys; open(sys.argv[1], "w").write("<!doctype html><body><div style=display:none>"
    + "<p>Lorem ipsum dolor sit amet</p>" * 700000 + "</div>")' "$work/huge.html"
echo "file://$work/huge.html" >"$work/huge.txt"
for run in 1 2 3; do
    rm -rf "$work/out" && mkdir "$work/out"
    build/bin/thumbrix-batch --jobs 1 --out "$work/out" --results - "$work/huge.txt" 2>/dev/null |
        python3 -c 'import json, sys; r = json.loads(sys.stdin.readline())
print("run %s: %.2f s, %s, %d attempt(s)" % (sys.argv[1], r["ms"] / 1000, r["status"], r["attempts"]))' "$run"
done

echo "== the window beside thumbrix-batch --jobs 4, 40 pages (window: from Start to the last row)"
for run in 1 2 3; do
    build/bin/bench_window_run "$list" 4 2>/dev/null
    rm -rf "$work/out" && mkdir "$work/out"
    start=$EPOCHREALTIME
    build/bin/thumbrix-batch --jobs 4 --out "$work/out" "$list" >/dev/null 2>&1
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "thumbrix-batch --jobs 4, start-up included: %.2f s\n", b - a }'
done
build/bin/bench_window_run "$list" 1 2>/dev/null

if [ -x /usr/bin/chromium ] && [ -d bench/node_modules/playwright-core ]; then
    echo "== Playwright + Chromium, same pages"
    for run in 1 2 3; do
        start=$EPOCHREALTIME
        node bench/playwright-pages.mjs "$list" >/dev/null
        awk -v r="$run" -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "run %d: %.2f s\n", r, b - a }'
    done
else
    echo "(Playwright comparison skipped: apt-get install chromium; npm install --prefix bench playwright-core)"
fi
