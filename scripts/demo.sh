#!/usr/bin/env bash
# Installs what is missing, builds, serves the example pages on 127.0.0.1:8765 and
# captures the example list with thumbrix-batch. Prints where the thumbnails went.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

port=8765
if python3 -c "import socket,sys; s=socket.socket(); sys.exit(s.connect_ex(('127.0.0.1',$port))!=0)"; then
    echo "Port $port on 127.0.0.1 is in use; the example list expects its pages there." >&2
    exit 2
fi
python3 -m http.server "$port" --bind 127.0.0.1 --directory examples/site >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    python3 -c "import socket,sys; s=socket.socket(); sys.exit(s.connect_ex(('127.0.0.1',$port)))" && break
    sleep 0.1
done

out=$(mktemp -d /tmp/thumbrix-demo.XXXXXX)
status=0
build/bin/thumbrix-batch --list-format pipe --out "$out" examples/urls.txt || status=$?
echo
echo "Thumbnails written to: $out"
ls -l "$out"
# The example list holds one missing page on purpose, so exit status 1 is the expected outcome.
[ "$status" -le 1 ]
