#!/usr/bin/env python3
"""The table of bench/settle.sh: settle-table.py WORK WAY...

Each WORK/WAY folder holds ID.png thumbnails (200x150) and times.jsonl (one JSON object per
page with id and ms). A page is right when its thumbnail scores 35 dB PSNR or more against
its twin's taken the same way; its time is its ms less the median ms of the static-* rows,
the static page taken the same way (whatever that way always waits is left out).
"""

import json
import math
import os
import statistics
import struct
import sys
import zlib

LABELS = {
    "settle": "thumbrix-batch (settling)",
    "no-settle": "thumbrix-batch --no-settle",
    "pw-load": "Playwright load",
    "pw-networkidle": "Playwright networkidle",
}


def read_png(path):
    """Pixels as (width, height, RGB bytes); 8-bit RGB or RGBA only."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour not in (2, 6):
                raise ValueError(f"{path}: not 8-bit RGB(A)")
            channels = 4 if colour == 6 else 3
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = prev[x]
            c = prev[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + ((a + b) >> 1)) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line) if channels == 3 else bytes(v for i, v in enumerate(line) if i % 4 != 3))
        prev = line
    return width, height, b"".join(rows)


def psnr(a, b):
    if a[:2] != b[:2]:
        return 0.0
    squares = sum((p - q) ** 2 for p, q in zip(a[2], b[2]))
    return 99.0 if squares == 0 else 10 * math.log10(255 * 255 * len(a[2]) / squares)


def main():
    work, ways = sys.argv[1], sys.argv[2:]
    summary, detail = [], {}
    for way in ways:
        folder = os.path.join(work, way)
        try:
            with open(os.path.join(folder, "times.jsonl")) as f:
                times = {r["id"]: r["ms"] for r in map(json.loads, f) if r.get("ms") is not None}
        except OSError:
            times = {}
        pages = sorted(i for i in times if i + "-twin" in times)
        static = [ms for i, ms in times.items() if i.startswith("static-")]
        if not pages or not static:
            summary.append((way, "n/a", "n/a", "n/a"))
            continue
        base = statistics.median(static)
        right = 0
        for page in pages:
            try:
                db = psnr(read_png(os.path.join(folder, page + ".png")),
                          read_png(os.path.join(folder, page + "-twin.png")))
            except (OSError, ValueError):
                db = 0.0
            right += db >= 35
            detail.setdefault(page, {})[way] = (db, times[page] - base)
        over = statistics.median(times[p] - base for p in pages)
        summary.append((way, f"{right}/{len(pages)}", f"{over:.0f} ms", f"{base:.0f} ms"))

    print(f"{'':30} {'right':>7} {'median over static':>19} {'static page':>12}")
    for way, right, over, base in summary:
        print(f"{LABELS.get(way, way):30} {right:>7} {over:>19} {base:>12}")
    print()
    print(f"{'per page: dB, ms over static':30}" + "".join(f"{w:>18}" for w in ways))
    for page in sorted(detail):
        cells = (detail[page].get(w) for w in ways)
        print(f"{page:30}" + "".join(f"{c[0]:8.1f}{c[1]:8.0f} ms" if c else f"{'n/a':>18}" for c in cells))


if __name__ == "__main__":
    main()
