'use strict';
// The plant page: every cell in one line with its counts, its state and a
// small timeline of the next four hours; a click opens the cell.

(() => {
    const $ = (id) => document.getElementById(id);
    const TimelineW = 360, TimelineH = 34, Hours = 4;

    const page = {cells: [], now: 0, nowAt: 0, messages: 0, connection: 'connecting', metrics: {}};
    window.vornPage = page;

    function nowSeconds() {
        return page.now + (performance.now() - page.nowAt) / 1000;
    }

    function stateText(stale) {
        if (stale === 'unreadable')
            return Vorn.text(509, 'Table missing or unreadable');
        if (stale === 'unchanged')
            return Vorn.text(510, 'Unchanged for a while');
        return Vorn.text(508, 'Live');
    }

    function changeText(iso) {
        if (!iso)
            return Vorn.text(511, 'never');
        const d = new Date(iso);
        if (isNaN(d))
            return iso;
        const locale = document.documentElement.lang === 'zh-CN' ? 'zh-CN' : 'en-GB';
        const sameDay = d.toDateString() === new Date().toDateString();
        return sameDay ? d.toLocaleTimeString(locale) : d.toLocaleString(locale);
    }

    // Each key its own lane; the planned time in blue over the actual in
    // red, a running operation hatched up to now and orange once it runs
    // past its planned duration; a quarter of an hour of the past shows
    // before the now line, so that what runs now is seen.
    function drawTimeline(canvas, timeline, now) {
        const dpr = window.devicePixelRatio || 1;
        canvas.width = TimelineW * dpr;
        canvas.height = TimelineH * dpr;
        const ctx = canvas.getContext('2d');
        ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
        ctx.fillStyle = '#ffffff';
        ctx.fillRect(0, 0, TimelineW, TimelineH);
        const past = 900;
        const span = Hours * 3600 + past;
        const x = (t) => Math.round((t - now + past) / span * TimelineW);
        ctx.fillStyle = 'rgb(214,218,224)';
        for (let h = Math.ceil(now / 3600) * 3600; h < now + span; h += 3600)
            ctx.fillRect(x(h), 0, 1, TimelineH);
        const lanes = [];
        for (const item of timeline) {
            if (!lanes.includes(item[0]))
                lanes.push(item[0]);
        }
        const laneH = lanes.length ? Math.max(2, Math.min(10, Math.floor((TimelineH - 2) / lanes.length))) : 0;
        for (const [key, ps, pf, as, af] of timeline) {
            const y = 1 + lanes.indexOf(key) * laneH;
            if (y + laneH > TimelineH)
                continue;
            const half = Math.max(1, Math.floor(laneH / 2));
            if (ps >= 0 && pf > ps) {
                ctx.fillStyle = 'rgb(0,0,255)';
                ctx.fillRect(x(ps), y, Math.max(1, x(pf) - x(ps)), half);
            }
            if (as >= 0) {
                const end = af >= 0 ? af : now;
                const h = Math.max(1, laneH - half - 1);
                ctx.fillStyle = af >= 0 ? 'rgb(255,0,0)' : '#ff8080';
                ctx.fillRect(x(as), y + half, Math.max(1, x(end) - x(as)), h);
                const ghostEnd = as + (pf - ps);
                if (af < 0 && ps >= 0 && pf > ps && now > ghostEnd) {
                    ctx.fillStyle = '#ff8c00';
                    ctx.fillRect(x(ghostEnd), y + half, Math.max(1, x(now) - x(ghostEnd)), h);
                }
            }
        }
        ctx.fillStyle = '#10a03c';
        ctx.fillRect(x(now) - 1, 0, 2, TimelineH);
    }

    function cellLink(name) {
        return Vorn.withToken('/cell/' + encodeURIComponent(name));
    }

    function render() {
        const body = $('cells').tBodies[0];
        const now = page.now;
        const lines = [];
        for (const cell of page.cells) {
            const tr = document.createElement('tr');
            tr.dataset.cell = cell.name;
            tr.classList.toggle('stale', !!cell.stale);
            const name = tr.insertCell();
            name.className = 'name';
            const a = document.createElement('a');
            a.href = cellLink(cell.name);
            a.textContent = cell.name;
            name.append(a);
            const number = (value, cls) => {
                const td = tr.insertCell();
                td.className = 'number ' + (cls || '');
                td.textContent = String(value);
                return td;
            };
            number(cell.records, 'records');
            number(cell.running, 'running');
            number(cell.late, 'late-count').classList.toggle('some', cell.late > 0);
            const change = tr.insertCell();
            change.className = 'change';
            change.textContent = changeText(cell.lastChange);
            const state = tr.insertCell();
            state.className = 'state';
            state.textContent = stateText(cell.stale);
            const tl = tr.insertCell();
            tl.className = 'timeline';
            const canvas = document.createElement('canvas');
            canvas.style.width = TimelineW + 'px';
            canvas.style.height = TimelineH + 'px';
            drawTimeline(canvas, cell.timeline || [], now);
            tl.append(canvas);
            lines.push(tr);
        }
        body.replaceChildren(...lines);
        $('no-cells').hidden = page.cells.length > 0 || page.messages === 0;
    }

    $('cells').addEventListener('click', (event) => {
        const tr = event.target.closest('tbody tr');
        if (tr && !event.target.closest('a'))
            location.href = cellLink(tr.dataset.cell);
    });

    const socket = new Vorn.LiveSocket(() => '/ws/plant', {
        message(m, received) {
            if (m.type !== 'plant')
                return;
            page.cells = m.cells || [];
            page.now = m.now;
            page.nowAt = received;
            ++page.messages;
            render();
            page.metrics.lastRenderMs = performance.now() - received;
        },
        state(state) {
            page.connection = state;
        },
    });
    page.socket = socket;

    setInterval(() => {
        if (page.messages)
            $('clock').textContent = Vorn.clockText(nowSeconds() % 86400);
    }, 1000);

    Vorn.onLanguage(() => {
        document.title = Vorn.text(1, 'Vorn Scheduler') + ' – ' + Vorn.text(500, 'Plant');
        if (page.messages)
            render();
    });
    Vorn.setUpLanguageSwitch($('language'));
    Vorn.connectionLine($('connection'), socket);
    Vorn.loadStrings(Vorn.chosenLanguage()).catch(() => {});
    socket.start();
})();
