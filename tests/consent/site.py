#!/usr/bin/env python3
"""Pages with consent banners, each beside a twin without its banner, on 127.0.0.1.

    /banner/NAME.html   the page with its banner, there from the start
    /late/NAME.html     the same banner, put in 400 ms after the page loaded
    /twin/NAME.html     the same page without any banner
    /content/NAME.html  a page whose own content comes close to a banner, and is not one
    /blocked/NAME.html  the banner page, whose script stops answering for 3 s from 200 ms after load
    /node_modules/...   the consent libraries installed from package-lock.json

Prints the port it listens on, then serves until killed. The platforms' banners carry
only the element ids and classes the rules engine looks for, styled here.
"""

import http.server
import json
import os
import socketserver
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
LATE_MS = 400

PAGE = """<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>{name}</title>
<style>
body {{ margin: 0; font: 16px/1.5 Arial, sans-serif; color: #222; background: #fff; }}
header {{ background: #1d4e89; color: #fff; padding: 18px 32px; font-size: 26px; }}
main {{ padding: 16px 32px; }}
.tiles {{ display: flex; gap: 16px; margin: 16px 0; }}
.tiles div {{ flex: 1; height: 90px; }}
{style}
</style>{head}</head>
<body>
{top}<header>Northwind Gazette</header>
<main>
<h1>Tide tables for the coming week</h1>
<div class="tiles"><div style="background:#e4572e"></div><div style="background:#29335c"></div>
<div style="background:#f3a712"></div><div style="background:#669bbc"></div></div>
<p>High water at the harbour mouth comes a little later each day. The spring tides of the
weekend bring the lowest ebbs of the month, when the old causeway to the island can be
walked for two hours either side of low water.</p>
<p>The ferry keeps its summer timetable until the end of the month. Boats leave the north
quay on the hour and the island jetty at half past, weather permitting.</p>
<h2>Fishing reports</h2>
<p>Mackerel are running close inshore, and the pier has seen bass in the evenings.</p>
</main>
{body}
</body></html>
"""

LATE = """<script>
addEventListener('load', () => setTimeout(() => {{
    const t = document.createElement('template');
    t.innerHTML = {markup};
    document.body.{put}(t.content);
    {then}
}}, {ms}));
</script>"""

BAR = ("position:fixed;left:0;right:0;bottom:0;background:#f7f7f7;border-top:1px solid #ccc;"
       "padding:16px 24px;z-index:1000;font-size:14px;")
VEIL = "position:fixed;inset:0;background:rgba(0,0,0,.5);z-index:999;"
BOX = ("position:fixed;left:50%;top:50%;transform:translate(-50%,-50%);width:460px;background:#fff;"
       "padding:24px;border-radius:8px;z-index:1001;font-size:14px;")

