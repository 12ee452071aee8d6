// Keeps count of what the page is still waiting for, so that the capture can wait for it
// too. It runs in the page's own world before any of the page's scripts, the only place
// that sees the page's fetch, XMLHttpRequest and timers.
(() => {
    'use strict';
    if (window.__thumbrixSettle) return;
    const SHORT_TIMER_MS = %SHORT_TIMER_MS%;
    const LONG_LIVED_MS = %LONG_LIVED_MS%;
    const OBSERVER_DUE_MS = 500;
    // A page never idle still gets its idle callback after this long.
    const IDLE_DUE_MS = 500;

    const now = () => performance.now();
    let loaded = document.readyState === 'complete';
    // When the last awaited thing ended. What ends before the load event is covered by it.
    let lastEnd = -Infinity;
    const ended = () => {
        if (loaded) lastEnd = now();
    };
    // What the page starts in the frames right after its load event (a class added in the
    // first animation frame, a transition from a 0 ms timer) is not running yet when the
    // load event ends: until two frames and an idle moment after them have passed, the
    // page is still starting.
    let starting = true;
    const nativeFrame = window.requestAnimationFrame;
    const nativeIdle = window.requestIdleCallback;
    const watchStart = () => {
        const idle = () => {
            if (typeof nativeIdle === 'function')
                nativeIdle.call(window, () => { starting = false; }, {timeout: IDLE_DUE_MS});
            else
                starting = false;
        };
        if (typeof nativeFrame === 'function')
            nativeFrame.call(window, () => nativeFrame.call(window, idle));
        else
            idle();
    };
    if (loaded) watchStart();
    addEventListener('load', () => {
        loaded = true;
        watchStart();
    }, {once: true});

    // Requests in flight, by start time. EventSource and WebSocket are never counted: they
    // stay open for as long as the page lives.
    const requests = new Map();
    let nextRequest = 1;
    const begin = () => {
        const id = nextRequest++;
        requests.set(id, now());
        return id;
    };
    const end = (id) => {
        if (requests.delete(id)) ended();
    };
    const counted = (promise) => {
        const id = begin();
        promise.then(() => end(id), () => end(id));
        return promise;
    };

    const nativeFetch = window.fetch;
    if (typeof nativeFetch === 'function') {
        window.fetch = function fetch(input, init) {
            const promise = nativeFetch.apply(window, arguments);
            // A keep-alive request is a beacon: nothing on the page waits for its answer.
            if (init && init.keepalive) return promise;
            return counted(promise);
        };
        // The answer's body is still to come after the headers.
        if (window.Response) {
            for (const name of ['json', 'text', 'arrayBuffer', 'blob', 'formData']) {
                const read = Response.prototype[name];
                if (typeof read !== 'function') continue;
                Response.prototype[name] = function () {
                    return counted(read.apply(this, arguments));
                };
            }
        }
    }

    if (window.XMLHttpRequest) {
        const send = XMLHttpRequest.prototype.send;
        XMLHttpRequest.prototype.send = function () {
            const id = begin();
            this.addEventListener('loadend', () => end(id), {once: true});
            try {
                return send.apply(this, arguments);
            } catch (e) {
                end(id);
                throw e;
            }
        };
    }

    // Short timers the page has set. A timer set again from inside its own round, by the same
    // callback or from the same place, is a loop (a poll, a clock, a carousel), whatever its
    // delay, as an interval is: only its first round is waited for, unless its rounds add
    // elements to the page. Such a loop is still building the page, and its next round is
    // waited for too.
    const timers = new Set();
    const loopRounds = new Set(); // a loop's next rounds not waited for, until they run
    const nativeSetTimeout = window.setTimeout;
    const nativeClearTimeout = window.clearTimeout;
    const nativeClearInterval = window.clearInterval;
    let running = null; // the timer whose callback runs now
    const callSite = () => (new Error().stack || '').split('\n')[3] || '';
    window.setTimeout = function setTimeout(handler, delay, ...rest) {
        const ms = Math.max(0, Number(delay) || 0);
        if (typeof handler !== 'function' || ms > SHORT_TIMER_MS) return nativeSetTimeout.apply(window, arguments);
        const self = {handler, site: callSite(), next: []};
        const round = running;
        const loop = round !== null && (round.handler === handler || round.site === self.site);
        let id = 0;
        const fire = function () {
            const outer = running;
            running = self;
            const awaited = timers.delete(id);
            loopRounds.delete(id);
            noteChanges(changes.takeRecords());
            const before = grown;
            try {
                return handler.apply(this, rest);
            } finally {
                // A loop written with await sets its next round in a microtask of this one.
                Promise.resolve().then(() => {
                    running = outer;
                    noteChanges(changes.takeRecords());
                    if (grown <= before) return;
                    for (const next of self.next) {
                        if (loopRounds.delete(next)) timers.add(next);
                    }
                });
                if (awaited) ended();
            }
        };
        id = nativeSetTimeout.call(window, fire, ms);
        if (loop) {
            loopRounds.add(id);
            round.next.push(id);
        } else {
            timers.add(id);
        }
        return id;
    };
    window.clearTimeout = function clearTimeout(id) {
        timers.delete(id);
        loopRounds.delete(id);
        return nativeClearTimeout.apply(this, arguments);
    };
    window.clearInterval = function clearInterval(id) {
        timers.delete(id);
        loopRounds.delete(id);
        return nativeClearInterval.apply(this, arguments);
    };

    // An IntersectionObserver's first report comes with the next frame; lazy loaders start
    // their loads from it. Until it has come the page has more to do, for as long as a
    // frame could reasonably take.
    const observersDue = new Map(); // observer -> since when
    const NativeIntersectionObserver = window.IntersectionObserver;
    if (typeof NativeIntersectionObserver === 'function') {
        window.IntersectionObserver = class IntersectionObserver extends NativeIntersectionObserver {
            constructor(callback, options) {
                if (typeof callback !== 'function') {
                    super(callback, options);
                    return;
                }
                super(function (entries, observer) {
                    observersDue.delete(observer);
                    return callback.call(this, entries, observer);
                }, options);
            }
            observe(target) {
                if (!observersDue.has(this)) observersDue.set(this, now());
                return super.observe(target);
            }
            disconnect() {
                observersDue.delete(this);
                return super.disconnect();
            }
        };
    }
    const observersPending = () => {
        let pending = 0;
        const t = now();
        for (const since of observersDue.values()) {
            if (t - since < OBSERVER_DUE_MS) ++pending;
        }
        return pending;
    };

    // Scripts added by the page's script: what they bring is still to come.
    const scripts = new Set();
    // Whether the page changed a class, a style or its tree since the last look for
    // background images. What was there at the load event had its images waited for by it.
    let styleChanged = false;
    const watchScript = (node) => {
        if (node.nodeName !== 'SCRIPT' || !node.src || scripts.has(node)) return;
        scripts.add(node);
        const done = () => {
            if (scripts.delete(node)) ended();
        };
        node.addEventListener('load', done, {once: true});
        node.addEventListener('error', done, {once: true});
    };
    // Elements added less elements taken away, in the document and its open shadow roots: a
    // round that rewrites what is there (a clock, a carousel) leaves it as it was.
    let grown = 0;
    const noteChanges = (records) => {
        if (records.length === 0) return;
        for (const record of records) {
            for (const node of record.addedNodes) {
                if (node.nodeType !== 1) continue;
                ++grown;
                watchScript(node);
                if (node.querySelectorAll) node.querySelectorAll('script[src]').forEach(watchScript);
            }
            for (const node of record.removedNodes) {
                if (node.nodeType === 1) --grown;
            }
        }
        styleChanged = true;
    };
    const changes = new MutationObserver(noteChanges);
    const watched = {childList: true, subtree: true, attributes: true, attributeFilter: ['class', 'style']};
    const roots = [];
    let watching = false;
    const nativeAttachShadow = window.Element && Element.prototype.attachShadow;
    if (typeof nativeAttachShadow === 'function') {
        Element.prototype.attachShadow = function attachShadow(init) {
            const root = nativeAttachShadow.apply(this, arguments);
            if (init && init.mode === 'open') {
                if (watching)
                    changes.observe(root, watched);
                else
                    roots.push(root);
            }
            return root;
        };
    }
    // Watched from the load event on: what was added before it held the load event back
    // anyway, and a record for every node the parser adds costs a huge page seconds.
    const watchChanges = () => {
        styleChanged = false;
        watching = true;
        changes.observe(document, watched);
        for (const root of roots.splice(0)) changes.observe(root, watched);
    };
    if (loaded)
        watchChanges();
    else
        addEventListener('load', watchChanges, {once: true});
    // Images and style sheets are looked at when asked; their loads mark the end of a wait.
    addEventListener('load', (e) => {
        if (e.target === document || e.target === window) return;
        if (e.target.nodeName === 'LINK' || e.target.nodeName === 'STYLE') styleChanged = true;
        ended();
    }, true);
    addEventListener('error', (e) => { if (e.target !== window) ended(); }, true);
    if (document.fonts) document.fonts.addEventListener('loadingdone', ended);
    // The end of an animation is a change the page may answer with the next one.
    for (const type of ['animationend', 'animationcancel', 'transitionend', 'transitioncancel'])
        addEventListener(type, ended, true);

    const decoded = new WeakMap();
    const inView = (element) => {
        const r = element.getBoundingClientRect();
        return r.width > 0 && r.height > 0 && r.bottom > 0 && r.right > 0 && r.top < innerHeight &&
               r.left < innerWidth;
    };
    const imagesPending = () => {
        let pending = 0;
        for (const img of document.images) {
            if (!img.currentSrc && !img.src) continue;
            if (!inView(img)) continue;
            if (!img.complete) {
                ++pending;
                continue;
            }
            if (img.naturalWidth === 0) continue; // broken: nothing more will come
            let state = decoded.get(img);
            if (state === undefined || state.src !== img.currentSrc) {
                state = {src: img.currentSrc, done: false};
                decoded.set(img, state);
                const mark = () => {
                    state.done = true;
                    ended();
                };
                img.decode().then(mark, mark);
            }
            if (!state.done) ++pending;
        }
        return pending;
    };
    // Background images in view that are still on their way: a lazy hero gets its url()
    // from a class set by script. The engine's resource timing tells when a fetch ended; a
    // look-alike Image tells too when none will start (an address the page's policy forbids).
    const fetched = new Set();
    if (window.PerformanceObserver) {
        try {
            new PerformanceObserver((list) => {
                for (const entry of list.getEntries()) {
                    fetched.add(entry.name);
                    if (backgrounds.delete(entry.name)) ended();
                }
            }).observe({type: 'resource', buffered: true});
        } catch (e) {
        }
    }
    const wasFetched = (url) => fetched.has(url) || performance.getEntriesByName(url, 'resource').length > 0;
    const backgrounds = new Map(); // url -> its look-alike, while awaited
    let backgroundsInView = [];
    let lastScan = -Infinity;
    const BACKGROUND_URL = /url\("((?:https?:)[^"]*)"\)/g;
    // What is drawn at points of a grid over the view, whatever the size of the document
    // (a page of a million elements answers as fast as a small one). A picture that is
    // noticed is big enough to lie under a point; one that lets clicks through is not seen.
    const elementsInView = () => {
        const found = new Set();
        const step = Math.max(48, Math.sqrt((innerWidth * innerHeight) / 1500));
        for (let y = step / 2; y < innerHeight; y += step) {
            for (let x = step / 2; x < innerWidth; x += step) {
                for (const element of document.elementsFromPoint(x, y)) found.add(element);
            }
        }
        return found;
    };
    const backgroundsPending = () => {
        const t = now();
        // A page that changes all the time is looked at every 150 ms, not at every poll;
        // until the next look, what it changed counts as still to come.
        if (styleChanged && t - lastScan < 150) return 1;
        if (styleChanged) {
            styleChanged = false;
            lastScan = t;
            const urls = new Set();
            for (const element of elementsInView()) {
                const image = getComputedStyle(element).backgroundImage;
                if (!image || image === 'none' || image.indexOf('url(') < 0) continue;
                for (const m of image.matchAll(BACKGROUND_URL)) urls.add(m[1]);
            }
            backgroundsInView = [...urls];
        }
        let pending = 0;
        for (const url of backgroundsInView) {
            if (!backgrounds.has(url) && wasFetched(url)) continue;
            if (!backgrounds.has(url)) {
                const lookAlike = new Image();
                const done = () => {
                    fetched.add(url);
                    if (backgrounds.delete(url)) ended();
                };
                lookAlike.onload = done;
                lookAlike.onerror = done;
                backgrounds.set(url, lookAlike);
                lookAlike.src = url;
            }
            if (backgrounds.has(url)) ++pending;
        }
        return pending;
    };
    const sheetsPending = () => {
        let pending = 0;
        for (const link of document.querySelectorAll('link[rel~="stylesheet" i]')) {
            if (!link.sheet && !link.disabled && link.href) ++pending;
        }
        return pending;
    };
    // Finite animations and transitions running, and how long the last of them has to go.
    // One gone since the last look has ended, though its end event may still be to come.
    let animating = new Set();
    const animations = () => {
        let count = 0;
        let leftMs = 0;
        if (!document.getAnimations) return {count, leftMs};
        const seen = new Set();
        for (const a of document.getAnimations()) {
            if (a.playState !== 'running' && a.playState !== 'pending') continue;
            const timing = a.effect && a.effect.getComputedTiming ? a.effect.getComputedTiming() : null;
            if (!timing || !isFinite(timing.endTime)) continue;
            ++count;
            seen.add(a);
            const rate = Math.abs(a.playbackRate) || 1;
            const left = (timing.endTime - (timing.localTime || 0)) / rate;
            if (left > leftMs) leftMs = left;
        }
        for (const a of animating) {
            if (!seen.has(a)) ended();
        }
        animating = seen;
        return {count, leftMs: Math.round(leftMs)};
    };

    // The page cannot put anything of its own in the probe's place.
    Object.defineProperty(window, '__thumbrixSettle', {
        value: () => {
            const t = now();
            let inFlight = 0;
            for (const started of requests.values()) {
                if (t - started < LONG_LIVED_MS) ++inFlight;
            }
            const anim = animations();
            return {
                requests: inFlight + scripts.size + sheetsPending(),
                fonts: document.fonts && document.fonts.status === 'loading' ? 1 : 0,
                images: imagesPending() + backgroundsPending(),
                observers: observersPending(),
                animations: anim.count,
                animationLeftMs: anim.leftMs,
                timers: timers.size,
                quietMs: lastEnd === -Infinity ? -1 : Math.round(t - lastEnd),
                starting: starting ? 1 : 0,
            };
        },
        writable: false,
        configurable: false,
        enumerable: false,
    });
})();
