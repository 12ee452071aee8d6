#!/usr/bin/env python3
"""Writes N ordinary pages (text, a stylesheet, an inline SVG) and a list of their file:// URLs.

    make-pages.py [--inline-css] FOLDER [N]

--inline-css puts the stylesheet in each page, so that served slowly a page is one request.
"""
import pathlib
import sys

args = [a for a in sys.argv[1:] if a != "--inline-css"]
inline_css = len(args) < len(sys.argv) - 1
folder = pathlib.Path(args[0]).resolve()
count = int(args[1]) if len(args) > 1 else 40
folder.mkdir(parents=True, exist_ok=True)
css = (
    "body{font-family:'DejaVu Sans',sans-serif;margin:0;color:#223}"
    "header{padding:24px 40px;color:#fff}main{padding:20px 40px;display:flex;gap:24px}"
    "article{flex:1;line-height:1.5}aside{width:220px;background:#f2f4f8;border-radius:8px;padding:14px}"
    "table{border-collapse:collapse}td,th{border:1px solid #ccd;padding:4px 10px}\n")
(folder / "site.css").write_text(css)
style = f"<style>{css}</style>" if inline_css else '<link rel="stylesheet" href="site.css">'
words = ("harbour market weather quay ferry storage crane evening crates scales prices mackerel gulls "
         "morning argument pier slipway nets crews wind north east boats dawn water").split()
urls = []
for i in range(count):
    hue = (i * 37) % 360
    text = " ".join(words[(i + k) % len(words)] for k in range(160))
    bars = "".join(f'<rect x="{20 + j * 45}" y="{150 - ((i * 7 + j * 13) % 120)}" width="30" '
                   f'height="{(i * 7 + j * 13) % 120}" fill="hsl({(hue + j * 20) % 360},60%,50%)"/>'
                   for j in range(8))
    rows = "".join(f"<tr><td>Item {j}</td><td>{(i + 1) * (j + 3)}</td><td>{j * 11 % 7}</td></tr>" for j in range(6))
    page = (f'<!DOCTYPE html><html><head><meta charset="utf-8"><title>Page {i}</title>'
            f'{style}</head><body>'
            f'<header style="background:hsl({hue},55%,40%)"><h1>Page {i}: {words[i % len(words)].title()}</h1></header>'
            f'<main><article><p>{text}</p><table><tr><th>Name</th><th>Value</th><th>Rank</th></tr>{rows}</table>'
            f'</article><aside><svg width="200" height="160" xmlns="http://www.w3.org/2000/svg">'
            f'<rect width="200" height="160" fill="#fff"/>{bars}</svg><p>{text[:200]}</p></aside></main>'
            f'</body></html>')
    path = folder / f"page{i:02d}.html"
    path.write_text(page)
    urls.append(path.as_uri())
(folder / "list.txt").write_text("\r\n".join(urls) + "\r\n")
print(folder / "list.txt")
