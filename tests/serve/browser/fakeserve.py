#!/usr/bin/python3
"""A stand-in for the plant view's server while the pages are made and
tested: the same routes and messages (docs/plantview.md), worked out from
the cells' tables every 500 ms by a few lines of Python.

    fakeserve.py --cell NAME=FOLDER [--cell ...] [--listen 127.0.0.1:8470]
                 [--token-file FILE] [--no-change-minutes N] [--interval MIN]

It says where it listens on one line on standard output."""

import argparse
import asyncio
import datetime
import hmac
import http
import json
import os
import re
import sys
import time
import urllib.parse
import xml.etree.ElementTree as ET

import websockets
from websockets.datastructures import Headers

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dbftables  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
STATIC = os.path.join(ROOT, "res", "serve")
STRINGS = {"en": os.path.join(ROOT, "res", "strings", "en.json"),
           "zh": os.path.join(ROOT, "res", "strings", "zh_CN.json")}
TYPES = {".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8",
         ".css": "text/css; charset=utf-8", ".png": "image/png", ".svg": "image/svg+xml"}
NUMERIC = re.compile(r"^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$")


def static_files():
    tree = ET.parse(os.path.join(STATIC, "serve.qrc"))
    return {f.text.strip() for f in tree.iter("file")}


def seconds_value(text):
    """Whole seconds of a numeric field, halves to even; None for no value."""
    if not NUMERIC.match(text):
        return None
    return int(round(float(text)))


def seconds_text(n):
    if n is None:
        return ""
    h = int(n / 3600)
    m = int(n / 60) - h * 60
    s = n - h * 3600 - m * 60
    if abs(h) >= 92:
        return ""
    part = lambda v: ("-" if v < 0 else "") + str(abs(v)).rjust(2, "0")  # noqa: E731
    text = part(h) + ":" + part(m) + ":" + part(s)
    return "" if text == "00:00:00" else text


def fill(records, sort):
    """The grid's rows: groups in the order of their first record, details
    in table order, group rows with their earliest start and latest finish."""
    rows, groups, order = [], {}, []
    for number, r in enumerate(records, 1):
        part, machine, order_name = r[0].rstrip(), r[2].rstrip(), r[3].rstrip()
        label = part + ("(" + order_name + ")" if order_name else "")
        key, other = (machine, label) if sort == "machine" else (label.rstrip(), machine)
        if not key:
            continue
        if key not in groups:
            groups[key] = (number, [])
            order.append(key)
        groups[key][1].append((number, other, r))
    for key in order:
        first, details = groups[key]
        agg = [0, 0, 0, 0]
        body = []
        for number, other, r in details:
            times = [seconds_value(r[i].rstrip()) for i in range(4, 10)]
            body.append([1, number, other] + [seconds_text(t) for t in times])
            ps, pf, as_, af = times[0], times[1], times[3], times[4]
            if ps is not None and (agg[0] == 0 or ps < agg[0]):
                agg[0] = ps
            if pf is not None and (agg[1] == 0 or pf > agg[1]):
                agg[1] = pf
            if as_ is not None and (agg[2] == 0 or as_ < agg[2]):
                agg[2] = as_
            if af is not None and (agg[3] == 0 or af > agg[3]):
                agg[3] = af
        summary = [agg[0], agg[1], agg[1] - agg[0], agg[2], agg[3], agg[3] - agg[2]]
        rows.append([0, first, key] + [seconds_text(v) for v in summary])
        rows.extend(body)
    return rows


def iso(t):
    return None if t is None else datetime.datetime.fromtimestamp(t, datetime.timezone.utc).strftime(
        "%Y-%m-%dT%H:%M:%SZ")


def day_seconds():
    t = time.localtime()
    return t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec


