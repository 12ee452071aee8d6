#!/usr/bin/env python3
"""Pages that keep changing after their load event, for the settling tests and benchmark.

Every case has a dynamic page at /CASE/ that behaves like a real site (content fetched,
built by a timer, a late font or image, an animation, a redirect, endless requests) and a
static twin at /CASE/twin that shows the dynamic page's settled look from its first paint,
with no script and nothing delayed. The delays are the server's, so a capture at load
differs from the twin every time and a capture once settled matches it.

    site.py [PORT]    0 or nothing: a free port; the port is the first line printed
    site.py --cases   the names of the cases, one a line
"""

import json
import os
import select
import socket
import struct
import sys
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

FONT_FILES = (
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Bold.ttf",
)

STYLE = """*{box-sizing:border-box}
html,body{margin:0;background:#fff;color:#fff;font:bold 28px/1.2 sans-serif}
header{height:96px;padding:0 32px;display:flex;align-items:center;gap:20px;background:var(--head)}
main{display:grid;grid-template-columns:repeat(3,1fr);gap:16px;padding:16px}
.card{height:220px;display:flex;align-items:flex-end;padding:16px}
.skeleton{background:#c8c8c8}
.photo{display:block;margin:16px}
.hidden{display:none}
.spinner{width:24px;height:24px;border:4px solid rgba(255,255,255,.3);border-top-color:rgba(255,255,255,.5);
  border-radius:50%;animation:spin 1s linear infinite}
@keyframes spin{to{transform:rotate(360deg)}}
.clock{width:40px;height:40px;border-radius:50%;background:rgba(255,255,255,.3);position:relative}
.hand{position:absolute;left:19px;top:6px;width:2px;height:14px;background:rgba(255,255,255,.5);
  transform-origin:1px 14px}
"""

RENDER = """function render(items){const app=document.getElementById('app');
for(const it of items){const d=document.createElement('div');d.className='card';d.style.background=it.color;
d.textContent=it.title;app.append(d);}}
function load(url){return fetch(url).then(r=>r.json());}
"""

COLOURS = ["#e53935", "#fb8c00", "#fdd835", "#43a047", "#1e88e5", "#8e24aa", "#00897b", "#6d4c41", "#d81b60"]
TITLES = ["Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot"]
HEADS = ["#1a237e", "#004d40", "#3e2723", "#263238", "#b71c1c", "#33691e", "#4a148c", "#01579b",
         "#e65100", "#880e4f", "#212121", "#006064", "#827717", "#311b92", "#bf360c"]


LAZY_BACKGROUND = ("addEventListener('load',()=>new IntersectionObserver((es,o)=>es.forEach(e=>{"
                   "if(e.isIntersecting){e.target.classList.add('seen');o.unobserve(e.target);}}))"
                   ".observe(document.getElementById('hero')));")


# A page 9000 CSS pixels tall in bands of colour, for captures of a page's whole height.
TALL = ("<!doctype html><html><head><meta charset=utf-8><style>html,body{margin:0}div{height:900px}</style></head>"
        "<body>" + "".join(f'<div style="background:{c}"></div>' for c in (COLOURS * 2)[:10]) + "</body></html>").encode()


def items_of(index):
    """Six cards in colours of their own per case."""
    return [{"title": t, "color": COLOURS[(index * 2 + i) % len(COLOURS)]} for i, t in enumerate(TITLES)]


def cards_html(items):
    return "".join(f'<div class="card" style="background:{i["color"]}">{i["title"]}</div>' for i in items)


def page(title, head, main="", body_extra="", head_extra="", script="", header_extra=""):
    return (f"<!doctype html><html><head><meta charset=utf-8><title>{title}</title>"
            f"<style>{STYLE}</style>{head_extra}</head><body style=\"--head:{head}\">"
            f"<header>{title}{header_extra}</header><main id=app>{main}</main>{body_extra}"
            + (f"<script>{RENDER}{script}</script>" if script else "") + "</body></html>").encode()


def solid_png(width, height, rgb):
    """A PNG of one colour, truecolour 8-bit, no colour profile."""
    row = b"\x00" + bytes(rgb) * width

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(row * height, 9)) + chunk(b"IEND", b""))


def hex_rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


