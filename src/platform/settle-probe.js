// Keeps count of what the page is still waiting for, so that the capture can wait for it
// too. It runs in the page's own world before any of the page's scripts, the only place
// that sees the page's fetch, XMLHttpRequest and timers.
(() => {
    'use strict';
    if (window.__thumbrixSettle) return;
    const SHORT_TIMER_MS = %SHORT_TIMER_MS%;
    const LONG_LIVED_MS = %LONG_LIVED_MS%;

    const now = () => performance.now();
    let loaded = document.readyState === 'complete';
    // When the last awaited thing ended. What ends before the load event is covered by it.
    let lastEnd = -Infinity;
    const ended = () => {
        if (loaded) lastEnd = now();
    };
    addEventListener('load', () => { loaded = true; }, {once: true});

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

    // Short timers the page has set. A timer that sets itself again from the same place with
    // the same delay is a loop (a clock, a carousel), as an interval is: only its first
    // round is waited for.
    const timers = new Set();
    const nativeSetTimeout = window.setTimeout;
    const nativeClearTimeout = window.clearTimeout;
    const nativeClearInterval = window.clearInterval;
    let running = null; // the timer whose callback runs now
    const callSite = () => (new Error().stack || '').split('\n')[3] || '';
    window.setTimeout = function setTimeout(handler, delay, ...rest) {
        const ms = Math.max(0, Number(delay) || 0);
        if (typeof handler !== 'function' || ms > SHORT_TIMER_MS) return nativeSetTimeout.apply(window, arguments);
        const self = {handler, ms, site: callSite()};
        const loop = running !== null && running.ms === ms && (running.handler === handler || running.site === self.site);
        let id = 0;
        const fire = function () {
            const outer = running;
            running = self;
            const awaited = timers.delete(id);
            try {
                return handler.apply(this, rest);
            } finally {
                // A loop written with await sets its next round in a microtask of this one.
                Promise.resolve().then(() => { running = outer; });
                if (awaited) ended();
            }
        };
        id = nativeSetTimeout.call(window, fire, ms);
        if (!loop) timers.add(id);
        return id;
    };
    window.clearTimeout = function clearTimeout(id) {
        timers.delete(id);
        return nativeClearTimeout.apply(this, arguments);
    };
    window.clearInterval = function clearInterval(id) {
        timers.delete(id);
        return nativeClearInterval.apply(this, arguments);
    };

    // Scripts added by the page's script: what they bring is still to come.
    const scripts = new Set();
    const watchScript = (node) => {
        if (node.nodeName !== 'SCRIPT' || !node.src || scripts.has(node)) return;
        scripts.add(node);
        const done = () => {
            if (scripts.delete(node)) ended();
        };
        node.addEventListener('load', done, {once: true});
        node.addEventListener('error', done, {once: true});
    };
    new MutationObserver((records) => {
        for (const record of records) {
            for (const node of record.addedNodes) {
                watchScript(node);
                if (node.querySelectorAll) node.querySelectorAll('script[src]').forEach(watchScript);
            }
        }
    }).observe(document, {childList: true, subtree: true});
    // Images and style sheets are looked at when asked; their loads mark the end of a wait.
    addEventListener('load', (e) => { if (e.target !== document && e.target !== window) ended(); }, true);
    addEventListener('error', (e) => { if (e.target !== window) ended(); }, true);
    if (document.fonts) document.fonts.addEventListener('loadingdone', ended);

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
    const sheetsPending = () => {
        let pending = 0;
        for (const link of document.querySelectorAll('link[rel~="stylesheet" i]')) {
            if (!link.sheet && !link.disabled && link.href) ++pending;
        }
        return pending;
    };
    // Finite animations and transitions running, and how long the last of them has to go.
    const animations = () => {
        let count = 0;
        let leftMs = 0;
        if (!document.getAnimations) return {count, leftMs};
        for (const a of document.getAnimations()) {
            if (a.playState !== 'running' && a.playState !== 'pending') continue;
            const timing = a.effect && a.effect.getComputedTiming ? a.effect.getComputedTiming() : null;
            if (!timing || !isFinite(timing.endTime)) continue;
            ++count;
            const rate = Math.abs(a.playbackRate) || 1;
            const left = (timing.endTime - (timing.localTime || 0)) / rate;
            if (left > leftMs) leftMs = left;
        }
        return {count, leftMs: Math.round(leftMs)};
    };

    window.__thumbrixSettle = () => {
        const t = now();
        let inFlight = 0;
        for (const started of requests.values()) {
            if (t - started < LONG_LIVED_MS) ++inFlight;
        }
        const anim = animations();
        return {
            requests: inFlight + scripts.size + sheetsPending(),
            fonts: document.fonts && document.fonts.status === 'loading' ? 1 : 0,
            images: imagesPending(),
            animations: anim.count,
            animationLeftMs: anim.leftMs,
            timers: timers.size,
            quietMs: lastEnd === -Infinity ? -1 : Math.round(t - lastEnd),
        };
    };
})();