class Cell:
    def __init__(self, name, folder, no_change_minutes, interval):
        self.name, self.folder = name, folder
        self.no_change_minutes, self.interval = no_change_minutes, interval
        self.records, self.raw, self.readable = [], None, False
        self.last_change = None
        self.views = {}  # sort -> {"rows", "seq", "clients"}

    def read(self):
        """True when the table's bytes changed; unreadable on any error."""
        try:
            for name in ("Aplan.dbf", "Process.dbf"):
                if not os.path.isfile(os.path.join(self.folder, name)):
                    raise OSError(name)
            path = os.path.join(self.folder, "Scheduler.dbf")
            with open(path, "rb") as f:
                raw = f.read()
            if raw == self.raw and self.readable:
                return False
            records = dbftables.read(path)
        except (OSError, ValueError, IndexError):
            was = self.readable
            self.readable = False
            return was
        changed = raw != self.raw or not self.readable
        if raw != self.raw:
            self.last_change = time.time()
        self.raw, self.records, self.readable = raw, records, True
        return changed

    def stale(self):
        if not self.readable:
            return "unreadable"
        if self.last_change is not None and time.time() - self.last_change >= self.no_change_minutes * 60:
            return "unchanged"
        return ""

    def message(self, kind, sort, rows, seq, extra=None):
        m = {"type": kind, "cell": self.name, "sort": sort, "seq": seq, "now": day_seconds(),
             "records": len(self.records), "stale": self.stale(), "lastChange": iso(self.last_change)}
        if kind == "view":
            m.update({"interval": self.interval, "noChangeMinutes": self.no_change_minutes})
        m["rows"] = rows
        m.update(extra or {})
        return json.dumps(m, separators=(",", ":"))

    def whole_view(self, sort):
        if sort not in self.views:
            self.views[sort] = {"rows": fill(self.records, sort), "seq": 0, "clients": set()}
        view = self.views[sort]
        return self.message("view", sort, view["rows"], view["seq"])

    def summary(self):
        now = day_seconds()
        running = late = 0
        timeline = []
        for r in self.records:
            t = [seconds_value(r[i].rstrip()) for i in range(4, 10)]
            is_running = t[3] is not None and t[3] != 0 and not t[4]
            if is_running:
                running += 1
                if t[2] and now > t[3] + t[2]:
                    late += 1
            ps, pf = t[0] or 0, t[1] or 0
            if is_running or (pf >= now and ps < now + 4 * 3600):
                timeline.append([r[2].rstrip(), ps, pf, t[3] if t[3] else -1, t[4] if t[4] else -1])
        timeline.sort(key=lambda item: item[1])
        return {"name": self.name, "records": len(self.records), "running": running, "late": late,
                "lastChange": iso(self.last_change), "stale": self.stale(), "timeline": timeline[:200]}