# Markup, page style, and what to run once it is in the page. Buttons do nothing: no
# platform script is there to answer them.
CASES = {
    "onetrust": dict(
        style="#onetrust-banner-sdk{%s} .onetrust-pc-dark-filter{%s}" % (BAR, VEIL),
        markup="""<div id="onetrust-consent-sdk"><div class="onetrust-pc-dark-filter"></div>
<div id="onetrust-banner-sdk" class="otFlat" role="region" aria-label="Cookie banner">
<div id="onetrust-policy"><p id="onetrust-policy-text">We use cookies to improve your experience
and to show you relevant advertising. You can choose which cookies we may use.</p></div>
<div id="onetrust-button-group"><button id="onetrust-pc-btn-handler">Cookie Settings</button>
<button id="onetrust-reject-all-handler">Reject All</button>
<button id="onetrust-accept-btn-handler">Accept All Cookies</button></div></div></div>"""),
    "didomi": dict(
        style=".didomi-popup-backdrop{%s} #didomi-popup{%s}" % (VEIL, BOX),
        markup="""<div id="didomi-host"><div class="didomi-popup-backdrop"><div class="didomi-popup-container">
<div id="didomi-popup"><div id="didomi-notice" class="didomi-popup-notice">
<h2>Your privacy matters to us</h2><p>We and our partners store and access information on your
device, such as cookies, to measure audiences and personalise content.</p>
<button id="didomi-notice-learn-more-button">Learn more</button>
<button id="didomi-notice-disagree-button">Disagree and close</button>
<button id="didomi-notice-agree-button">Agree and close</button></div></div></div></div></div>"""),
    "quantcast": dict(
        style="#qc-cmp2-container .qc-cmp2-main{%s} #qc-cmp2-ui{%s}" % (VEIL, BOX),
        markup="""<div id="qc-cmp2-container"><div id="qc-cmp2-main" class="qc-cmp2-main">
<div id="qc-cmp2-ui" role="dialog"><h2>We value your privacy</h2><p>We and our partners use
cookies to store and access personal data such as browsing data for purposes such as serving
and personalising content and advertising.</p><div class="qc-cmp2-summary-buttons">
<button mode="secondary">MORE OPTIONS</button><button id="disagree-btn" mode="secondary">DISAGREE</button>
<button mode="primary">AGREE</button></div></div></div></div>"""),
    # A platform's banner in the flow at the top of the page, nothing of it fixed: only the
    # platform's marks tell it from the page.
    "onetrust-inline": dict(
        top=True,
        style="#onetrust-banner-sdk{background:#f7f7f7;border-bottom:1px solid #ccc;padding:16px 24px;font-size:14px}"
              ".onetrust-pc-dark-filter{display:none}",
        markup="""<div id="onetrust-consent-sdk"><div class="onetrust-pc-dark-filter"></div>
<div id="onetrust-banner-sdk" class="otFlat" role="region" aria-label="Cookie banner">
<div id="onetrust-policy"><p id="onetrust-policy-text">We use cookies to improve your experience
and to show you relevant advertising. You can choose which cookies we may use.</p></div>
<div id="onetrust-button-group"><button id="onetrust-pc-btn-handler">Cookie Settings</button>
<button id="onetrust-reject-all-handler">Reject All</button>
<button id="onetrust-accept-btn-handler">Accept All Cookies</button></div></div></div>"""),
    # A site's own banners: a German box in a corner, a French dialog over a veil.
    "own-de": dict(
        style="#hinweis{position:fixed;left:20px;bottom:20px;width:340px;background:#fff;"
              "box-shadow:0 2px 12px rgba(0,0,0,.3);padding:16px;font-size:14px;z-index:50}",
        markup="""<div id="hinweis"><strong>Cookies auf dieser Website</strong><p>Wir verwenden Cookies,
um Inhalte zu personalisieren und die Zugriffe auf unsere Website zu analysieren.</p>
<button type="button">Alle akzeptieren</button> <button type="button">Einstellungen</button></div>"""),
    "own-fr": dict(
        style=".voile{%s} .fenetre{%s}" % (VEIL, BOX),
        markup="""<div class="voile"></div><div class="fenetre"><h2>Vos choix en matière de cookies</h2>
<p>Nous utilisons des cookies pour mesurer l'audience de notre site et vous proposer des contenus
adaptés. Vous pouvez accepter ou refuser ces cookies.</p>
<a href="#" class="bouton">Tout refuser</a> <a href="#" class="bouton">Tout accepter</a></div>"""),
    # Sticky at the foot of the page: a wall across the content's width, taller than a bar
    # at the edge of the view would be; a box held in the bottom corner.
    "own-nl": dict(
        style="#melding{position:sticky;bottom:0;min-height:55vh;box-sizing:border-box;background:#fff;"
              "border-top:3px solid #e0a000;padding:24px 32px;font-size:15px;z-index:20}",
        markup="""<div id="melding"><h2>Wij gebruiken cookies</h2><p>Met cookies meten wij het bezoek aan
onze website en tonen wij inhoud die bij u past. Geeft u toestemming voor het gebruik van uw
persoonsgegevens?</p><button type="button">Alles accepteren</button>
<button type="button">Alles weigeren</button></div>"""),
    "own-es": dict(
        style="#aviso{position:sticky;bottom:16px;width:320px;margin:0 16px 0 auto;background:#fff;"
              "box-shadow:0 2px 12px rgba(0,0,0,.3);padding:16px;font-size:14px;z-index:20}",
        markup="""<div id="aviso"><strong>Usamos cookies</strong><p>Con su consentimiento, usamos cookies
para medir las visitas y mejorar el sitio.</p><button type="button">Aceptar todo</button>
<button type="button">Rechazar todo</button></div>"""),
}

# The page's own content, close to a banner in one way or another: none of it may go.
LONG = " ".join(["Our cookies are baked each morning from butter, flour and a little salt."] * 30)
# A reference of HTTP headers keeps its index beside the text.
HEADERS = "".join('<li><a href="/reference/headers/%s">%s</a></li>' % (h.lower(), h) for h in (
    "Accept", "Accept-Language", "Allow", "Authorization", "Cache-Control", "Cookie", "Host", "Referer",
    "Set-Cookie", "User-Agent"))
HEADERS_NAV = """<nav class="index"><h3>HTTP headers</h3><ul>%s</ul></nav>""" % HEADERS
COLUMNS = ("body{{display:grid;grid-template-columns:{columns};align-items:start}} header{{grid-column:1/-1}}"
           "main{{grid-row:2;grid-column:{main}}}")