class Case:
    """One case: its dynamic page, its twin, and the resources they ask for, each with a delay."""

    def __init__(self, name, index):
        self.name = name
        self.head = HEADS[index % len(HEADS)]
        self.items = items_of(index)
        self.title = name.replace("-", " ").title()
        self.routes = {}

    def json(self, path, value, delay=0.0):
        self.routes[path] = (delay, "application/json", json.dumps(value).encode())

    def html(self, path, body):
        self.routes[path] = (0.0, "text/html; charset=utf-8", body)

    def twin(self, main=None, **kw):
        self.html("twin", page(self.title, self.head, cards_html(self.items) if main is None else main, **kw))


def build_cases(font):
    cases = []

    def case(name):
        c = Case(name, len(cases))
        cases.append(c)
        return c

    # An application shell filled from one JSON answer.
    c = case("fetch")
    c.html("", page(c.title, c.head, script="load('data.json').then(d=>render(d.items));"))
    c.json("data.json", {"items": c.items}, 0.5)
    c.twin()

    # Each answer brings two cards and names the next address.
    c = case("chain")
    c.html("", page(c.title, c.head,
                    script="function step(u){load(u).then(d=>{render(d.items);if(d.next)step(d.next);});}"
                           "step('step/1');"))
    for n in (1, 2, 3):
        c.json(f"step/{n}", {"items": c.items[2 * n - 2:2 * n], "next": f"step/{n + 1}" if n < 3 else None}, 0.3)
    c.twin()

    c = case("slow")
    c.html("", page(c.title, c.head, script="load('data.json').then(d=>render(d.items));"))
    c.json("data.json", {"items": c.items}, 1.5)
    c.twin()

    # Grey placeholders until a timer started at load puts the real cards in.
    c = case("skeleton")
    skeletons = '<div class="card skeleton"></div>' * 6
    c.html("", page(c.title, c.head, skeletons,
                    script=f"const items={json.dumps(c.items)};addEventListener('load',()=>setTimeout(()=>{{"
                           "document.getElementById('app').textContent='';render(items);},700));"))
    c.twin()

    # The face comes from a stylesheet added at load; the bars are as wide as the text in it.
    c = case("font")
    bars = "".join(f'<div class="bar"><span style="background:{i["color"]}">iiiiiiiiii</span></div>'
                   for i in c.items[:3])
    bar_style = ("<style>main{display:block;padding:16px}.bar{height:124px;font:80px/110px 'Thumbrix Late',serif}"
                 ".bar span{display:inline-block;padding:0 12px}</style>")
    face = "@font-face{font-family:'Thumbrix Late';src:url(%s) format('truetype')}"
    c.html("", page(c.title, c.head, bars, head_extra=bar_style,
                    script="addEventListener('load',()=>{const l=document.createElement('link');l.rel='stylesheet';"
                           "l.href='late.css';document.head.append(l);});"))
    c.routes["late.css"] = (0.3, "text/css", (face % "late.ttf").encode())
    c.routes["late.ttf"] = (0.6, "font/ttf", font)
    c.routes["face.ttf"] = (0.0, "font/ttf", font)
    c.twin(bars, head_extra=bar_style + "<style>" + face % "face.ttf" + "</style>")

    def photo(name, attrs=""):
        return f'<img class="photo" src="{name}" width="768" height="472" alt=""{attrs}>'

    c = case("lazy-image")
    c.html("", page(c.title, c.head, head_extra="<style>main{display:block;padding:0}</style>",
                    main=photo("photo.png", " loading=lazy")))
    c.routes["photo.png"] = (0.7, "image/png", solid_png(768, 472, hex_rgb(c.items[4]["color"])))
    c.routes["now.png"] = (0.0, "image/png", c.routes["photo.png"][2])
    c.twin(photo("now.png"), head_extra="<style>main{display:block;padding:0}</style>")

    c = case("script-image")
    c.html("", page(c.title, c.head, head_extra="<style>main{display:block;padding:0}</style>",
                    script="addEventListener('load',()=>{const i=new Image(768,472);i.className='photo';i.alt='';"
                           "i.src='photo.png';document.getElementById('app').append(i);});"))
    c.routes["photo.png"] = (0.7, "image/png", solid_png(768, 472, hex_rgb(c.items[1]["color"])))
    c.routes["now.png"] = (0.0, "image/png", c.routes["photo.png"][2])
    c.twin(photo("now.png"), head_extra="<style>main{display:block;padding:0}</style>")

    # A hero whose picture comes with a class set once it is seen, as lazy-loading libraries do,
    # here started by the load event so that the picture never holds the load event back.
    c = case("lazy-background")
    hero_style = ("<style>main{display:block;padding:0}.hero{height:472px;margin:16px;"
                  "background:#c8c8c8 center/cover no-repeat}.hero.seen{background-image:url(hero.png)}</style>")
    c.html("", page(c.title, c.head, '<div class="hero" id="hero"></div>', head_extra=hero_style,
                    script=LAZY_BACKGROUND))
    c.routes["hero.png"] = (0.7, "image/png", solid_png(768, 472, hex_rgb(c.items[2]["color"])))
    c.routes["now.png"] = (0.0, "image/png", c.routes["hero.png"][2])
    c.twin('<div class="hero" style="background-image:url(now.png)"></div>', head_extra=hero_style)

    # The same with a picture the page's own policy forbids: it never comes, nothing waits for it.
    c = case("broken-background")
    broken_style = "<meta http-equiv=Content-Security-Policy content=\"img-src 'none'\">" + hero_style
    c.routes["hero.png"] = (0.0, "image/png", solid_png(8, 8, (0, 0, 0)))
    c.html("", page(c.title, c.head, '<div class="hero" id="hero"></div>', head_extra=broken_style,
                    script=LAZY_BACKGROUND))
    c.twin('<div class="hero"></div>', head_extra=broken_style)

    # The content is there at load but transparent; the fade starts when the page has loaded.
    c = case("fade-in")
    c.html("", page(c.title, c.head, cards_html(c.items),
                    head_extra="<style>main{opacity:0}main.in{opacity:1;animation:fade 1s ease-in}"
                               "@keyframes fade{from{opacity:0}}</style>",
                    script="addEventListener('load',()=>document.getElementById('app').classList.add('in'));"))
    c.twin()

    # A hero that slides in from the left once the page has loaded.
    c = case("slide-in")
    hero_style = ("<style>main{display:block}.hero{height:472px;background:%s;padding:24px}</style>"
                  % c.items[3]["color"])
    c.html("", page(c.title, c.head, '<div class="hero" id="hero">Welcome</div>',
                    head_extra=hero_style + "<style>.hero{transform:translateX(-100%)}"
                                            ".hero.in{transform:none;transition:transform 1s ease-in}</style>",
                    script="addEventListener('load',()=>{const h=document.getElementById('hero');"
                           "h.getBoundingClientRect();h.classList.add('in');});"))
    c.twin('<div class="hero">Welcome</div>', head_extra=hero_style)

    # Sent on at load to a page that fetches its content in turn.
    c = case("redirect")
    c.html("", page(c.title, "#9e9e9e", script="addEventListener('load',()=>location.replace('target'));"))
    c.html("target", page(c.title, c.head, script="load('data.json').then(d=>render(d.items));"))
    c.json("data.json", {"items": c.items}, 0.4)
    c.twin()

    # A request that is never answered beside the one that brings the content.
    c = case("endless-request")
    c.html("", page(c.title, c.head, script="fetch('hang').catch(()=>{});load('data.json').then(d=>render(d.items));"))
    c.routes["hang"] = "hang"
    c.json("data.json", {"items": c.items}, 0.5)
    c.twin()

    # Live updates every second, forever, into an element nobody sees.
    c = case("event-stream")
    c.html("", page(c.title, c.head, body_extra='<div id="live" class="hidden"></div>',
                    script="new EventSource('events').onmessage="
                           "e=>{document.getElementById('live').textContent=e.data;};"
                           "load('data.json').then(d=>render(d.items));"))
    c.routes["events"] = "events"
    c.json("data.json", {"items": c.items}, 0.5)
    c.twin()

    # The spinner stays: a CSS animation without end is part of the settled look.
    c = case("spinner")
    spinner = '<div class="spinner"></div>'
    c.html("", page(c.title, c.head, header_extra=spinner, script="load('data.json').then(d=>render(d.items));"))
    c.json("data.json", {"items": c.items}, 0.5)
    c.twin(header_extra=spinner)

    # A clock drawn every frame, an interval, a self-rescheduling poll, one written with await and
    # a carousel that rebuilds its slides, none of which ever stop.
    c = case("never-still")
    c.html("", page(c.title, c.head, header_extra='<canvas id="clock" width="40" height="40"></canvas>',
                    body_extra='<div id="tick" class="hidden"></div><div id="poll" class="hidden"></div>'
                               '<div id="slides" class="hidden"></div>',
                    script="const g=document.getElementById('clock').getContext('2d');"
                           "(function draw(){const t=Date.now()/1000;g.clearRect(0,0,40,40);"
                           "g.fillStyle='rgba(255,255,255,.3)';g.beginPath();g.arc(20,20,20,0,7);g.fill();"
                           "g.strokeStyle='rgba(255,255,255,.5)';g.lineWidth=2;g.beginPath();g.moveTo(20,20);"
                           "g.lineTo(20+14*Math.sin(t),20-14*Math.cos(t));g.stroke();requestAnimationFrame(draw);})();"
                           "setInterval(()=>{document.getElementById('tick').textContent=Date.now();},100);"
                           "(function poll(){document.getElementById('poll').textContent=Date.now();"
                           "setTimeout(poll,300);})();"
                           "(async()=>{for(;;){await new Promise(r=>setTimeout(r,300));"
                           "document.getElementById('tick').title=Date.now();}})();"
                           "let slide=0;(function carousel(){document.getElementById('slides').replaceChildren("
                           "...[0,1,2].map(i=>{const d=document.createElement('div');d.textContent=slide+i;return d;}));"
                           "++slide;setTimeout(carousel,250);})();"
                           "load('data.json').then(d=>render(d.items));"))
    c.json("data.json", {"items": c.items}, 0.5)
    c.twin(header_extra='<div class="clock"><div class="hand"></div></div>')

    # A hero that slides in once the page has loaded, started in the first animation frame
    # after the load event, as many animate-on-load libraries do.
    c = case("frame-transition")
    hero_style = ("<style>main{display:block}.hero{height:472px;background:%s;padding:24px}</style>"
                  % c.items[3]["color"])
    c.html("", page(c.title, c.head, '<div class="hero" id="hero">Welcome</div>',
                    head_extra=hero_style + "<style>.hero{transform:translateX(-100%)}"
                                            ".hero.in{transform:none;transition:transform .8s ease-in}</style>",
                    script="addEventListener('load',()=>requestAnimationFrame(()=>"
                           "document.getElementById('hero').classList.add('in')));"))
    c.twin('<div class="hero">Welcome</div>', head_extra=hero_style)

    # The same fade started from a 0 ms timer set by the load event.
    c = case("timer-transition")
    c.html("", page(c.title, c.head, cards_html(c.items),
                    head_extra="<style>main{opacity:0}main.in{opacity:1;transition:opacity .8s ease-in}</style>",
                    script="addEventListener('load',()=>setTimeout(()=>"
                           "document.getElementById('app').classList.add('in'),0));"))
    c.twin()

    # Complete at load; a poll whose delay jitters keeps running.
    c = case("jitter-poll")
    c.html("", page(c.title, c.head, cards_html(c.items), body_extra='<div id="poll" class="hidden"></div>',
                    script="(function poll(){document.getElementById('poll').textContent=Date.now();"
                           "setTimeout(poll,400+Math.random()*200);})();"))
    c.twin()

    # Complete at load; a poll that backs off, its delay growing by half up to 1.2 s.
    c = case("backoff-poll")
    c.html("", page(c.title, c.head, cards_html(c.items), body_extra='<div id="poll" class="hidden"></div>',
                    script="let delay=100;(function poll(){document.getElementById('poll').textContent=Date.now();"
                           "delay=Math.min(delay*1.5,1200);setTimeout(()=>poll(),delay);})();"))
    c.twin()

    # A web component whose open shadow root gets its tiles one by one from a 16 ms timer.
    c = case("shadow-build")
    tiles = [COLOURS[(i * 5) % len(COLOURS)] for i in range(48)]
    tile_style = ("<style>main{display:block;padding:8px}.tiles{display:grid;grid-template-columns:repeat(8,1fr);"
                  "gap:8px}.tiles div{height:72px}</style>")
    c.html("", page(c.title, c.head, "<tile-board></tile-board>", head_extra=tile_style,
                    script=f"const tiles={json.dumps(tiles)};"
                           "addEventListener('load',()=>customElements.define('tile-board',class extends HTMLElement{"
                           "connectedCallback(){const r=this.attachShadow({mode:'open'});"
                           "r.innerHTML='<style>:host{display:grid;grid-template-columns:repeat(8,1fr);gap:8px}"
                           "div{height:72px}</style>';let i=0;const add=()=>{const d=document.createElement('div');"
                           "d.style.background=tiles[i];r.append(d);if(++i<tiles.length)setTimeout(add,16);};"
                           "setTimeout(add,16);}}));"))
    c.twin('<div class="tiles">' + "".join(f'<div style="background:{t}"></div>' for t in tiles) + "</div>",
           head_extra=tile_style)

    # A picture added by script far below the view, served late: nobody sees it in the thumbnail.
    c = case("image-far-below")
    c.html("", page(c.title, c.head, cards_html(c.items), body_extra='<div style="height:3000px"></div>',
                    script="addEventListener('load',()=>{const i=new Image(768,472);i.alt='';i.src='far.png';"
                           "document.body.append(i);});"))
    c.routes["far.png"] = (3.0, "image/png", solid_png(768, 472, (0, 0, 0)))
    c.twin(body_extra='<div style="height:3000px"></div>')

    # Never settled: a poll sent at once, again every 200 ms, answered after 450 ms, is always in flight.
    c = case("never-settles-poll")
    c.html("", page(c.title, c.head, cards_html(c.items),
                    script="let n=0;const poll=()=>fetch('poll?'+n++).catch(()=>{});poll();setInterval(poll,200);"))
    c.json("poll", {}, 0.45)
    c.twin()

    # Never settled: a feed that adds an entry every 100 ms, forever, is still building the page.
    c = case("never-settles-feed")
    c.html("", page(c.title, c.head, cards_html(c.items), body_extra='<div id="feed" class="hidden"></div>',
                    script="(function more(){const p=document.createElement('p');p.textContent=Date.now();"
                           "document.getElementById('feed').append(p);setTimeout(more,100);})();"))
    c.twin()

    # Never settled: a short animation started again each time it ends.
    c = case("never-settles-animation")
    dot_style = ("<style>.dot{width:20px;height:20px;border-radius:50%;background:rgba(255,255,255,.5)}"
                 ".dot.a{animation:pa .4s}.dot.b{animation:pb .4s}"
                 "@keyframes pa{from{opacity:.8}}@keyframes pb{from{opacity:.8}}</style>")
    c.html("", page(c.title, c.head, cards_html(c.items), head_extra=dot_style,
                    header_extra='<div class="dot a" id="dot"></div>',
                    script="const dot=document.getElementById('dot');"
                           "dot.addEventListener('animationend',()=>{dot.className="
                           "dot.classList.contains('a')?'dot b':'dot a';});"))
    c.twin(head_extra=dot_style, header_extra='<div class="dot"></div>')

    return cases


