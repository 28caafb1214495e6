'use strict';
// The cell page: the viewer's chart of one cell, drawn on a canvas that only
// paints the rows and columns in sight, following the cell's live table.

(() => {
    // Measures of the viewer at 96 DPI: rows of 300 twips, outline and
    // time-scale columns of 400 twips, twips to pixels truncated.
    const RowH = 20;
    const HeaderH = 2 * RowH;
    const OutlineW = 26;
    const TimeW = 26;
    // The viewer's list; a cell set to another whole number of minutes
    // up to 12 gets its own value added.
    const Intervals = [1, 2, 3, 4, 5, 6, 10, 12];
    const validInterval = (m) => Number.isInteger(m) && m >= 1 && m <= 12;

    const Colour = {
        headerBack: 'rgb(236,239,244)',
        headerText: 'rgb(40,44,52)',
        gridLine: 'rgb(214,218,224)',
        border: 'rgb(3,0,0)',
        outlineInk: 'rgb(120,128,140)',
        groupBand: 'rgb(226,226,226)',
        groupText: 'rgb(10,100,30)',
        planned: 'rgb(0,0,255)',
        actual: 'rgb(255,0,0)',
        nowLine: '#10a03c',
        overrun: '#ff8c00',
        lateText: '#c05a00',
        ghostLine: '#404040',
        runningFill: '#ffd2d2',
        flash: [255, 214, 0],
    };
    const Font = '12px "DejaVu Sans", "Noto Sans", "Noto Sans CJK SC", Arial, sans-serif';
    const BoldFont = 'bold ' + Font;
    const SmallBoldFont = 'bold 10px "DejaVu Sans", "Noto Sans", "Noto Sans CJK SC", Arial, sans-serif';

    // A row as it comes: [level, record, key, ps, pf, pd, as, af, ad].
    const Level = 0, Record = 1, Key = 2, PS = 3, PF = 4, PD = 5, AS = 6, AF = 7, AD = 8;

    const $ = (id) => document.getElementById(id);
    const chart = $('chart');
    const track = $('track');
    const canvas = $('canvas');
    const ctx = canvas.getContext('2d', {alpha: false});
    const tooltip = $('tooltip');

    const cellName = decodeURIComponent(location.pathname.replace(/^\/cell\//, '').replace(/\/$/, ''));
    const stored = (name, fallback) => {
        const v = localStorage.getItem('vorn.' + name + '.' + cellName);
        return v === null ? fallback : v;
    };
    const store = (name, value) => localStorage.setItem('vorn.' + name + '.' + cellName, value);

    const page = {
        cell: cellName,
        sort: new URLSearchParams(location.search).get('sort') === 'part' ? 'part' : stored('sort', 'machine'),
        interval: 0,               // minutes a column; 0 until the first view
        chosenInterval: parseInt(stored('interval', '0'), 10) || 0,
        rows: [],
        seq: -1,
        now: 0, nowAt: 0,          // server seconds of the day, and when they came
        records: 0, stale: '', lastChange: null, noChangeMinutes: 0,
        staleSince: 0,             // page clock (ms) when the table went unreadable
        hiddenCols: JSON.parse(stored('columns', '[false,false,false,false,false,false]')),
        collapsed: new Set(JSON.parse(stored('collapsed', '[]'))),
        query: '',
        visible: new Int32Array(0), // indexes into rows, in order, of the rows that show
        groupOf: new Int32Array(0),
        flashes: [],               // {row, start, oldStart, oldFinish}
        recentFlash: new Map(),
        version: 0,
        views: 0, ticks: 0,
        connection: 'connecting',
        metrics: {},
    };
    window.vornPage = page;

    // ---------- layout ----------

    // Fit to the window as the viewer does: the grid's width less 350
    // twips in 14 shares, four for the key column and one for each time
    // value column.
    const layout = {cols: [], lead: 0, scaleCols: 0, span: 0, width: 0, height: 0, viewW: 0, viewH: 0};
    function computeLayout() {
        const viewW = chart.clientWidth;
        const gridTwips = Math.abs(viewW * 15 - 5);
        const unit = Math.min(Vorn.nearest(Math.abs(gridTwips - 350) / 14), Math.floor(32767 / 4));
        const keyW = Math.trunc(4 * unit / 15);
        const valueW = Math.trunc(unit / 15);
        const widths = [OutlineW, keyW];
        for (let i = 0; i < 6; ++i)
            widths.push(page.hiddenCols[i] ? 0 : valueW);
        const cols = [];
        let x = 0;
        for (const w of widths) {
            cols.push({x, w});
            x += w;
        }
        layout.cols = cols;
        layout.lead = x;
        const interval = page.interval || 5;
        layout.scaleCols = 24 * Vorn.nearest(60 / interval);
        layout.span = interval * 60;
        // The header's hour label goes up where a column's minute label is
        // 0, as the viewer writes it: every column for a divisor of 60 and
        // a coarser run for the others, which the bars read back.
        let a = 60, b = interval;
        while (b) [a, b] = [b, a % b];
        layout.hourRun = 60 / a;
        layout.width = x + layout.scaleCols * TimeW;
        layout.height = HeaderH + page.visible.length * RowH;
        track.style.width = layout.width + 'px';
        track.style.height = layout.height + 'px';
        const dpr = window.devicePixelRatio || 1;
        layout.viewW = chart.clientWidth;
        layout.viewH = chart.clientHeight;
        canvas.style.width = layout.viewW + 'px';
        canvas.style.height = layout.viewH + 'px';
        canvas.width = Math.max(1, Math.round(layout.viewW * dpr));
        canvas.height = Math.max(1, Math.round(layout.viewH * dpr));
        layout.dpr = dpr;
    }

    // ---------- rows that show ----------

    function groupKeyOf(rowIndex) {
        const g = page.groupOf[rowIndex];
        return g >= 0 ? page.rows[g][Key] : '';
    }
    function collapseKey(key) {
        return page.sort + '\u0001' + key;
    }

    // The visible rows: collapsed groups keep their own row only; a search
    // keeps the groups whose key matches (with all their rows) and the rows
    // whose key matches (under their group row).
    function rebuildVisible() {
        const rows = page.rows;
        const q = page.query.trim().toLowerCase();
        const out = new Int32Array(rows.length);
        let n = 0;
        for (let i = 0; i < rows.length;) {
            if (rows[i][Level] > 0) {
                // Rows before any group row (none from a fill) show as they are.
                if (!q || rows[i][Key].toLowerCase().includes(q))
                    out[n++] = i;
                ++i;
                continue;
            }
            let end = i + 1;
            while (end < rows.length && rows[end][Level] > 0)
                ++end;
            const collapsed = page.collapsed.has(collapseKey(rows[i][Key]));
            const groupMatch = !q || rows[i][Key].toLowerCase().includes(q);
            if (groupMatch) {
                out[n++] = i;
                if (!collapsed) {
                    for (let r = i + 1; r < end; ++r)
                        out[n++] = r;
                }
            } else {
                const at = n;
                let any = false;
                for (let r = i + 1; r < end; ++r) {
                    if (rows[r][Key].toLowerCase().includes(q)) {
                        if (!any) {
                            out[n++] = i;
                            any = true;
                            if (collapsed)
                                break;
                        }
                        out[n++] = r;
                    }
                }
                if (!any)
                    n = at;
            }
            i = end;
        }
        page.visible = out.slice(0, n);
        $('row-count').textContent = q ? Vorn.format(Vorn.text(520, '%1 of %2 rows'), n, rows.length) : '';
    }

    function rebuildGroups() {
        const rows = page.rows;
        const groupOf = new Int32Array(rows.length);
        let g = -1;
        for (let i = 0; i < rows.length; ++i) {
            if (rows[i][Level] <= 0)
                g = i;
            groupOf[i] = g;
        }
        page.groupOf = groupOf;
    }

    // ---------- time ----------

    function nowSeconds() {
        return page.now + (performance.now() - page.nowAt) / 1000;
    }

    // Where a time lies on the scale, to whole percent of its column as the
    // bars place their ends; the ends of the scale outside it.
    function xOfTime(seconds, scaleX0) {
        if (seconds <= 0)
            return scaleX0;
        const span = layout.span;
        const k = Math.floor(seconds / span);
        if (k >= layout.scaleCols)
            return scaleX0 + layout.scaleCols * TimeW;
        return scaleX0 + k * TimeW + Vorn.nearest(TimeW / 100 * Vorn.nearest((seconds - k * span) / span * 100));
    }

    // A detail row with an actual start and no actual finish: the ghost is
    // the planned duration laid from the actual start.
    function running(row, now) {
        if (row[Level] <= 0 || row[AS] === '' || row[AF] !== '')
            return null;
        const start = Vorn.textSeconds(row[AS]);
        const planned = Vorn.textSeconds(row[PD]);
        const r = {start, ghostEnd: null, late: 0};
        if (planned > 0) {
            r.ghostEnd = start + planned;
            r.late = Math.max(0, Math.floor(now) - r.ghostEnd);
        }
        return r;
    }

    function lateText(seconds) {
        seconds = Math.max(0, seconds);
        const h = Math.floor(seconds / 3600);
        const m = Math.floor(seconds / 60) % 60;
        const s = seconds % 60;
        const p2 = (n) => (n < 10 ? '0' : '') + n;
        return h === 0 ? '+' + p2(m) + ':' + p2(s) : '+' + h + ':' + p2(m) + ':' + p2(s);
    }

    function groupTotals(groupRow, now) {
        const rows = page.rows;
        const t = {operations: 0, finished: 0, running: 0, late: 0};
        for (let r = groupRow + 1; r < rows.length && rows[r][Level] > 0; ++r) {
            ++t.operations;
            if (rows[r][AF] !== '')
                ++t.finished;
            const run = running(rows[r], now);
            if (run) {
                ++t.running;
                if (run.late > 0)
                    ++t.late;
            }
        }
        return t;
    }

    // Late counts of group rows, worked out once a second and after a change.
    const lateCache = {second: -1, version: -1, counts: new Map()};
    function lateCount(groupRow, now) {
        const second = Math.floor(now);
        if (lateCache.second !== second || lateCache.version !== page.version) {
            lateCache.second = second;
            lateCache.version = page.version;
            lateCache.counts.clear();
        }
        let c = lateCache.counts.get(groupRow);
        if (c === undefined) {
            c = groupTotals(groupRow, now).late;
            lateCache.counts.set(groupRow, c);
        }
        return c;
    }

    // ---------- the bars ----------

    // One bar's cells as the viewer paints them: each column the bar
    // touches (ends inclusive) gets the part between its start and finish,
    // to whole percent of the column's span.
    function barCells(start, finish, duration, firstCol, lastCol, scaleX0, y1, y2, out) {
        if (duration === '' || duration === '00:00:00')
            return;
        const I = page.interval;
        const S = Vorn.nearest(I * 60);
        const [sh, sm, ss] = Vorn.timeParts(start);
        const [fh, fm, fs] = Vorn.timeParts(finish);
        const s = sh * 3600 + sm * 60 + ss;
        const f = fh * 3600 + fm * 60 + fs;
        if (s >= 24 * 3600 || y1 >= y2)
            return;
        const W = TimeW;
        let runX1 = 0, runX2 = -1;
        for (let k = firstCol; k <= lastCol; ++k) {
            const H = Math.floor(k / layout.hourRun);
            const M = (k * I) % 60;
            const C = H * 3600 + M * 60;
            const E = C + I * 60;
            if (!(E >= s && f >= C))
                continue;
            const left = scaleX0 + k * W;
            const right = left + W;
            let x1 = left;
            const d1 = (sm * 60 + ss) - M * 60;
            if (!(sh < H || d1 <= 0))
                x1 = left + Vorn.nearest(W / 100 * Vorn.nearest(d1 / S * 100));
            let x2 = right;
            const d2 = Vorn.nearest((I + M) * 60) - (fm * 60 + fs);
            if (!(H < fh || d2 <= 0))
                x2 = right - Vorn.nearest(W / 100 * Vorn.nearest(d2 / S * 100));
            x1 = Math.max(x1, left);
            x2 = Math.min(x2, right);
            if (x1 >= x2)
                continue;
            if (x1 === runX2) {
                runX2 = x2;
            } else {
                if (runX2 > runX1)
                    out.push(runX1, y1, runX2 - runX1, y2 - y1);
                runX1 = x1;
                runX2 = x2;
            }
        }
        if (runX2 > runX1)
            out.push(runX1, y1, runX2 - runX1, y2 - y1);
    }

    function fillRects(list, colour) {
        if (!list.length)
            return;
        ctx.fillStyle = colour;
        for (let i = 0; i < list.length; i += 4)
            ctx.fillRect(list[i], list[i + 1], list[i + 2], list[i + 3]);
    }

    let runningPattern = null;
    function runningFill() {
        if (!runningPattern) {
            const tile = document.createElement('canvas');
            tile.width = tile.height = 8;
            const t = tile.getContext('2d');
            t.fillStyle = Colour.runningFill;
            t.fillRect(0, 0, 8, 8);
            t.fillStyle = '#ff0000';
            for (let i = 0; i < 8; ++i)
                t.fillRect(7 - i, i, 1, 1);
            runningPattern = ctx.createPattern(tile, 'repeat');
        }
        return runningPattern;
    }

    // ---------- painting ----------

    let paintQueued = false;
    function schedulePaint() {
        if (paintQueued)
            return;
        paintQueued = true;
        requestAnimationFrame(() => {
            paintQueued = false;
            paint();
        });
    }

    function headerText(id, fallback) {
        return Vorn.plain(Vorn.text(id, fallback));
    }

    function drawText(t, x, y, w, align) {
        if (!t || w <= 6)
            return;
        ctx.save();
        ctx.beginPath();
        ctx.rect(x, y, w, RowH);
        ctx.clip();
        const ty = y + RowH / 2;
        if (align === 'center') {
            ctx.textAlign = 'center';
            ctx.fillText(t, x + w / 2, ty);
        } else {
            ctx.textAlign = 'left';
            ctx.fillText(t, x + 3, ty);
        }
        ctx.restore();
    }

    function paint() {
        const t0 = performance.now();
        const W = layout.viewW, Hh = layout.viewH;
        const dpr = layout.dpr;
        ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
        ctx.fillStyle = '#ffffff';
        ctx.fillRect(0, 0, W, Hh);
        ctx.textBaseline = 'middle';

        const sx = chart.scrollLeft;
        const sy = chart.scrollTop;
        const lead = layout.lead;
        const scaleX0 = lead - sx;              // x of the scale's column 0
        const firstCol = Math.max(0, Math.floor(sx / TimeW));
        const lastCol = Math.min(layout.scaleCols - 1, Math.floor((sx + W - lead) / TimeW));
        const vis = page.visible;
        const firstVis = Math.max(0, Math.floor(sy / RowH));
        const lastVis = Math.min(vis.length - 1, Math.floor((sy + Hh - HeaderH) / RowH));
        const rowY = (i) => HeaderH + i * RowH - sy;
        const now = nowSeconds();
        const nowMs = performance.now();
        const rows = page.rows;
        const cols = layout.cols;

        // Body: backgrounds, the flash under everything else.
        for (let i = firstVis; i <= lastVis; ++i) {
            const row = rows[vis[i]];
            const y = rowY(i);
            if (row[Level] <= 0) {
                ctx.fillStyle = Colour.groupBand;
                ctx.fillRect(0, y, W, RowH);
            }
            const strength = flashStrength(vis[i], nowMs);
            if (strength > 0) {
                ctx.fillStyle = 'rgba(' + Colour.flash.join(',') + ',' + (Math.round(150 * strength) / 255) + ')';
                ctx.fillRect(0, y, W, RowH);
            }
        }

        // Body, time scale: grid lines, then the bars over them.
        ctx.save();
        ctx.beginPath();
        ctx.rect(lead, HeaderH, W - lead, Hh - HeaderH);
        ctx.clip();
        ctx.fillStyle = Colour.gridLine;
        const bodyTop = HeaderH;
        const bodyBottom = Math.min(Hh, rowY(lastVis + 1));
        for (let k = firstCol; k <= lastCol; ++k)
            ctx.fillRect(scaleX0 + (k + 1) * TimeW - 1, bodyTop, 1, bodyBottom - bodyTop);
        const scaleRight = Math.min(W, scaleX0 + layout.scaleCols * TimeW);
        for (let i = firstVis; i <= lastVis; ++i)
            ctx.fillRect(lead, rowY(i) + RowH - 1, scaleRight - lead, 1);
        const planned = [];
        const actual = [];
        for (let i = firstVis; i <= lastVis; ++i) {
            const row = rows[vis[i]];
            const top = rowY(i);
            const bp = Vorn.nearest(top + RowH / 2);
            const ta = bp + 1;
            barCells(row[PS], row[PF], row[PD], firstCol, lastCol, scaleX0, top + 3, bp, planned);
            barCells(row[AS], row[AF], row[AD], firstCol, lastCol, scaleX0, ta, Vorn.nearest(RowH / 2 + ta - 3), actual);
        }
        fillRects(planned, Colour.planned);
        fillRects(actual, Colour.actual);
        paintOverlays(firstVis, lastVis, rowY, scaleX0, now, nowMs, bodyTop, bodyBottom);
        ctx.restore();

        // Body, leading columns: over the scale, which scrolls under them.
        ctx.fillStyle = '#ffffff';
        for (let i = firstVis; i <= lastVis; ++i) {
            const row = rows[vis[i]];
            const y = rowY(i);
            ctx.fillStyle = row[Level] <= 0 ? Colour.groupBand : '#ffffff';
            ctx.fillRect(0, y, lead, RowH);
            const strength = flashStrength(vis[i], nowMs);
            if (strength > 0) {
                ctx.fillStyle = 'rgba(' + Colour.flash.join(',') + ',' + (Math.round(150 * strength) / 255) + ')';
                ctx.fillRect(0, y, lead, RowH);
            }
        }
        ctx.save();
        ctx.beginPath();
        ctx.rect(0, HeaderH, Math.min(lead, W), Hh - HeaderH);
        ctx.clip();
        paintOutline(firstVis, lastVis, rowY);
        for (let i = firstVis; i <= lastVis; ++i) {
            const row = rows[vis[i]];
            const y = rowY(i);
            ctx.font = BoldFont;
            ctx.fillStyle = row[Level] <= 0 ? Colour.groupText : '#000000';
            drawText(row[Key], cols[1].x, y, cols[1].w - 1, 'left');
            ctx.font = Font;
            ctx.fillStyle = '#000000';
            for (let c = 0; c < 6; ++c) {
                const col = cols[2 + c];
                if (col.w > 0)
                    drawText(row[PS + c], col.x, y, col.w - 1, 'left');
            }
        }
        paintLateBadges(firstVis, lastVis, rowY, now);
        // Black borders round and between the leading body cells.
        ctx.fillStyle = Colour.border;
        for (const col of cols) {
            if (col.w > 0)
                ctx.fillRect(col.x + col.w - 1, bodyTop, 1, bodyBottom - bodyTop);
        }
        for (let i = firstVis; i <= lastVis; ++i)
            ctx.fillRect(0, rowY(i) + RowH - 1, lead, 1);
        if (page.stale === 'unreadable')
            hatch(0, bodyTop, W, Hh - bodyTop);
        ctx.restore();
        if (page.stale === 'unreadable') {
            ctx.save();
            ctx.beginPath();
            ctx.rect(lead, HeaderH, W - lead, Hh - HeaderH);
            ctx.clip();
            hatch(lead, bodyTop, W - lead, Hh - bodyTop);
            ctx.restore();
        }

        paintHeader(firstCol, lastCol, scaleX0);

        const spent = performance.now() - t0;
        const m = page.metrics;
        m.paints = (m.paints || 0) + 1;
        m.lastPaintMs = spent;
        m.maxPaintMs = Math.max(m.maxPaintMs || 0, spent);
        page.shown = {firstVis, lastVis, firstCol, lastCol, scrollLeft: sx, scrollTop: sy};
        if (page.flashes.length)
            schedulePaint();
    }

    function hatch(x, y, w, h) {
        ctx.fillStyle = 'rgba(128,128,128,0.16)';
        ctx.fillRect(x, y, w, h);
        ctx.strokeStyle = 'rgba(90,90,90,0.67)';
        ctx.lineWidth = 1;
        ctx.beginPath();
        for (let d = -h; d < w; d += 8) {
            ctx.moveTo(x + d, y + h);
            ctx.lineTo(x + d + h, y);
        }
        ctx.stroke();
    }

    function paintOutline(firstVis, lastVis, rowY) {
        const rows = page.rows;
        const vis = page.visible;
        const cx = Math.floor(OutlineW / 2);
        ctx.strokeStyle = Colour.outlineInk;
        ctx.lineWidth = 1;
        for (let i = firstVis; i <= lastVis; ++i) {
            const row = rows[vis[i]];
            const y = rowY(i);
            const cy = y + RowH / 2;
            ctx.beginPath();
            if (row[Level] <= 0) {
                const half = 5;
                ctx.fillStyle = '#ffffff';
                ctx.fillRect(cx - half, cy - half, 2 * half, 2 * half);
                ctx.rect(cx - half + 0.5, cy - half + 0.5, 2 * half, 2 * half);
                ctx.moveTo(cx - half + 2, cy + 0.5);
                ctx.lineTo(cx + half - 1, cy + 0.5);
                if (page.collapsed.has(collapseKey(row[Key]))) {
                    ctx.moveTo(cx + 0.5, cy - half + 2);
                    ctx.lineTo(cx + 0.5, cy + half - 1);
                }
            } else {
                const next = vis[i + 1];
                const more = vis[i] + 1 < rows.length && rows[vis[i] + 1][Level] > 0 && next === vis[i] + 1;
                ctx.moveTo(cx + 0.5, y);
                ctx.lineTo(cx + 0.5, more ? y + RowH : cy);
                ctx.moveTo(cx, cy + 0.5);
                ctx.lineTo(OutlineW - 3, cy + 0.5);
            }
            ctx.stroke();
        }
    }

    function paintLateBadges(firstVis, lastVis, rowY, now) {
        const key = layout.cols[1];
        if (key.w <= 0)
            return;
        const rows = page.rows;
        const vis = page.visible;
        ctx.font = SmallBoldFont;
        for (let i = firstVis; i <= lastVis; ++i) {
            if (rows[vis[i]][Level] > 0)
                continue;
            const late = lateCount(vis[i], now);
            if (!late)
                continue;
            const t = Vorn.format(Vorn.text(306, '%1 late'), late);
            const w = Math.ceil(ctx.measureText(t).width) + 8;
            const h = 14;
            const x = key.x + key.w - w - 3;
            const y = rowY(i) + (RowH - h) / 2;
            ctx.fillStyle = Colour.overrun;
            ctx.beginPath();
            if (ctx.roundRect)
                ctx.roundRect(x, y, w, h, 3);
            else
                ctx.rect(x, y, w, h);
            ctx.fill();
            ctx.fillStyle = '#ffffff';
            ctx.textAlign = 'center';
            ctx.fillText(t, x + w / 2, y + h / 2);
        }
    }

    function paintOverlays(firstVis, lastVis, rowY, scaleX0, now, nowMs, bodyTop, bodyBottom) {
        const rows = page.rows;
        const vis = page.visible;
        const nowX = xOfTime(now, scaleX0);
        for (let i = firstVis; i <= lastVis; ++i) {
            const r = vis[i];
            const row = rows[r];
            const top = rowY(i);
            const bp = Vorn.nearest(top + RowH / 2);
            const ta = bp + 1;
            const strength = flashStrength(r, nowMs);
            if (strength > 0) {
                const flash = page.flashes.find((f) => f.row === r);
                if (flash && flash.oldStart && flash.oldFinish) {
                    const x1 = xOfTime(Vorn.textSeconds(flash.oldStart), scaleX0);
                    const x2 = xOfTime(Vorn.textSeconds(flash.oldFinish), scaleX0);
                    if (x2 > x1) {
                        ctx.fillStyle = 'rgba(0,0,255,' + (Math.round(70 * strength) / 255) + ')';
                        ctx.fillRect(x1, top + 3, x2 - x1, bp - top - 3);
                    }
                }
            }
            const run = running(row, now);
            if (!run || now <= run.start)
                continue;
            const startX = xOfTime(run.start, scaleX0);
            const bandH = Math.max(1, Vorn.nearest(RowH / 2 + ta - 3) - ta);
            ctx.fillStyle = runningFill();
            ctx.fillRect(startX, ta, Math.max(0, nowX - startX), bandH);
            if (run.ghostEnd === null)
                continue;
            const ghostX = xOfTime(run.ghostEnd, scaleX0);
            if (run.late > 0 && nowX > ghostX) {
                ctx.fillStyle = Colour.overrun;
                ctx.fillRect(ghostX, ta, nowX - ghostX, bandH);
            }
            if (ghostX > startX) {
                ctx.fillStyle = Colour.ghostLine;
                const w = ghostX - startX;
                ctx.fillRect(startX, ta, w, 1);
                ctx.fillRect(startX, ta + bandH - 1, w, 1);
                ctx.fillRect(startX, ta, 1, bandH);
                ctx.fillRect(ghostX - 1, ta, 1, bandH);
            }
            if (run.late > 0) {
                ctx.font = SmallBoldFont;
                ctx.fillStyle = Colour.lateText;
                ctx.textAlign = 'left';
                ctx.fillText(lateText(run.late), nowX + 4, top + RowH / 2);
            }
        }
        ctx.fillStyle = Colour.nowLine;
        ctx.fillRect(nowX - 1, bodyTop, 2, bodyBottom - bodyTop);
        page.nowX = nowX;
    }

    function paintHeader(firstCol, lastCol, scaleX0) {
        const cols = layout.cols;
        const W = layout.viewW;
        const lead = layout.lead;
        ctx.fillStyle = Colour.headerBack;
        ctx.fillRect(0, 0, W, HeaderH);
        ctx.font = Font;
        ctx.fillStyle = Colour.headerText;
        const byPart = page.sort === 'part';
        drawText(headerText(byPart ? 53 : 43, byPart ? 'Part/Machine' : 'Machine/Part'), cols[1].x, 0, cols[1].w, 'center');
        const lower = [headerText(4, 'Start'), headerText(3, 'Finish'), headerText(2, 'Duration')];
        const upper = [headerText(44, 'Planned'), headerText(45, 'Actual')];
        for (let g = 0; g < 2; ++g) {
            let x1 = -1, x2 = -1;
            for (let c = 0; c < 3; ++c) {
                const col = cols[2 + 3 * g + c];
                if (col.w <= 0)
                    continue;
                if (x1 < 0)
                    x1 = col.x;
                x2 = col.x + col.w;
                drawText(lower[c], col.x, RowH, col.w, 'center');
            }
            if (x1 >= 0)
                drawText(upper[g], x1, 0, x2 - x1, 'center');
        }

        // The scale: each hour once over its columns, centred in the part
        // of it that shows; the minutes below.
        ctx.save();
        ctx.beginPath();
        ctx.rect(lead, 0, W - lead, HeaderH);
        ctx.clip();
        const I = page.interval;
        const run = layout.hourRun;
        for (let h = Math.floor(firstCol / run); h <= Math.floor(lastCol / run); ++h) {
            let x1 = scaleX0 + h * run * TimeW;
            let x2 = Math.min(x1 + run * TimeW, scaleX0 + layout.scaleCols * TimeW);
            ctx.fillStyle = Colour.border;
            ctx.fillRect(x2 - 1, 0, 1, RowH);
            x1 = Math.max(x1, lead);
            x2 = Math.min(x2, W);
            ctx.fillStyle = Colour.headerText;
            drawText(String(h), x1, 0, x2 - x1, 'center');
        }
        for (let k = firstCol; k <= lastCol; ++k) {
            const x = scaleX0 + k * TimeW;
            ctx.fillStyle = Colour.headerText;
            drawText(String((k * I) % 60), x, RowH, TimeW, 'center');
            ctx.fillStyle = Colour.border;
            ctx.fillRect(x + TimeW - 1, RowH, 1, RowH);
        }
        ctx.restore();

        // Header lines: none between the two rows of columns 0 and 1.
        ctx.fillStyle = Colour.border;
        ctx.fillRect(0, 0, Math.min(W, scaleX0 + layout.scaleCols * TimeW), 1);
        ctx.fillRect(0, HeaderH - 1, Math.min(W, scaleX0 + layout.scaleCols * TimeW), 1);
        ctx.fillRect(cols[2].x, RowH - 1, W - cols[2].x, 1);
        ctx.fillRect(cols[0].w - 1, 0, 1, HeaderH);
        ctx.fillRect(cols[1].x + cols[1].w - 1, 0, 1, HeaderH);
        for (let g = 0; g < 2; ++g) {
            let last = null;
            for (let c = 0; c < 3; ++c) {
                const col = cols[2 + 3 * g + c];
                if (col.w <= 0)
                    continue;
                ctx.fillRect(col.x + col.w - 1, RowH, 1, RowH);
                last = col;
            }
            if (last)
                ctx.fillRect(last.x + last.w - 1, 0, 1, RowH);
        }
    }

    // ---------- the change flash ----------

    // A person can follow only a few changes at once: a row flashes at
    // most once in ten seconds and at most eight rows flash together.
    const FadeMs = 2000, CoolDownMs = 10000, MaxFlashes = 8;
    function noteFlashes(changes, nowMs) {
        page.flashes = page.flashes.filter((f) => nowMs - f.start < FadeMs);
        for (const [row, t] of page.recentFlash) {
            if (nowMs - t >= CoolDownMs)
                page.recentFlash.delete(row);
        }
        for (const c of changes) {
            if (page.flashes.length >= MaxFlashes)
                break;
            if (page.recentFlash.has(c.row))
                continue;
            page.flashes.push({row: c.row, start: nowMs, oldStart: c.oldStart, oldFinish: c.oldFinish});
            page.recentFlash.set(c.row, nowMs);
        }
    }
    function flashStrength(row, nowMs) {
        if (!page.flashes.length)
            return 0;
        const f = page.flashes.find((x) => x.row === row);
        if (!f)
            return 0;
        const age = nowMs - f.start;
        if (age >= FadeMs) {
            page.flashes = page.flashes.filter((x) => nowMs - x.start < FadeMs);
            return 0;
        }
        return age < 0 ? 1 : 1 - age / FadeMs;
    }

    // ---------- stale banner ----------

    function updateBanner() {
        const banner = $('stale-banner');
        let t = '';
        if (page.stale === 'unreadable') {
            t = Vorn.format(Vorn.text(303, 'Schedule table unreadable since %1'),
                            new Date(page.staleSince).toLocaleTimeString(page.language === 'zh' ? 'zh-CN' : 'en-GB'));
        } else if (page.stale === 'unchanged') {
            let minutes = page.noChangeMinutes;
            if (page.lastChange) {
                const since = Math.floor((Date.now() - Date.parse(page.lastChange)) / 60000);
                if (since > minutes)
                    minutes = since;
            }
            t = Vorn.format(Vorn.text(304, 'No change for %1 min'), minutes);
        }
        const was = banner.hidden;
        banner.textContent = t;
        banner.hidden = !t;
        if (was !== banner.hidden)
            relayout();
    }

    // ---------- messages ----------

    function takeCommon(m, received) {
        page.now = m.now;
        page.nowAt = received;
        page.records = m.records;
        if (m.stale === 'unreadable' && page.stale !== 'unreadable')
            page.staleSince = Date.now();
        page.stale = m.stale;
        page.lastChange = m.lastChange;
        page.seq = m.seq;
    }

    function onView(m, received, bytes) {
        const t0 = performance.now();
        performance.mark('vorn-view-received');
        const first = page.views === 0;
        takeCommon(m, received);
        page.rows = m.rows;
        page.noChangeMinutes = m.noChangeMinutes || 0;
        if (!page.interval)
            page.interval = validInterval(page.chosenInterval) ? page.chosenInterval
                : (validInterval(m.interval) ? m.interval : 5);
        offerInterval(page.interval);
        $('interval').value = String(page.interval);
        page.flashes = [];
        ++page.views;
        ++page.version;
        rebuildGroups();
        rebuildVisible();
        const keepLeft = chart.scrollLeft, keepTop = chart.scrollTop;
        computeLayout();
        if (first)
            chart.scrollLeft = Math.max(0, Math.floor(nowSeconds() / layout.span) * TimeW - 4 * TimeW);
        else {
            chart.scrollLeft = keepLeft;
            chart.scrollTop = keepTop;
        }
        updateBanner();
        paint();
        const t1 = performance.now();
        const metrics = page.metrics;
        metrics.viewBytes = bytes;
        metrics.viewRows = m.rows.length;
        metrics.viewBuildMs = t1 - t0;
        // From the message's arrival to the first frame the browser shows.
        requestAnimationFrame(() => {
            const t2 = performance.now();
            performance.mark('vorn-view-shown');
            performance.measure('vorn-view', 'vorn-view-received', 'vorn-view-shown');
            metrics.viewToFrameMs = t2 - received;
            if (first)
                metrics.firstViewToFrameMs = t2 - received;
        });
    }

    function onTick(m, received) {
        if (m.seq !== page.seq + 1) {
            // A gap: only a fresh whole view puts the page right again.
            ++page.metrics.seqGaps;
            socket.restart();
            return;
        }
        takeCommon(m, received);
        const rows = page.rows;
        const flash = new Set(m.flash || []);
        const changes = [];
        for (const t of m.rows) {
            const row = rows[t[0]];
            if (!row)
                continue;
            if (flash.has(t[0]))
                changes.push({row: t[0], oldStart: row[PS], oldFinish: row[PF]});
            for (let c = 0; c < 6; ++c)
                row[PS + c] = t[1 + c];
        }
        ++page.ticks;
        ++page.version;
        page.lastTickAt = Date.now();
        if (changes.length)
            noteFlashes(changes, performance.now());
        updateBanner();
        schedulePaint();
    }

    const socket = new Vorn.LiveSocket(() => '/ws/cell/' + encodeURIComponent(cellName) + '?sort=' + page.sort, {
        message(m, received, bytes) {
            if (m.cell !== undefined && m.cell !== cellName)
                return;
            if (m.sort !== undefined && m.sort !== page.sort)
                return;
            if (m.type === 'view')
                onView(m, received, bytes);
            else if (m.type === 'tick')
                onTick(m, received);
        },
        state(state) {
            page.connection = state;
        },
    });
    page.metrics.seqGaps = 0;
    page.socket = socket;

    // ---------- user actions ----------

    function relayout() {
        computeLayout();
        schedulePaint();
    }

    function setSort(sort) {
        if (sort === page.sort)
            return;
        page.sort = sort;
        store('sort', sort);
        pressSortButtons();
        page.rows = [];
        page.visible = new Int32Array(0);
        page.seq = -1;
        relayout();
        socket.restart();
    }
    function pressSortButtons() {
        $('sort-machine').classList.toggle('pressed', page.sort === 'machine');
        $('sort-part').classList.toggle('pressed', page.sort === 'part');
    }

    // The time at the left edge of the scale stays where it was.
    function setInterval_(minutes) {
        if (!validInterval(minutes) || minutes === page.interval)
            return;
        const leftSeconds = chart.scrollLeft / TimeW * layout.span;
        page.interval = minutes;
        page.chosenInterval = minutes;
        store('interval', String(minutes));
        computeLayout();
        chart.scrollLeft = Math.round(leftSeconds / layout.span) * TimeW;
        schedulePaint();
    }

    function offerInterval(minutes) {
        const select = $('interval');
        if ([...select.options].some((o) => o.value === String(minutes)))
            return;
        const option = new Option(String(minutes), String(minutes));
        const after = [...select.options].find((o) => parseInt(o.value, 10) > minutes);
        select.add(option, after || null);
    }

    function saveCollapsed() {
        store('collapsed', JSON.stringify([...page.collapsed]));
    }

    // Collapsing keeps the row under the pointer where it is.
    function toggleGroup(rowIndex) {
        const key = collapseKey(page.rows[rowIndex][Key]);
        if (page.collapsed.has(key))
            page.collapsed.delete(key);
        else
            page.collapsed.add(key);
        saveCollapsed();
        rebuildVisible();
        relayout();
    }
    function setAll(collapse) {
        for (let i = 0; i < page.rows.length; ++i) {
            if (page.rows[i][Level] > 0)
                continue;
            const key = collapseKey(page.rows[i][Key]);
            if (collapse)
                page.collapsed.add(key);
            else
                page.collapsed.delete(key);
        }
        saveCollapsed();
        rebuildVisible();
        relayout();
    }

    function rowAt(clientX, clientY) {
        const rect = canvas.getBoundingClientRect();
        const x = clientX - rect.left;
        const y = clientY - rect.top;
        if (y < HeaderH)
            return null;
        const i = Math.floor((y - HeaderH + chart.scrollTop) / RowH);
        if (i < 0 || i >= page.visible.length)
            return null;
        return {i, row: page.visible[i], x, y};
    }

    canvas.addEventListener('click', (event) => {
        const hit = rowAt(event.clientX, event.clientY);
        if (hit && page.rows[hit.row][Level] <= 0 && hit.x < layout.cols[1].x + layout.cols[1].w)
            toggleGroup(hit.row);
    });

    function splitPartLabel(label) {
        if (label.endsWith(')')) {
            const open = label.lastIndexOf('(');
            if (open >= 0)
                return [label.slice(0, open), label.slice(open + 1, -1)];
        }
        return [label, ''];
    }
    function timesText(row, at) {
        let t = row[at];
        if (row[at + 1])
            t += ' \u2013 ' + row[at + 1];
        if (row[at + 2])
            t += ' (' + row[at + 2] + ')';
        return t;
    }

    // The viewer's tooltip: a group's totals, an operation's fields, times
    // and state.
    function tooltipLines(rowIndex) {
        const row = page.rows[rowIndex];
        const now = nowSeconds();
        const T = (id, f) => Vorn.text(id, f);
        const lines = [];
        if (row[Level] <= 0) {
            const t = groupTotals(rowIndex, now);
            lines.push([row[Key]]);
            lines.push([T(316, 'Operations'), t.operations]);
            lines.push([T(312, 'Finished'), t.finished]);
            lines.push([T(313, 'Running'), t.running]);
            lines.push([T(315, 'Late'), t.late]);
        } else {
            const group = groupKeyOf(rowIndex);
            const byMachine = page.sort === 'machine';
            const machine = byMachine ? group : row[Key];
            const [part, order] = splitPartLabel(byMachine ? row[Key] : group);
            lines.push([T(307, 'Part'), part]);
            lines.push([T(309, 'Machine'), machine]);
            if (order)
                lines.push([T(310, 'Order'), order]);
        }
        lines.push([T(44, 'Planned'), timesText(row, PS)]);
        lines.push([T(45, 'Actual'), timesText(row, AS)]);
        if (row[Level] > 0) {
            const run = running(row, now);
            let status = row[AF] !== '' ? T(312, 'Finished') : T(314, 'Waiting');
            if (run)
                status = T(313, 'Running');
            lines.push([T(311, 'Status'), status]);
            if (run && run.late > 0)
                lines.push([T(315, 'Late'), lateText(run.late)]);
        }
        return lines;
    }

    let tooltipRow = -1;
    canvas.addEventListener('mousemove', (event) => {
        const hit = rowAt(event.clientX, event.clientY);
        if (!hit) {
            tooltip.hidden = true;
            tooltipRow = -1;
            return;
        }
        if (hit.row !== tooltipRow) {
            tooltipRow = hit.row;
            const table = document.createElement('table');
            for (const line of tooltipLines(hit.row)) {
                const tr = table.insertRow();
                const a = tr.insertCell();
                a.textContent = line[0];
                if (line.length === 1) {
                    a.colSpan = 2;
                    a.className = 'head';
                } else {
                    tr.insertCell().textContent = line[1];
                }
            }
            tooltip.replaceChildren(table);
        }
        tooltip.hidden = false;
        const x = Math.min(event.clientX + 14, window.innerWidth - tooltip.offsetWidth - 4);
        const y = event.clientY + 18 + tooltip.offsetHeight > window.innerHeight
            ? event.clientY - tooltip.offsetHeight - 6 : event.clientY + 18;
        tooltip.style.left = Math.max(0, x) + 'px';
        tooltip.style.top = Math.max(0, y) + 'px';
    });
    canvas.addEventListener('mouseleave', () => {
        tooltip.hidden = true;
        tooltipRow = -1;
    });

    chart.addEventListener('scroll', () => {
        tooltip.hidden = true;
        tooltipRow = -1;
        schedulePaint();
    }, {passive: true});
    window.addEventListener('resize', relayout);

    $('sort-machine').addEventListener('click', () => setSort('machine'));
    $('sort-part').addEventListener('click', () => setSort('part'));
    $('interval').addEventListener('change', (e) => setInterval_(parseInt(e.target.value, 10)));
    $('collapse-all').addEventListener('click', () => setAll(true));
    $('expand-all').addEventListener('click', () => setAll(false));
    let searchTimer = 0;
    $('search').addEventListener('input', (e) => {
        clearTimeout(searchTimer);
        searchTimer = setTimeout(() => {
            page.query = e.target.value;
            rebuildVisible();
            relayout();
        }, 120);
    });
    for (const box of document.querySelectorAll('#columns input[type=checkbox]')) {
        const i = parseInt(box.dataset.col, 10);
        box.checked = !page.hiddenCols[i];
        box.addEventListener('change', () => {
            page.hiddenCols[i] = !box.checked;
            store('columns', JSON.stringify(page.hiddenCols));
            relayout();
        });
    }

    // Scrolls the chart a row at a time for a while, one step a frame, and
    // tells how the frames went: the figure behind "scrolls at 60 frames a
    // second".
    page.measureScroll = (durationMs, rowsPerFrame) => new Promise((resolve) => {
        const frames = [];
        const paints = [];
        const step = (rowsPerFrame || 3) * RowH;
        let last = performance.now();
        const end = last + (durationMs || 2000);
        let down = true;
        const frame = (t) => {
            frames.push(t - last);
            last = t;
            paints.push(page.metrics.lastPaintMs || 0);
            if (t >= end) {
                frames.shift();
                const sorted = [...frames].sort((a, b) => a - b);
                const total = frames.reduce((a, b) => a + b, 0);
                resolve({
                    frames: frames.length,
                    fps: frames.length / (total / 1000),
                    medianFrameMs: sorted[Math.floor(sorted.length / 2)],
                    worstFrameMs: sorted[sorted.length - 1],
                    averagePaintMs: paints.reduce((a, b) => a + b, 0) / paints.length,
                    p90PaintMs: [...paints].sort((a, b) => a - b)[Math.floor(paints.length * 0.9)],
                    worstPaintMs: Math.max(...paints),
                });
                return;
            }
            const max = chart.scrollHeight - chart.clientHeight;
            if (down && chart.scrollTop + step > max)
                down = false;
            else if (!down && chart.scrollTop - step < 0)
                down = true;
            chart.scrollTop += down ? step : -step;
            chart.scrollLeft += down ? 1 : -1;
            requestAnimationFrame(frame);
        };
        requestAnimationFrame(frame);
    });

    // Where a row shows, for whoever checks the picture: the row's box in
    // page pixels, after scrolling it into sight.
    page.showRow = (rowIndex) => {
        const i = page.visible.indexOf(rowIndex);
        if (i < 0)
            return null;
        const top = i * RowH;
        if (top < chart.scrollTop || top + RowH > chart.scrollTop + chart.clientHeight - HeaderH)
            chart.scrollTop = Math.max(0, top - 3 * RowH);
        paint();
        const rect = canvas.getBoundingClientRect();
        return {top: rect.top + HeaderH + i * RowH - chart.scrollTop, left: rect.left};
    };
    // The x on the page of a time of day, with the chart scrolled to it.
    page.showTime = (seconds) => {
        const k = Math.floor(seconds / layout.span);
        const x = k * TimeW;
        const scaleW = chart.clientWidth - layout.lead;
        if (x < chart.scrollLeft || x + TimeW > chart.scrollLeft + scaleW)
            chart.scrollLeft = Math.max(0, x - Math.floor(scaleW / 3));
        paint();
        return canvas.getBoundingClientRect().left + xOfTime(seconds, layout.lead - chart.scrollLeft);
    };
    page.canvasLeft = () => canvas.getBoundingClientRect().left;
    page.toggleGroup = toggleGroup;
    page.layout = layout;

    // The now line moves, late texts count up and the banner's minutes too.
    setInterval(() => {
        if (page.rows.length || page.views) {
            updateBanner();
            schedulePaint();
        }
    }, 1000);

    Vorn.onLanguage((lang) => {
        page.language = lang;
        document.title = cellName + ' – ' + Vorn.text(1, 'Vorn Scheduler');
        updateBanner();
        if (page.views)
            rebuildVisible();
        schedulePaint();
    });

    $('cell-name').textContent = cellName;
    document.title = cellName + ' – Vorn Scheduler';
    $('plant-link').href = Vorn.withToken('/');
    pressSortButtons();
    Vorn.setUpLanguageSwitch($('language'));
    Vorn.connectionLine($('connection'), socket);
    computeLayout();
    Vorn.loadStrings(Vorn.chosenLanguage()).catch(() => {}).finally(() => {
        $('language').value = page.language || 'en';
    });
    socket.start();
})();