class Server:
    def __init__(self, cells, token):
        self.cells = {c.name: c for c in cells}
        self.token = token
        self.static = static_files()
        self.plant_clients = set()
        self.last_plant = None

    def plant_message(self):
        return json.dumps({"type": "plant", "now": day_seconds(),
                           "cells": [c.summary() for c in self.cells.values()]}, separators=(",", ":"))

    def token_ok(self, query, headers):
        if not self.token:
            return True
        given = query.get("token", [None])[0]
        if given is None:
            for piece in headers.get("Cookie", "").split(";"):
                name, _, value = piece.strip().partition("=")
                if name == "vorn_token":
                    given = urllib.parse.unquote(value)
        return given is not None and hmac.compare_digest(given.encode(), self.token.encode())

    @staticmethod
    def answer(status, body, kind="text/plain; charset=utf-8", extra=()):
        headers = Headers()
        headers["Content-Type"] = kind
        headers["Content-Security-Policy"] = ("default-src 'none'; script-src 'self'; style-src 'self'; "
                                              "img-src 'self' data:; connect-src 'self'; base-uri 'none'; "
                                              "form-action 'none'; frame-ancestors 'none'")
        headers["X-Content-Type-Options"] = "nosniff"
        headers["Cache-Control"] = "no-store"
        for name, value in extra:
            headers[name] = value
        if isinstance(body, str):
            body = body.encode("utf-8")
        return http.HTTPStatus(status), headers, body

    async def process_request(self, path, headers):
        url = urllib.parse.urlsplit(path)
        query = urllib.parse.parse_qs(url.query)
        route = urllib.parse.unquote(url.path)
        if not self.token_ok(query, headers):
            return self.answer(401, "no or wrong token\n")
        if route.startswith("/ws/"):
            return None
        extra = []
        if self.token and "token" in query:
            extra.append(("Set-Cookie", "vorn_token=" + urllib.parse.quote(self.token)
                          + "; HttpOnly; SameSite=Strict; Path=/"))
        if route == "/":
            return self.page("index.html", extra)
        if route.startswith("/cell/"):
            if route[6:] not in self.cells:
                return self.answer(404, "no such cell\n")
            return self.page("cell.html", extra)
        if route.startswith("/static/"):
            name = route[8:]
            if name not in self.static:
                return self.answer(404, "no such file\n")
            return self.page(name, extra)
        if route in ("/api/strings/en", "/api/strings/zh"):
            with open(STRINGS[route[-2:]], "rb") as f:
                return self.answer(200, f.read(), "application/json")
        if route == "/api/cells":
            return self.answer(200, self.plant_message(), "application/json")
        m = re.fullmatch(r"/api/cells/([^/]+)/rows", route)
        if m:
            cell = self.cells.get(m.group(1))
            if not cell:
                return self.answer(404, "no such cell\n")
            sort = query.get("sort", ["machine"])[0]
            if sort not in ("machine", "part"):
                return self.answer(400, "bad sort\n")
            return self.answer(200, cell.whole_view(sort), "application/json")
        return self.answer(404, "no such path\n")

    def page(self, name, extra):
        with open(os.path.join(STATIC, name), "rb") as f:
            return self.answer(200, f.read(), TYPES.get(os.path.splitext(name)[1], "application/octet-stream"),
                               extra)

    async def handler(self, ws):
        url = urllib.parse.urlsplit(ws.path)
        route = urllib.parse.unquote(url.path)
        query = urllib.parse.parse_qs(url.query)
        if route == "/ws/plant":
            self.plant_clients.add(ws)
            try:
                await ws.send(self.plant_message())
                await ws.wait_closed()
            finally:
                self.plant_clients.discard(ws)
            return
        m = re.fullmatch(r"/ws/cell/([^/]+)", route)
        sort = query.get("sort", ["machine"])[0]
        cell = self.cells.get(m.group(1)) if m else None
        if not cell or sort not in ("machine", "part"):
            await ws.close(1008, "no such cell")
            return
        message = cell.whole_view(sort)
        view = cell.views[sort]
        view["clients"].add(ws)
        try:
            await ws.send(message)
            await ws.wait_closed()
        finally:
            view["clients"].discard(ws)

    def tick(self):
        plant_moved = False
        for cell in self.cells.values():
            was_stale = cell.stale()
            changed = cell.read()
            stale_moved = cell.stale() != was_stale
            plant_moved = plant_moved or changed or stale_moved
            for sort, view in cell.views.items():
                if not (changed or stale_moved):
                    continue
                rows = fill(cell.records, sort) if cell.readable else view["rows"]
                old = view["rows"]
                view["seq"] += 1
                if len(rows) != len(old) or any(a[:3] != b[:3] for a, b in zip(rows, old)):
                    message = cell.message("view", sort, rows, view["seq"])
                else:
                    moved = [i for i, (a, b) in enumerate(zip(rows, old)) if a[3:] != b[3:]]
                    flash = [i for i in moved if rows[i][3:5] != old[i][3:5]]
                    message = cell.message("tick", sort, [[i] + rows[i][3:] for i in moved], view["seq"],
                                           {"flash": flash})
                view["rows"] = rows
                websockets.broadcast(view["clients"], message)
        minute = int(time.time() // 60)
        if plant_moved or minute != self.last_plant:
            self.last_plant = minute
            websockets.broadcast(self.plant_clients, self.plant_message())


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cell", action="append", default=[])
    parser.add_argument("--listen", default="127.0.0.1:8470")
    parser.add_argument("--token-file")
    parser.add_argument("--no-change-minutes", type=int, default=5)
    parser.add_argument("--interval", type=int, default=5)
    args = parser.parse_args()
    cells = []
    for spec in args.cell or ["Cell1=" + os.path.join(os.getcwd(), "..", "data")]:
        name, _, folder = spec.partition("=")
        cells.append(Cell(name, folder, args.no_change_minutes, args.interval))
    token = None
    if args.token_file:
        with open(args.token_file) as f:
            token = f.read().strip()
    server = Server(cells, token)
    for cell in cells:
        cell.read()
    host, _, port = args.listen.rpartition(":")
    async with websockets.serve(server.handler, host, int(port), process_request=server.process_request,
                                max_size=1024, compression=None) as ws_server:
        bound = ws_server.sockets[0].getsockname()
        print("listening on http://%s:%d/" % (bound[0], bound[1]), flush=True)
        while True:
            await asyncio.sleep(0.5)
            server.tick()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