INDEX = (COLUMNS.format(columns="200px 1fr", main=2) +
         ".index{grid-row:2;grid-column:1;%s;background:#f2f2f2;padding:8px 16px;font-size:14px}"
         ".index ul{list-style:none;margin:0;padding:0} .index li{margin:2px 0}")
# Writes on the page when a consent rules engine comes into it, before the page's script or after.
ENGINE_SEEN = """<script>
(() => {
    const say = () => {
        const p = document.createElement('p');
        p.textContent = 'A consent rules engine came into this page.';
        p.style.cssText = 'margin:0;padding:24px 32px;background:#c00;color:#fff';
        document.body.prepend(p);
    };
    const seen = () => document.body ? say() : addEventListener('DOMContentLoaded', say);
    if (window.autoconsentStandalone) seen();
    let engine;
    Object.defineProperty(window, 'autoconsentStandalone',
        {configurable: true, get: () => engine, set: (value) => { engine = value; seen(); }});
})();
</script>"""
CONTENT = {
    # Nothing over the page and no platform's marks: no reason to bring in the rules engine.
    "plain": dict(style="", head=ENGINE_SEEN, markup=""),
    # Pinned, and speaks of privacy and cookies, but offers no consent choice.
    "sticky-nav": dict(
        top=True,
        style="nav{position:sticky;top:0;background:#333;color:#fff;padding:10px 32px;z-index:5}"
              "nav a{color:#fff;margin-right:16px}",
        markup="""<nav><a href="#">Home</a> <a href="#">Privacy</a> <a href="#">Cookie policy</a>
<button type="button">Sign in</button></nav>"""),
    # A newsletter dialog that respects your privacy: its buttons are no consent choice.
    "newsletter": dict(
        style=".veil{%s} .dialog{%s}" % ("position:fixed;inset:0;background:rgba(0,0,0,.4);z-index:9;",
                                         "position:fixed;left:50%;top:40%;transform:translate(-50%,-50%);"
                                         "width:420px;background:#fff;padding:20px;z-index:10;"),
        markup="""<div class="veil"></div><div class="dialog"><h2>Get the tide tables by e-mail</h2>
<p>One message a week. We respect your privacy and never share your address.</p>
<button type="button">Subscribe</button> <button type="button">No thanks</button></div>"""),
    # A chat box in the corner.
    "chat": dict(
        style="#chat{position:fixed;right:16px;bottom:16px;width:260px;background:#0a7;color:#fff;padding:12px}",
        markup="""<div id="chat">Questions about your booking? We are here to help.
<button type="button">Chat now</button></div>"""),
    # A whole page in a fixed frame, about cookies of the other kind, with an "OK" of its own.
    "app-shell": dict(
        style="#app{position:fixed;inset:0;overflow:auto;background:#fffaf0;padding:24px 32px;z-index:1}",
        markup="""<div id="app"><h1>Cookies</h1><p>%s</p><form><button type="button">OK</button></form></div>""" % LONG),
    # The index of a reference of HTTP headers, whose links read Accept, Allow, Cookie: sticky
    # beside the text as it scrolls, or fixed at the side of the view.
    "headers-sticky": dict(style=INDEX % "position:sticky;top:0", markup=HEADERS_NAV),
    "headers-fixed": dict(style=INDEX % "position:fixed;left:0;top:80px;width:168px",
                          markup=HEADERS_NAV),
    # A privacy settings page whose choices stay in view beside its text: sticky, not over it.
    "settings-aside": dict(
        style=COLUMNS.format(columns="1fr 260px", main=1) +
              "aside{grid-row:2;grid-column:2;position:sticky;top:0;margin:16px;padding:16px;background:#f2f2f2;"
              "font-size:14px}",
        markup="""<aside><h2>Your privacy settings</h2><p>Choose which cookies this site may set.</p>
<label><input type="checkbox" checked> Necessary</label> <label><input type="checkbox"> Statistics</label>
<p><button type="button">Reject all</button> <button type="button">Accept all</button></p></aside>"""),
    # A privacy settings page: the choices are its content, in the flow of the page.
    "privacy-settings": dict(
        style="",
        markup="""<section><h2>Your privacy settings</h2><p>Choose which cookies this site may set.</p>
<label><input type="checkbox" checked> Necessary</label> <label><input type="checkbox"> Statistics</label>
<button type="button">Reject all</button> <button type="button">Accept all</button></section>"""),
}

