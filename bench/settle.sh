#!/usr/bin/env bash
# Settling before the capture, beside capturing at load and beside Playwright's load and
# networkidle waits, on the pages of tests/settle/site.py (the never-settling ones left
# out): how many pages come out right (35 dB PSNR or more against their twin taken the
# same way) and the median time a page costs over a static page. One page at a time, so
# the times are the page's own; run it on an idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/bin/thumbrix-batch ] || bash scripts/build.sh >/dev/null
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu

work=$(mktemp -d /tmp/thumbrix-settle.XXXXXX)
python3 tests/settle/site.py >"$work/port" &
site=$!
trap 'kill $site; rm -rf "$work"' EXIT
until [ -s "$work/port" ]; do sleep 0.1; done
base=http://127.0.0.1:$(head -1 "$work/port")

# A first page for the browser to warm up on, not counted; then the static page every few
# pages, for the median time a page costs anyway.
mapfile -t names < <(python3 tests/settle/site.py --cases | grep -v '^never-settles')
{
    echo "warm-up|$base/static/"
    for i in "${!names[@]}"; do
        ((i % 5)) || echo "static-$i|$base/static/"
        echo "${names[i]}|$base/${names[i]}/"
        echo "${names[i]}-twin|$base/${names[i]}/twin"
    done
    echo "static-end|$base/static/"
} >"$work/list"

batch() {
    local way=$1
    shift
    mkdir "$work/$way"
    build/bin/thumbrix-batch --list-format pipe --image png --jobs 1 --results "$work/$way/times.jsonl" \
        --out "$work/$way" "$@" "$work/list" >/dev/null 2>"$work/$way/stderr" ||
        echo "($way: $(head -c 300 "$work/$way/stderr"))"
}
batch settle
batch no-settle --no-settle
ways=(settle no-settle)

if [ -x /usr/bin/chromium ] && [ -d bench/node_modules/playwright-core ]; then
    for wait in load networkidle; do
        mkdir "$work/pw-$wait"
        node bench/playwright-settle.mjs "$wait" "$work/list" "$work/pw-$wait" >"$work/pw-$wait/times.jsonl"
        ways+=("pw-$wait")
    done
else
    echo "(Playwright skipped: apt-get install chromium; npm install --prefix bench playwright-core)"
fi

python3 bench/settle-table.py "$work" "${ways[@]}"
