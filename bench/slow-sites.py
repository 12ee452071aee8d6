#!/usr/bin/env python3
"""Serves a folder on many ports of 127.0.0.1, every answer held back by a fixed delay.

    slow-sites.py FOLDER FIRST_PORT PORTS DELAY [LIST_FILE]

FIRST_PORT 0 takes free ports. The folder's pages (*.html, sorted) go round-robin over the
ports, page i on port i mod PORTS, and their URLs are written to LIST_FILE (default
FOLDER/slow-list.txt), whose path is printed once every port listens. Serves until killed;
on SIGTERM or SIGINT, stderr gets how many requests were answered, and which were 404.
"""
import collections
import http.server
import mimetypes
import pathlib
import signal
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = pathlib.Path(".")
    delay = 1.0
    found = 0
    missing = collections.Counter()
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def _answer(self, with_body):
        time.sleep(self.delay)  # each connection sleeps in its own thread, so waits overlap
        name = self.path.split("?", 1)[0].split("#", 1)[0].lstrip("/")
        target = (self.root / name).resolve()
        if target.is_file() and target.is_relative_to(self.root):
            body = target.read_bytes()
            status, kind = 200, mimetypes.guess_type(target.name)[0] or "application/octet-stream"
        else:
            body, status, kind = b"not found\n", 404, "text/plain"
        with self.lock:
            if status == 200:
                Handler.found += 1
            else:
                Handler.missing["/" + name] += 1
        self.send_response(status)
        self.send_header("Content-Type", kind + ("; charset=utf-8" if kind.startswith("text/") else ""))
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if with_body:
            self.wfile.write(body)

    def do_GET(self):
        self._answer(True)

    def do_HEAD(self):
        self._answer(False)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 256  # the default backlog of 5 drops SYNs under 40 parallel loads

    def handle_error(self, request, client_address):
        # a browser that gave up on a request (a view closed, a favicon no longer wanted) is no fault
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    root = pathlib.Path(sys.argv[1]).resolve()
    first, count, delay = int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
    list_path = pathlib.Path(sys.argv[5] if len(sys.argv) == 6 else root / "slow-list.txt").resolve()
    if count < 1 or not root.is_dir():
        sys.exit(__doc__)
    Handler.root, Handler.delay = root, delay
    mimetypes.add_type("text/css", ".css")
    mimetypes.add_type("image/svg+xml", ".svg")

    servers = [Server(("127.0.0.1", first + k if first else 0), Handler) for k in range(count)]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    ports = [server.server_address[1] for server in servers]
    pages = sorted(p.relative_to(root).as_posix() for p in root.rglob("*.html"))
    urls = [f"http://127.0.0.1:{ports[i % count]}/{page}" for i, page in enumerate(pages)]
    list_path.write_text("".join(u + "\n" for u in urls))
    print(list_path, flush=True)

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    finally:
        missing = sum(Handler.missing.values())
        top = ", ".join(f"{path} {n}" for path, n in Handler.missing.most_common(3))
        print(f"slow-sites: {Handler.found + missing} requests, {missing} not found{': ' + top if top else ''}",
              file=sys.stderr)


if __name__ == "__main__":
    main()
