#!/usr/bin/env bash
# What hiding consent banners costs a page in CPU time: thumbrix-batch with consent hiding on,
# beside the same run with --keep-consent, on the 40 ordinary local pages (bench/make-pages.py)
# and on the consent fixtures' banner pages (tests/consent/site.py). The CPU time is that of the
# whole process tree (the batch and its renderers, perf stat's task-clock), which a busy machine
# changes far less than it changes the wall clock. One view (--jobs 1), each list taken ROUNDS
# times (default 5); the median run counts.
#
#     bench/consent-cost.sh [BATCH]     BATCH: a thumbrix-batch to price, build/bin's by default;
#                                       the rules engine is looked for beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
batch=${1:-build/bin/thumbrix-batch}
rounds=${ROUNDS:-5}
command -v perf >/dev/null || { echo "perf is missing: apt-get install linux-perf" >&2; exit 1; }
[ -x "$batch" ] || { echo "no $batch: build thumbrix-batch first" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu

work=$(mktemp -d /tmp/thumbrix-consent-cost.XXXXXX)
python3 tests/consent/site.py >"$work/port" &
site=$!
trap 'kill $site; rm -rf "$work"' EXIT
until [ -s "$work/port" ]; do sleep 0.1; done
base=http://127.0.0.1:$(head -1 "$work/port")

# Each page three times, so that the start of the program weighs little beside the pages.
pages=$(python3 bench/make-pages.py "$work/pages" 40)
for copy in 1 2 3; do
    n=0
    while IFS= read -r url; do
        [ -n "${url%$'\r'}" ] && echo "plain-$copy-$((n++))|${url%$'\r'}"
    done <"$pages"
done >"$work/plain.txt"
banners=(onetrust onetrust-inline didomi quantcast own-de own-fr own-nl own-es vanilla-cookieconsent klaro tarteaucitron)
for copy in 1 2 3; do
    for name in "${banners[@]}"; do echo "banner-$copy-$name|$base/banner/$name.html"; done
done >"$work/banners.txt"

# CPU milliseconds of one run of the batch over a list, its whole process tree.
cpu_ms() {
    local list=$1
    shift
    rm -rf "$work/out" && mkdir "$work/out"
    perf stat -x, -e task-clock -o "$work/perf" "$batch" --list-format pipe --jobs 1 --out "$work/out" "$@" \
        "$list" >/dev/null 2>"$work/stderr" || { head -c 300 "$work/stderr" >&2; return 1; }
    awk -F, '$3 == "task-clock" { printf "%.0f\n", $1 }' "$work/perf"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "thumbrix-batch: $batch, $rounds rounds, one view; CPU time of the process tree"
for kind in plain banners; do
    list=$work/$kind.txt
    rows=$(wc -l <"$list")
    on=$(for _ in $(seq "$rounds"); do cpu_ms "$list"; done | median)
    kept=$(for _ in $(seq "$rounds"); do cpu_ms "$list" --keep-consent; done | median)
    awk -v k="$kind" -v n="$rows" -v on="$on" -v kept="$kept" 'BEGIN {
        printf "%-8s %3d rows: consent hidden %6d ms, kept %6d ms; hiding costs %5.1f ms CPU a page\n",
            k, n, on, kept, (on - kept) / n }'
done
