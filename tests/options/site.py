"""Pages that turn green only when a capture option did its job, for TestCaptureOptions.

Usage: site.py LOG_FILE [CERT KEY]. Prints four ports on its first line: the plain site, a
proxy that alone knows the host thumbrix-proxy.test, another origin that serves the same
pages (the site's pages load parts of it), and (with CERT and KEY) an HTTPS twin of the site.
Every request they see goes to LOG_FILE as one JSON line.
"""
import base64
import hashlib
import http.server
import json
import ssl
import sys
import threading
import time

LOG = open(sys.argv[1], 'a', buffering=1)
LOCK = threading.Lock()

RED = '#ff0000'
GREEN = '#00ff00'


def page(colour, head='', body=''):
    return ('<!DOCTYPE html><html><head><style>html,body{margin:0;height:100%%;background:%s}</style>%s</head>'
            '<body>%s</body></html>' % (colour, head, body))


def turns_green(condition):
    # The script runs at once, so the page is settled at its load event.
    return page(RED, '<style>.ok,.ok body{background:%s}</style>'
                     '<script>if (%s) document.documentElement.className = "ok"</script>' % (GREEN, condition))


PAGES = {
    '/plain': page(GREEN),
    '/dpr': page(RED, '<style>@media (min-resolution: 2dppx){html,body{background:%s}}</style>' % GREEN),
    '/dark': page(RED, '<style>@media (prefers-color-scheme: dark){html,body{background:%s}}</style>' % GREEN),
    '/light': page(RED, '<style>@media (prefers-color-scheme: light){html,body{background:%s}}</style>' % GREEN),
    '/motion': page(RED, '<style>@media (prefers-reduced-motion: reduce){html,body{background:%s}}</style>' % GREEN),
    '/cover': page(GREEN, body='<div id="cover" style="position:fixed;inset:0;background:%s"></div>'
                               '<div class="also" style="position:fixed;inset:0;background:%s"></div>'
                               '<div id="unseen" style="visibility:hidden;height:10px">unseen</div>' % (RED, RED)),
    '/agent': turns_green('navigator.userAgent.indexOf("ThumbrixProbe/1") >= 0'),
    '/styled': page(RED),
    '/scripted': page(RED),
    # Later than a short timer, so settling alone does not wait for it.
    '/waited': page(RED, '<script>setTimeout(() => document.documentElement.style.background = '
                         'document.body.style.background = "%s", 2500)</script>' % GREEN),
    # Green, and a flag and an element that say so, 2.5 s after load.
    '/later': page(RED, '<script>setTimeout(() => { document.documentElement.style.background = '
                        'document.body.style.background = "%s"; window.ready = true; '
                        'const e = document.createElement("div"); e.id = "ready"; e.style.height = "1px"; '
                        'document.body.appendChild(e) }, 2500)</script>' % GREEN),
    # 3000 CSS pixels of 600 px bands under a fixed 40 px bar; the last band is a lazy image.
    '/bands': ('<!DOCTYPE html><html><head><style>body{margin:0}div{height:600px}'
               '#bar{position:fixed;top:0;left:0;right:0;height:40px;background:#000000}'
               'img{display:block;width:100%;height:600px}</style></head><body><div id="bar"></div>'
               '<div style="background:#ff0000"></div><div style="background:#00ff00"></div>'
               '<div style="background:#0000ff"></div><div style="background:#ffff00"></div>'
               '<img loading="lazy" src="/magenta.svg"></body></html>'),
    # Green once an answer that takes 1.8 s has come: settling waits for it (not yet long-lived).
    '/fetched': page(RED, '<script>fetch("/slow-colour").then(r => r.text()).then(c => '
                          'document.documentElement.style.background = document.body.style.background = c)</script>'),
    '/cookies': page(GREEN),
    '/only/here': page(GREEN),
    '/headers': page(GREEN),
}

USER, PASSWORD, REALM = 'ann', 'se:cret', 'thumbrix'


# The other origin's port, for the pages that reach it.
ELSEWHERE = {}


def reaching(colour):
    # A frame, an image and a fetch from the other origin, each of which asks for credentials.
    other = 'http://127.0.0.1:%d' % ELSEWHERE['port']
    return page(colour, body='<div style="position:absolute;left:40px;top:40px"><iframe src="%s/basic?frame" '
                             'style="width:100px;height:60px"></iframe><img src="%s/basic?image"></div>'
                             '<script>fetch("%s/basic?fetch", {credentials: "include"}).catch(() => {})</script>'
                             % (other, other, other))