class Handler(BaseHTTPRequestHandler):
    routes = {}

    def log_message(self, *args):
        pass

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        if path == "/static/":
            return self.answer(200, "text/html; charset=utf-8", page("Static", "#37474f", cards_html(items_of(0))))
        if path.startswith("/tall/"):
            return self.answer(200, "text/html; charset=utf-8", TALL)
        route = self.routes.get(path)
        if route is None:
            return self.answer(404, "text/plain", b"not found\n")
        if route == "hang":
            return self.hang()
        if route == "events":
            return self.events()
        delay, kind, body = route
        time.sleep(delay)
        self.answer(200, kind, body)

    def answer(self, status, kind, body):
        try:
            self.send_response(status)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            self.wfile.write(body)
        except OSError:
            pass

    def hang(self):
        # Never answered; the thread ends when the browser drops the connection.
        while True:
            readable, _, _ = select.select([self.connection], [], [], 1.0)
            if readable:
                try:
                    if not self.connection.recv(1, socket.MSG_PEEK):
                        return
                except OSError:
                    return

    def events(self):
        try:
            self.send_response(200)
            self.send_header("Content-Type", "text/event-stream")
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            n = 0
            while True:
                self.wfile.write(f"data: {n}\n\n".encode())
                self.wfile.flush()
                n += 1
                time.sleep(1.0)
        except OSError:
            pass


def main():
    font = next((open(f, "rb").read() for f in FONT_FILES if os.path.exists(f)), None)
    if font is None:
        sys.exit("no font file: apt-get install fonts-dejavu-core")
    cases = build_cases(font)
    if sys.argv[1:] == ["--cases"]:
        print("\n".join(c.name for c in cases))
        return
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 0
    for c in cases:
        for sub, route in c.routes.items():
            Handler.routes[f"/{c.name}/{sub}"] = route
    server = ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
