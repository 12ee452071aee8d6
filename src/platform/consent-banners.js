// Keeps consent banners out of a capture: those the rules engine leaves on screen, and those
// of a site's own making. Does nothing by itself; each settle poll calls poll(), which looks
// at what is on screen now and answers "busy", "opted-out", "hidden" or "", or "engine" once,
// when the page first shows something a banner could be: the rules engine is brought in
// then, and tame() called as soon as it is in.
(() => {
    'use strict';
    if (window.__thumbrixConsent) return;

    // A banner we see waits this long for the rules engine to find it first.
    const GRACE_MS = 1000;
    // The longest the rules engine may work on a banner before we hide what is left.
    const WORK_MS = 3000;
    // A banner that was answered may take this long to fade out.
    const CLOSE_MS = 800;
    // A banner says little; a box with more text than this is the page's own content.
    const MAX_TEXT = 1500;
    const MARK = 'data-thumbrix-consent-hidden';
    // The bands at the top and bottom of the view where a sticky bar counts as over the page.
    const EDGE = 0.1;

    const TOPIC = new RegExp(
        [
            '\\bcookies?\\b', '\\bconsent', '\\bprivacy\\b', '\\bgdpr\\b',
            'datenschutz', 'einwilligung', 'zustimmung', 'privatsphäre',
            'consentement', 'confidentialité', 'vie privée', 'traceurs',
            'consentimiento', 'privacidad',
            'consenso', 'riservatezza',
            'toestemming', 'persoonsgegevens',
        ].join('|'),
        'i',
    );
    // The labels of a consent choice, matched against a whole button label.
    const CHOICE = new RegExp(
        '^(?:' +
            [
                // en
                '(?:i )?accept(?: all| all cookies| cookies)?', '(?:i )?agree', 'allow(?: all)?(?: cookies)?', 'ok(?:ay)?',
                'got it', 'understood', 'reject(?: all)?(?: cookies)?', 'decline(?: all)?', 'deny(?: all)?',
                'refuse(?: all)?', '(?:only |use )?(?:strictly )?necessary(?: cookies)?(?: only)?',
                'continue without accepting',
                // de
                '(?:alle )?akzeptieren', '(?:alle )?(?:cookies )?zulassen', 'zustimmen', 'einverstanden',
                '(?:alle )?ablehnen', 'verstanden', 'nur notwendige(?: cookies)?', 'ich stimme zu',
                // fr
                "(?:tout )?accepter(?: tout)?", "j'accepte", "(?:tout )?refuser(?: tout)?", "d'accord",
                'continuer sans accepter', "j'ai compris",
                // es
                'aceptar(?: todo| todas| cookies)?', 'acepto', 'rechazar(?: todo| todas)?', 'de acuerdo', 'entendido',
                'permitir(?: todas)?',
                // it
                'accett(?:a|o)(?: tutt[oi])?', 'rifiut(?:a|o)(?: tutt[oi])?', 'ho capito', 'consenti(?: tutt[oi])?',
                // nl
                '(?:alles )?accepteren', '(?:alles )?weigeren', 'akkoord', 'begrepen', '(?:alles )?toestaan',
            ].join('|') +
            ')[.!]?$',
        'i',
    );
    const BUTTONS = 'button,input[type=button],input[type=submit],[role=button],a';

    let firstSeenAt = 0; // when our own check first saw a banner
    let workingSince = 0; // when the rules engine started on a banner
    let finishedAt = 0; // when the rules engine finished
    const hidden = [];
    let settled = '';
    let engineAsked = false;
    const tamed = new WeakSet();

    // What the consent platforms leave in a page before or without a floating box: their
    // APIs, and the roots they draw their banners in.
    const PLATFORM_APIS = ['__tcfapi', '__gpp', '__uspapi', '__cmp', 'Cookiebot', 'OneTrust', 'Didomi', 'UC_UI', '_sp_'];
    const PLATFORM_IDS = [
        'onetrust-consent-sdk', 'CybotCookiebotDialog', 'didomi-host', 'qc-cmp2-container', 'usercentrics-root',
        'truste-consent-track', 'consent_blackbar', 'BorlabsCookieBox', 'cmplz-cookiebanner-container',
        'iubenda-cs-banner', 'axeptio_overlay', 'cookiescript_injected', 'tarteaucitronRoot', 'klaro', 'cc-main',
        'cookie-law-info-bar', 'CookieConsent', 'sd-cmp',
    ];
    const PLATFORM_CLASSES = ['fc-consent-root', 'cky-consent-container', 'osano-cm-window', 'cc-window'];

    function engine() {
        const ac = window.autoconsentStandalone;
        return ac && ac.instance ? ac : null;
    }

    // Splits a selector list at its top-level commas.
    function selectors(list) {
        const out = [];
        let depth = 0;
        let start = 0;
        for (let i = 0; i < list.length; ++i) {
            const ch = list[i];
            if (ch === '(' || ch === '[') ++depth;
            else if (ch === ')' || ch === ']') --depth;
            else if (ch === ',' && depth === 0) {
                out.push(list.slice(start, i));
                start = i + 1;
            }
        }
        out.push(list.slice(start));
        return out.map((s) => s.trim()).filter((s) => s);
    }

    // An animation that does nothing, given to whatever the prehide rules hold back: its
    // animationstart names each such element as the style engine matches it, where asking
    // for every prehide selector at each poll would cost tens of milliseconds on a long page.
    const HELD = '__thumbrix-held';
    const held = new Set();
    addEventListener(
        'animationstart',
        (e) => {
            if (e.animationName !== HELD) return;
            held.add(e.target);
            e.stopImmediatePropagation();
        },
        true,
    );

    function addKeyframes() {
        const parent = document.head || document.documentElement;
        if (!parent || document.getElementById(HELD)) return;
        const style = document.createElement('style');
        style.id = HELD;
        style.textContent = '@keyframes ' + HELD + ' { from { opacity: 0 } to { opacity: 0 } }';
        parent.appendChild(style);
    }

    // This engine's Chromium knows no :has(), and a single selector it does not know drops a
    // whole rule: the rules engine's prehide rule, one list of every platform's selectors,
    // would hide nothing. One rule per selector loses only those it cannot read.
    function splitRules(id, extra) {
        const style = document.getElementById(id);
        if (!style || style.__thumbrixSplit === style.textContent) return;
        const text = style.textContent.replace(/([^{}]+)\{([^{}]*)\}/g, (rule, list, body) => {
            const declarations = body.includes(HELD) ? body : body + extra;
            return selectors(list).map((s) => s + ' {' + declarations + '} ').join('');
        });
        style.textContent = text;
        style.__thumbrixSplit = text;
        if (extra) addKeyframes();
    }

    // The rules engine acts on its own: it should only ever decline. A banner that offers
    // nothing to decline is ours to hide; it should not be accepted on the user's behalf.
    function tameEngine() {
        const ac = engine();
        if (!ac || tamed.has(ac.instance)) return;
        tamed.add(ac.instance);
        try {
            const config = ac.instance.config;
            config.heuristicMode = 'reject';
            for (const key of Object.keys(config.logs)) config.logs[key] = false;
            const actions = ac.instance.domActions;
            const rules = [
                ['prehide', 'autoconsent-prehide', ' animation: ' + HELD + ' 1ms 1 !important;'],
                ['hide', 'autoconsent-css-rules', ''],
            ];
            for (const [name, id, extra] of rules) {
                const original = actions[name].bind(actions);
                actions[name] = (...args) => {
                    const result = original(...args);
                    splitRules(id, extra);
                    return result;
                };
                splitRules(id, extra);
            }
        } catch (e) {
            // Not initialised: it has nothing to do on this page.
        }
    }

    // Whether the rules engine's prehide rules hold back something that takes up room: a
    // banner it has not yet confirmed.
    function prehidden() {
        if (!document.getElementById('autoconsent-prehide')) {
            held.clear();
            return false;
        }
        // Those the style engine matched since the last frame have not started yet: at the
        // load event, a capture that does not settle asks before they do.
        for (const a of document.getAnimations()) if (a.animationName === HELD && a.effect) held.add(a.effect.target);
        for (const el of held) {
            if (!el.isConnected) held.delete(el);
            else if (takesRoom(el)) return true;
        }
        return false;
    }

    // A platform's outer box is often empty in itself, with its banner fixed inside.
    function takesRoom(el) {
        const roomy = (e) => {
            const r = e.getBoundingClientRect();
            return r.width > 0 && r.height > 0;
        };
        if (roomy(el)) return true;
        const inner = el.getElementsByTagName('*');
        for (let i = 0; i < inner.length && i < 40; ++i) if (roomy(inner[i])) return true;
        return false;
    }

    function enginePhase(ac) {
        if (!ac) return 'none';
        switch (ac.instance.state.lifecycle) {
        case 'openPopupDetected':
        case 'runningOptOut':
        case 'runningOptIn':
            return 'working';
        case 'done':
        case 'optOutSucceeded':
        case 'optOutFailed':
        case 'optInSucceeded':
        case 'optInFailed':
            return 'finished';
        case 'nothingDetected':
            return 'none';
        default:
            return 'searching';
        }
    }

    function viewport() {
        const d = document.documentElement;
        return { w: (d && d.clientWidth) || innerWidth, h: (d && d.clientHeight) || innerHeight };
    }

    function shown(el) {
        for (let e = el; e && e.nodeType === 1; e = e.parentElement) {
            const s = getComputedStyle(e);
            if (s.display === 'none' || Number(s.opacity) < 0.05) return false;
            if (e === el && s.visibility !== 'visible') return false;
        }
        return true;
    }

    // What is painted on top somewhere in the viewport: the first few elements at each
    // point of a grid fine enough to land on any banner; with `topOnly`, the first alone.
    function onScreen(vp, topOnly) {
        const found = new Set();
        const fractions = [0.02, 0.12, 0.3, 0.5, 0.7, 0.88, 0.98];
        for (const fy of fractions) {
            for (const fx of fractions) {
                if (topOnly) {
                    const top = document.elementFromPoint(fx * vp.w, fy * vp.h);
                    if (top) found.add(top);
                    continue;
                }
                const stack = document.elementsFromPoint(fx * vp.w, fy * vp.h);
                for (let i = 0; i < stack.length && i < 6; ++i) found.add(stack[i]);
            }
        }
        return found;
    }

    // The nearest fixed or sticky element at or above each element on screen.
    function pinnedBoxes(elements) {
        const boxes = new Set();
        const seen = new Set();
        for (const start of elements) {
            for (let e = start; e && e.nodeType === 1 && e !== document.body && e !== document.documentElement;
                e = e.parentElement) {
                if (seen.has(e)) break;
                seen.add(e);
                const position = getComputedStyle(e).position;
                if (position === 'fixed' || position === 'sticky') {
                    boxes.add(e);
                    break;
                }
            }
        }
        return boxes;
    }

    function area(r, vp) {
        const w = Math.min(r.right, vp.w) - Math.max(r.left, 0);
        const h = Math.min(r.bottom, vp.h) - Math.max(r.top, 0);
        return w > 0 && h > 0 ? w * h : 0;
    }

    function placedLikeBanner(r, vp) {
        const ex = vp.w * 0.1;
        const ey = vp.h * 0.1;
        if (r.top <= ey || r.bottom >= vp.h - ey || r.left <= ex || r.right >= vp.w - ex) return true;
        const cx = (r.left + r.right) / 2;
        const cy = (r.top + r.bottom) / 2;
        return Math.abs(cx - vp.w / 2) < vp.w * 0.2 && Math.abs(cy - vp.h / 2) < vp.h * 0.25;
    }

    function label(el) {
        const text = el.tagName === 'INPUT' ? el.value : el.innerText || el.getAttribute('aria-label') || '';
        return text.replace(/[\s\u00a0]+/g, ' ').replace(/[×✕✖❯›»]/g, '').trim();
    }

    // A link that takes the reader to another page, or to a place in this one, is the page's
    // navigation: a reference's list of header names reads "Accept", "Allow", "Cookie".
    function leads(link) {
        if (link.getAttribute('role') === 'button') return false;
        const href = (link.getAttribute('href') || '').trim();
        if (href === '' || href === '#' || /^javascript:/i.test(href)) return false;
        let target;
        try {
            target = new URL(href, document.baseURI);
        } catch (e) {
            return true;
        }
        const here = new URL(location.href);
        if (target.origin + target.pathname + target.search !== here.origin + here.pathname + here.search) return true;
        let name = target.hash.slice(1);
        try {
            name = decodeURIComponent(name);
        } catch (e) {
            // Not escaped: the name as written.
        }
        return name !== '' && (document.getElementById(name) !== null || document.getElementsByName(name).length > 0);
    }

    function offersChoice(box) {
        for (const b of box.querySelectorAll(BUTTONS)) {
            const text = label(b);
            if (text.length > 0 && text.length <= 40 && CHOICE.test(text) && !(b.tagName === 'A' && leads(b)))
                return true;
        }
        return false;
    }

    // Over the page rather than in it: fixed, or sticky and either as wide as the page's
    // content or held at the top or bottom edge of the view. A sticky column beside the text
    // is the page's own.
    function floats(box, r, vp) {
        const position = getComputedStyle(box).position;
        if (position === 'fixed') return true;
        if (position !== 'sticky') return false;
        const body = document.body.getBoundingClientRect();
        const content = Math.min(body.right, vp.w) - Math.max(body.left, 0);
        if (r.width >= content * 0.9) return true;
        return r.height <= vp.h / 2 && (r.top <= vp.h * EDGE || r.bottom >= vp.h * (1 - EDGE));
    }

    // A platform's mark, or a box over the page where a banner goes: reason enough to bring
    // in the rules engine, whose hundreds of rules would cost every other page its time.
    function platformMarked() {
        for (const name of PLATFORM_APIS) if (typeof window[name] !== 'undefined') return true;
        for (const id of PLATFORM_IDS) if (document.getElementById(id)) return true;
        for (const name of PLATFORM_CLASSES) if (document.getElementsByClassName(name).length > 0) return true;
        return false;
    }

    function mayBeBanner(boxes, vp) {
        for (const box of boxes) {
            const r = box.getBoundingClientRect();
            if (area(r, vp) >= 400 && placedLikeBanner(r, vp) && floats(box, r, vp) && shown(box)) return true;
        }
        return false;
    }

    function wantsEngine(boxes, vp) {
        if (engineAsked) return false;
        try {
            if (!platformMarked() && !mayBeBanner(boxes, vp)) return false;
        } catch (e) {
            // A page that throws at the question has its banner looked for the long way.
        }
        engineAsked = true;
        return true;
    }

    function isBanner(box, vp) {
        if (box.hasAttribute(MARK) || !shown(box)) return false;
        const r = box.getBoundingClientRect();
        const a = area(r, vp);
        if (a < 400 || !placedLikeBanner(r, vp) || !floats(box, r, vp)) return false;
        if (box.textContent.length > MAX_TEXT * 8) return false;
        const text = box.innerText || '';
        if (text.length > MAX_TEXT || !TOPIC.test(text)) return false;
        return offersChoice(box);
    }

    // A fixed veil over most of the viewport, with nothing of its own to show.
    function isBackdrop(box, vp) {
        if (box.hasAttribute(MARK) || !shown(box)) return false;
        if (area(box.getBoundingClientRect(), vp) < vp.w * vp.h * 0.8) return false;
        if (getComputedStyle(box).position !== 'fixed') return false;
        if ((box.innerText || '').trim() !== '' || box.querySelector('img,svg,video,canvas,iframe,picture,object,embed'))
            return false;
        const s = getComputedStyle(box);
        if (s.backgroundImage !== 'none') return false;
        const alpha = /rgba\([^)]*,\s*([\d.]+)\)/.exec(s.backgroundColor);
        const translucent = alpha ? Number(alpha[1]) > 0 && Number(alpha[1]) < 1 : Number(s.opacity) < 1;
        const blurs = (s.backdropFilter || s.webkitBackdropFilter || 'none') !== 'none';
        return translucent || blurs;
    }

    function hide(el) {
        el.setAttribute(MARK, '');
        el.style.setProperty('display', 'none', 'important');
        hidden.push(el);
    }

    // A page may show its banner again by rewriting its style.
    function keepHidden() {
        for (const el of hidden)
            if (el.style.getPropertyValue('display') !== 'none' || el.style.getPropertyPriority('display') !== 'important')
                el.style.setProperty('display', 'none', 'important');
    }

    // The rules engine's own idea of where its platform's banner is.
    function engineLeftovers(ac, elements) {
        const cmp = ac && ac.instance.foundCmp;
        if (!cmp) return [];
        const left = new Set();
        let selectors = [];
        try {
            selectors = (cmp.prehideSelectors || []).filter((s) => s);
        } catch (e) {
            selectors = [];
        }
        const popups = (cmp.popups || []).map((p) => p.element).filter((e) => e);
        for (const el of elements) {
            for (const s of selectors) {
                let hit = null;
                try {
                    hit = el.closest(s);
                } catch (e) {
                    hit = null;
                }
                if (hit && hit !== document.body && hit !== document.documentElement) left.add(hit);
            }
            for (const p of popups) if (p.contains(el)) left.add(p);
        }
        return [...left].filter(
            (el) => !el.hasAttribute(MARK) && shown(el) && (el.innerText || '').length <= MAX_TEXT * 2,
        );
    }

    function poll() {
        if (!document.documentElement || !document.body) return '';
        const now = performance.now();
        const vp = viewport();
        if (vp.w <= 0 || vp.h <= 0) return settled;
        keepHidden();
        const ac = engine();
        const phase = enginePhase(ac);

        if (phase === 'searching' && prehidden()) {
            if (!firstSeenAt) firstSeenAt = now;
            if (now - firstSeenAt < GRACE_MS) return 'busy';
            // Not confirmed in time: what it holds back shows again, for our own check to
            // judge, so nothing but a banner is ever left out of the picture.
            try {
                ac.instance.undoPrehide();
            } catch (e) {
                return settled;
            }
            return 'busy';
        }
        if (phase === 'working') {
            if (!workingSince) workingSince = now;
            if (now - workingSince < WORK_MS) return 'busy';
        }
        if (phase === 'finished' && !finishedAt) finishedAt = now;

        // Most pages float nothing: the top of each point says so at a third of the cost of
        // looking under it.
        let elements = onScreen(vp, !ac && hidden.length === 0);
        let boxes = pinnedBoxes(elements);
        if (!ac && hidden.length === 0 && boxes.size > 0) {
            elements = onScreen(vp, false);
            boxes = pinnedBoxes(elements);
        }
        if (!ac && wantsEngine(boxes, vp)) return 'engine';
        const banners = [...boxes].filter((b) => isBanner(b, vp));
        if (banners.length > 0 && !firstSeenAt) firstSeenAt = now;
        const leftovers = phase === 'searching' ? [] : engineLeftovers(ac, elements);
        const toHide = [...new Set([...banners, ...leftovers])];
        if (toHide.length > 0) {
            const waiting =
                (phase === 'searching' && now - firstSeenAt < GRACE_MS) ||
                (phase === 'finished' && now - finishedAt < CLOSE_MS);
            if (waiting) return 'busy';
            toHide.forEach(hide);
        }
        if (hidden.length > 0) for (const b of boxes) if (isBackdrop(b, vp)) hide(b);

        if (hidden.length > 0) {
            settled = 'hidden';
        } else if (phase === 'finished') {
            const result = ac.messages.filter((m) => m.type === 'optOutResult').pop();
            const done = ac.messages.filter((m) => m.type === 'autoconsentDone').pop();
            if (done && done.isCosmetic) settled = 'hidden';
            else if (result && result.result) settled = 'opted-out';
        }
        return settled;
    }

    Object.defineProperty(window, '__thumbrixConsent', {
        value: Object.freeze({ poll, tame: tameEngine }),
        writable: false,
        configurable: false,
        enumerable: false,
    });
})();