def log(kind, handler):
    with LOCK:
        LOG.write(json.dumps({'server': kind, 'path': handler.path,
                              'headers': {k.lower(): v for k, v in handler.headers.items()}}) + '\n')


def digest_ok(header, method):
    if not header.startswith('Digest '):
        return False
    fields = {}
    for part in header[7:].split(','):
        key, _, value = part.strip().partition('=')
        fields[key] = value.strip('"')
    ha1 = hashlib.md5(('%s:%s:%s' % (USER, REALM, PASSWORD)).encode()).hexdigest()
    ha2 = hashlib.md5(('%s:%s' % (method, fields.get('uri', ''))).encode()).hexdigest()
    if fields.get('qop'):
        expected = hashlib.md5(('%s:%s:%s:%s:%s:%s' % (ha1, fields.get('nonce'), fields.get('nc'), fields.get('cnonce'),
                                                       fields.get('qop'), ha2)).encode()).hexdigest()
    else:
        expected = hashlib.md5(('%s:%s:%s' % (ha1, fields.get('nonce'), ha2)).encode()).hexdigest()
    return fields.get('username') == USER and fields.get('response') == expected


class Site(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    KIND = 'site'

    def log_message(self, *args):
        pass

    def send(self, status, body, extra=()):
        data = body.encode()
        self.send_response(status)
        self.send_header('Content-Type', 'text/html; charset=utf-8')
        self.send_header('Content-Length', str(len(data)))
        self.send_header('Cache-Control', 'no-store')
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        log(self.KIND, self)
        path = self.path.split('?')[0]
        other = 'http://127.0.0.1:%d' % ELSEWHERE['port']
        if path in ('/basic', '/guarded'):
            expected = 'Basic ' + base64.b64encode(('%s:%s' % (USER, PASSWORD)).encode()).decode()
            if self.headers.get('Authorization') == expected:
                self.send(200, page(GREEN) if path == '/basic' else reaching(GREEN))
            else:
                self.send(401, page(RED), [('WWW-Authenticate', 'Basic realm="%s"' % REALM)])
        elif path == '/digest':
            if digest_ok(self.headers.get('Authorization', ''), 'GET'):
                self.send(200, page(GREEN))
            else:
                self.send(401, page(RED), [('WWW-Authenticate', 'Digest realm="%s", qop="auth", nonce="5f1c9a", '
                                                                'algorithm=MD5' % REALM)])
        elif path == '/magenta.svg':
            data = b'<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"><rect width="8" height="8" fill="#ff00ff"/></svg>'
            self.send_response(200)
            self.send_header('Content-Type', 'image/svg+xml')
            self.send_header('Content-Length', str(len(data)))
            self.end_headers()
            self.wfile.write(data)
        elif path == '/slow-colour':
            time.sleep(1.8)
            self.send(200, GREEN)
        elif path == '/reaching':
            self.send(200, reaching(GREEN))
        elif path == '/hop':
            # To the given path: "/x" on this origin, "elsewhere/x" on the other.
            target = self.path.split('?', 1)[1]
            if target.startswith('elsewhere/'):
                target = other + target[len('elsewhere'):]
            self.send(302, page(RED), [('Location', target)])
        elif path in PAGES:
            self.send(200, PAGES[path])
        else:
            self.send(404, page(RED))


class Elsewhere(Site):
    KIND = 'elsewhere'


class Proxy(Site):
    """Answers for thumbrix-proxy.test, a host no resolver knows; asks for credentials when told to."""

    def do_GET(self):
        log('proxy', self)
        if self.path.startswith('http://thumbrix-proxy-auth.test/'):
            expected = 'Basic ' + base64.b64encode(('%s:%s' % (USER, PASSWORD)).encode()).decode()
            if self.headers.get('Proxy-Authorization') != expected:
                self.send(407, page(RED), [('Proxy-Authenticate', 'Basic realm="%s"' % REALM)])
                return
            self.send(200, page(GREEN))
        elif self.path.startswith('http://thumbrix-proxy.test/'):
            self.send(200, page(GREEN))
        else:
            self.send(502, page(RED))


def serve(handler, context=None):
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
    if context:
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    ELSEWHERE['port'] = serve(Elsewhere)
    ports = [serve(Site), serve(Proxy), ELSEWHERE['port']]
    if len(sys.argv) > 3:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[2], sys.argv[3])
        ports.append(serve(Site, context))
    print(' '.join(map(str, ports)), flush=True)
    threading.Event().wait()


if __name__ == '__main__':
    main()
