'use strict';
// What both pages share: the access token carried along, the string tables,
// the language switch, the time texts and the live connection.

const Vorn = (() => {
    const params = new URLSearchParams(location.search);
    const token = params.get('token');

    // A page visit with ?token= gets a cookie from the server; the token is
    // still passed on, so that a browser that refuses the cookie keeps working.
    function withToken(url) {
        if (!token)
            return url;
        return url + (url.includes('?') ? '&' : '?') + 'token=' + encodeURIComponent(token);
    }

    // The string table of the page's language, whole, as the program has it.
    let table = {};
    let language = 'en';
    const languageListeners = [];

    function chosenLanguage() {
        const stored = localStorage.getItem('vorn.language');
        if (stored === 'en' || stored === 'zh')
            return stored;
        const wanted = navigator.languages && navigator.languages.length ? navigator.languages : [navigator.language];
        for (const l of wanted) {
            if (!l)
                continue;
            if (l.toLowerCase().startsWith('zh'))
                return 'zh';
            if (l.toLowerCase().startsWith('en'))
                return 'en';
        }
        return 'en';
    }

    async function loadStrings(lang) {
        const answer = await fetch(withToken('/api/strings/' + lang), {cache: 'no-store'});
        if (!answer.ok)
            throw new Error('strings ' + answer.status);
        table = await answer.json();
        language = lang;
        document.documentElement.lang = lang === 'zh' ? 'zh-CN' : 'en';
        applyTexts(document);
        for (const listener of languageListeners)
            listener(lang);
    }

    // The text of an id; the English fallback only shows while the table
    // has not come yet or lacks the id.
    function text(id, fallback) {
        const t = table[String(id)];
        return t === undefined || t === '' ? (fallback || '') : t;
    }

    // "%1", "%2" filled in, as the program's own texts expect.
    function format(template, ...args) {
        return template.replace(/%(\d)/g, (m, n) => (args[n - 1] !== undefined ? String(args[n - 1]) : m));
    }

    // Menu texts carry "&" for their access key; a page has none.
    function plain(t) {
        return t.replace(/&(.)/g, '$1');
    }

    function applyTexts(root) {
        for (const el of root.querySelectorAll('[data-text]')) {
            const t = text(el.dataset.text, el.dataset.fallback || el.textContent);
            el.textContent = plain(t);
        }
        for (const el of root.querySelectorAll('[data-placeholder]'))
            el.placeholder = text(el.dataset.placeholder, el.placeholder);
        for (const el of root.querySelectorAll('[data-title]'))
            el.title = plain(text(el.dataset.title, el.title));
    }

    function onLanguage(listener) {
        languageListeners.push(listener);
    }

    // The switch on the page; the choice is remembered for the next visit.
    function setUpLanguageSwitch(select) {
        select.value = language;
        select.addEventListener('change', () => {
            localStorage.setItem('vorn.language', select.value);
            loadStrings(select.value).catch(() => {});
        });
        onLanguage((lang) => { select.value = lang; });
    }

    // "hh:mm:ss" back into seconds, read by position as the bars read it:
    // characters 1-2, 4-5 and 7-8, each a whole number, an empty piece 0.
    function partValue(t) {
        const m = /^[ \t]*([+-]?)(\d*)/.exec(t);
        if (!m || m[2] === '')
            return 0;
        const v = Math.min(parseInt(m[2], 10), 32768);
        return Math.max(-32768, Math.min(32767, m[1] === '-' ? -v : v));
    }
    function timeParts(t) {
        return [partValue(t.substr(0, 2)), partValue(t.substr(3, 2)), partValue(t.substr(6, 2))];
    }
    function textSeconds(t) {
        if (!t)
            return 0;
        const p = timeParts(t);
        return p[0] * 3600 + p[1] * 60 + p[2];
    }

    function pad2(n) {
        return n < 10 ? '0' + n : String(n);
    }
    function clockText(seconds) {
        seconds = Math.max(0, Math.floor(seconds));
        return pad2(Math.floor(seconds / 3600)) + ':' + pad2(Math.floor(seconds / 60) % 60) + ':' + pad2(seconds % 60);
    }

    // A half goes to the even neighbour, as everywhere in the chart.
    function nearest(x) {
        const f = Math.floor(x);
        const d = x - f;
        if (d > 0.5)
            return f + 1;
        if (d < 0.5)
            return f;
        return f % 2 === 0 ? f : f + 1;
    }

    // One WebSocket that comes back by itself: after a loss it waits, longer
    // after every failed try (0.5 s doubling up to 30 s), and starts afresh
    // once a message has arrived again.
    class LiveSocket {
        constructor(pathFn, handlers) {
            this.pathFn = pathFn;
            this.handlers = handlers;
            this.delay = 500;
            this.socket = null;
            this.state = 'connecting';
            this.retryAt = 0;
            this.timer = 0;
            this.reconnects = 0;
        }
        start() {
            clearTimeout(this.timer);
            this.timer = 0;
            const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
            const socket = new WebSocket(scheme + '//' + location.host + withToken(this.pathFn()));
            this.socket = socket;
            this.setState('connecting');
            socket.onmessage = (event) => {
                if (socket !== this.socket)
                    return;
                const received = performance.now();
                if (this.state !== 'open') {
                    this.delay = 500;
                    this.setState('open');
                }
                let message;
                try {
                    message = JSON.parse(event.data);
                } catch (e) {
                    return;
                }
                this.handlers.message(message, received, event.data.length);
            };
            socket.onclose = () => {
                if (socket !== this.socket)
                    return;
                this.socket = null;
                this.retryLater();
            };
        }
        retryLater() {
            this.retryAt = Date.now() + this.delay;
            this.timer = setTimeout(() => { ++this.reconnects; this.start(); }, this.delay);
            this.delay = Math.min(30000, this.delay * 2);
            this.setState('lost');
        }
        // A fresh start at once, for a page that missed a message.
        restart() {
            const old = this.socket;
            this.socket = null;
            if (old)
                old.close();
            ++this.reconnects;
            this.start();
        }
        setState(state) {
            this.state = state;
            if (this.handlers.state)
                this.handlers.state(state, this.retryAt);
        }
    }

    // The line that says how the connection stands, with the seconds to the
    // next try counting down.
    function connectionLine(el, socket) {
        let countdown = 0;
        const show = () => {
            el.classList.toggle('lost', socket.state === 'lost');
            el.classList.toggle('open', socket.state === 'open');
            if (socket.state === 'open')
                el.textContent = text(512, 'Connected');
            else if (socket.state === 'connecting')
                el.textContent = text(513, 'Connecting…');
            else
                el.textContent = format(text(514, 'Connection lost; trying again in %1 s'),
                                        Math.max(0, Math.ceil((socket.retryAt - Date.now()) / 1000)));
        };
        const previous = socket.handlers.state;
        socket.handlers.state = (state, retryAt) => {
            if (previous)
                previous(state, retryAt);
            clearInterval(countdown);
            if (state === 'lost')
                countdown = setInterval(show, 250);
            show();
        };
        onLanguage(show);
        show();
    }

    return {
        token, withToken, text, format, plain, applyTexts, loadStrings, chosenLanguage, onLanguage,
        setUpLanguageSwitch, textSeconds, timeParts, partValue, clockText, nearest, LiveSocket, connectionLine,
    };
})();