# Consent libraries that sites embed: what to load, and the call that shows the banner. Each
# page keeps the choice in a cookie of its own (@STORE@), so that a banner answered on one
# page still shows on the next page a capture view loads.
CC_TEXT = {
    "consentModal": {"title": "We use cookies", "description": "Some cookies help us count visits.",
                     "acceptAllBtn": "Accept all", "acceptNecessaryBtn": "Reject all",
                     "showPreferencesBtn": "Manage preferences"},
    "preferencesModal": {"title": "Cookie preferences", "acceptAllBtn": "Accept all",
                         "acceptNecessaryBtn": "Reject all", "savePreferencesBtn": "Save",
                         "sections": [{"title": "Analytics", "linkedCategory": "analytics"}]},
}
LIBRARIES = {
    "vanilla-cookieconsent": dict(
        head='<link rel="stylesheet" href="/node_modules/vanilla-cookieconsent/dist/cookieconsent.css">'
             '<script src="/node_modules/vanilla-cookieconsent/dist/cookieconsent.umd.js"></script>',
        show="CookieConsent.run({cookie:{name:'@STORE@'},categories:{necessary:{enabled:true,readOnly:true},analytics:{}},"
             "language:{default:'en',translations:{en:%s}}});" % json.dumps(CC_TEXT)),
    "klaro": dict(
        head="<script>window.klaroConfig={elementID:'klaro',storageMethod:'cookie',cookieName:'@STORE@',mustConsent:false,"
             "acceptAll:true,hideDeclineAll:false,"
             "services:[{name:'stats',title:'Visitor statistics',purposes:['analytics']}]};</script>",
        # It sets itself up from klaroConfig as it loads.
        show="const s=document.createElement('script');s.src='/node_modules/klaro/dist/klaro.js';"
             "document.head.appendChild(s);"),
    "tarteaucitron": dict(
        head='<script src="/node_modules/tarteaucitronjs/tarteaucitron.js"></script>',
        show="tarteaucitron.init({cookieName:'@STORE@',privacyUrl:'',orientation:'bottom',showAlertSmall:false,showIcon:false,"
             "cookieslist:false,DenyAllCta:true,AcceptAllCta:true,highPrivacy:true,mandatory:false,"
             "mandatoryCta:false,useExternalCss:false});"
             "(tarteaucitron.job=tarteaucitron.job||[]).push('gtag');"),
}


def page(name, kind):
    if kind == "content":
        content = CONTENT[name]
        top = content["markup"] if content.get("top") else ""
        body = "" if top else content["markup"]
        return PAGE.format(name=name, style=content["style"], head=content.get("head", ""), top=top, body=body)
    if name in CASES:
        case = CASES[name]
        if kind == "twin":
            return PAGE.format(name=name, top="", style=case["style"], head="", body="")
        if kind == "banner" and case.get("top"):
            return PAGE.format(name=name, top=case["markup"], style=case["style"], head="", body="")
        if kind == "banner":
            return PAGE.format(name=name, top="", style=case["style"], head="", body=case["markup"])
        if kind == "blocked":
            return PAGE.format(name=name, top="", style=case["style"], head="", body=case["markup"] + BLOCK)
        put = "prepend" if case.get("top") else "appendChild"
        late = LATE.format(markup=js_string(case["markup"]), then="", ms=LATE_MS, put=put)
        return PAGE.format(name=name, top="", style=case["style"], head="", body=late)
    lib = LIBRARIES[name]
    if kind == "twin":
        return PAGE.format(name=name, top="", style="", head="", body="")
    if kind == "banner":
        show = "<script>addEventListener('DOMContentLoaded', () => { %s });</script>" % lib["show"]
    else:
        show = "<script>addEventListener('load', () => setTimeout(() => { %s }, %d));</script>" % (
            lib["show"], LATE_MS)
    store = "consent-" + kind
    return PAGE.format(name=name, top="", style="", head=lib["head"], body=show).replace("@STORE@", store)


BLOCK = """<script>
addEventListener('load', () => setTimeout(() => {
    const end = Date.now() + 3000;
    while (Date.now() < end) {}
}, 200));
</script>"""


def js_string(text):
    return "'" + text.replace("\\", "\\\\").replace("'", "\\'").replace("\n", "\\n") + "'"


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=HERE, **kwargs)

    def do_GET(self):
        parts = self.path.split("?")[0].strip("/").split("/")
        if len(parts) == 2 and parts[1].endswith(".html"):
            name = parts[1][: -len(".html")]
            known = name in CONTENT if parts[0] == "content" else (
                (parts[0] in ("banner", "late", "twin") and (name in CASES or name in LIBRARIES))
                or (parts[0] == "blocked" and name in CASES))
            if known:
                body = page(name, parts[0]).encode("utf-8")
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
                return
        if parts[0] != "node_modules":
            self.send_error(404)
            return
        super().do_GET()

    def log_message(self, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    with Server(("127.0.0.1", 0), Handler) as server:
        print(server.server_address[1], flush=True)
        server.serve_forever()


if __name__ == "__main__":
    main()
