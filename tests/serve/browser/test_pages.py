#!/usr/bin/python3
"""The plant view's pages in headless chromium (selenium) against the server
VORN_SERVE names (a command line; the data folders and the address are added):

    VORN_SERVE=build/src/serve/vorn-scheduler-serve tests/serve/browser/test_pages.py

Screenshots go to VORN_BROWSER_OUT (default build/browser-shots)."""

import json
import os
import shlex
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, HERE)
import dbftables  # noqa: E402

TOKEN = "s3cret-token"
OUT = os.environ.get("VORN_BROWSER_OUT", os.path.join(ROOT, "build", "browser-shots"))
BLUE, RED = (0, 0, 255), (255, 0, 0)


def rec(part, machine, order, ps, pf, pd, as_=None, af=None, ad=None):
    return [part, "Proc", machine, order, ps, pf, pd, as_, af, ad, ""]


# A known cell: two machines, three parts, finished, running-free rows.
ALPHA = [rec("P1", "M1", "O1", 7200, 9000, 1800, 7500, 9300, 1800),
         rec("P2", "M2", "", 8100, 10800, 2700, 8400, 11100, 2700),
         rec("P1", "M2", "O1", 9000, 9900, 900),
         rec("P3", "M1", "O2", 10800, 12600, 1800, 10800, 12900, 2100),
         rec("P2", "M1", "", 12600, 13500, 900)]
# Its view by machine: a row for each machine, then one for each record.
ALPHA_ROWS = 7
BIG_RECORDS = 100000


def big_table():
    starts = ((i, (i * 37) % 80000) for i in range(BIG_RECORDS))
    return [rec("Part%d" % (i % 4000), "Mach%d" % (i % 60), "O%d" % (i % 7), s, s + 600, 600, s + 30, s + 660, 630)
            for i, s in starts]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def png_pixels(data):
    """Width, height and a pixel reader of a PNG, through ImageMagick."""
    width, height = struct.unpack(">II", data[16:24])
    rgb = subprocess.run(["convert", "png:-", "-depth", "8", "rgb:-"], input=data, capture_output=True,
                         check=True).stdout
    return width, height, lambda x, y: tuple(rgb[(y * width + x) * 3:(y * width + x) * 3 + 3])


class Pages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="vorn-pages-")
        base = cls.tmp.name
        cls.alpha = os.path.join(base, "alpha")
        dbftables.write_cell(cls.alpha, ALPHA)
        dbftables.write_cell(os.path.join(base, "big"), big_table())
        os.makedirs(os.path.join(base, "gone"))  # a folder without its tables
        token_file = os.path.join(base, "token")
        with open(token_file, "w") as f:
            f.write(TOKEN + "\n")
        cls.port = free_port()
        cls.base = "http://127.0.0.1:%d" % cls.port
        serve = shlex.split(os.environ["VORN_SERVE"])
        cls.command = serve + ["--cell", "Alpha=" + cls.alpha, "--cell", "Big=" + os.path.join(base, "big"),
                               "--cell", "Gone=" + os.path.join(base, "gone"),
                               "--listen", "127.0.0.1:%d" % cls.port, "--token-file", token_file]
        cls.start_server()
        os.makedirs(OUT, exist_ok=True)
        options = webdriver.ChromeOptions()
        for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,900",
                  "--force-device-scale-factor=1", "--lang=en-GB", "--hide-scrollbars"):
            options.add_argument(a)
        options.binary_location = "/usr/bin/chromium"
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.driver.set_script_timeout(20)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.stop_server()
        cls.tmp.cleanup()

    @classmethod
    def start_server(cls):
        # Its notes go to a file: a pipe nobody reads could stall it.
        cls.errors = open(os.path.join(cls.tmp.name, "server.err"), "w+b")
        cls.server = subprocess.Popen(cls.command, stdout=subprocess.DEVNULL, stderr=cls.errors)
        deadline = time.time() + 20
        while time.time() < deadline:
            try:
                socket.create_connection(("127.0.0.1", cls.port), 0.2).close()
                return
            except OSError:
                time.sleep(0.05)
        cls.errors.seek(0)
        raise RuntimeError("the server did not listen: " + cls.errors.read(2000).decode())

    @classmethod
    def stop_server(cls):
        cls.server.terminate()
        cls.server.wait(10)
        cls.errors.close()

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def wait(self, script, expected=True, timeout=5.0):
        """Until the script returns `expected`; a failure shows what it returned last."""
        deadline = time.time() + timeout
        while (value := self.js(script)) != expected and time.time() < deadline:
            time.sleep(0.05)
        self.assertEqual(value, expected, script)

    def open(self, path):
        """A page with the token, starting from a clean slate of choices."""
        self.driver.get(self.base + path + ("&" if "?" in path else "?") + "token=" + TOKEN)
        self.js("localStorage.clear()")
        self.driver.refresh()
        self.wait("return window.vornPage && (vornPage.views > 0 || vornPage.messages > 0)", timeout=10)

    def shot(self, name):
        data = self.driver.get_screenshot_as_png()
        with open(os.path.join(OUT, name + ".png"), "wb") as f:
            f.write(data)
        return png_pixels(data)

    def row_index(self, record, level=1):
        return self.js("return vornPage.rows.findIndex(r => r[0] === %d && r[1] === %d)" % (level, record))

    def bar_colours(self, record, seconds, name):
        """The colours in the middle of the planned and the actual band of a
        record's row at a time of day, read from a screenshot; None where
        neither bar's colour is."""
        row = self.row_index(record)
        x = self.js("return vornPage.showTime(arguments[0])", seconds)
        box = self.js("return vornPage.showRow(arguments[0])", row)
        now_x = self.js("return vornPage.nowX + vornPage.canvasLeft()")
        if abs(now_x - x) < 4:
            x += 6  # clear of the now line
        _, _, pixel = self.shot(name)
        return tuple(c if c in (BLUE, RED) else None for c in (pixel(int(x), int(box["top"]) + 6),
                                                                pixel(int(x), int(box["top"]) + 14)))

    def csp_violations(self):
        return [e["message"] for e in self.driver.get_log("browser") if "Content Security Policy" in e["message"]]

    def test_plant_page_lists_cells_and_opens_one(self):
        # The server's own test goes through every way of showing a token;
        # here the token file must reach the server at all.
        self.driver.delete_all_cookies()
        self.driver.get(self.base + "/cell/Alpha?token=wrong")
        time.sleep(0.5)
        self.assertIsNone(self.js("return window.vornPage || null"))
        self.open("/")
        self.wait("return [...document.querySelectorAll('#cells tbody tr')].map(tr => [tr.dataset.cell, "
                  "tr.querySelector('.records').textContent, tr.classList.contains('stale')])",
                  [["Alpha", "5", False], ["Big", str(BIG_RECORDS), False], ["Gone", "0", True]])
        self.shot("plant")
        for _ in range(5):   # a live update may redraw the list between the find and the click
            try:
                self.driver.find_element(By.CSS_SELECTOR, "#cells tbody tr[data-cell=Alpha] td.state").click()
                break
            except StaleElementReferenceException:
                pass
        self.wait("return location.pathname === '/cell/Alpha' && window.vornPage && vornPage.views > 0")
        self.assertEqual(self.csp_violations(), [])
        self.open("/cell/Gone")
        banner = self.driver.find_element(By.ID, "stale-banner")
        self.assertTrue(banner.is_displayed())
        self.assertRegex(banner.text, r"^Schedule table unreadable since \d\d:\d\d:\d\d$")
        self.shot("cell-unreadable")

    def test_change_on_disk_shows_without_reload(self):
        self.open("/cell/Alpha")
        self.js("window.notReloaded = true")
        m1 = self.js("return vornPage.rows.findIndex(r => r[0] === 0 && r[2] === 'M1')")
        self.js("vornPage.toggleGroup(arguments[0])", m1)
        self.js("document.getElementById('chart').scrollLeft = 300")
        changed = rec("P2", "M2", "", 8700, 11400, 2700, 8400, 11100, 2700)
        # What the user set, which no change on disk may undo: no reload, the scroll, the collapsed group.
        kept = lambda: self.js("return [window.notReloaded === true, document.getElementById('chart').scrollLeft, "
                               "vornPage.visible.length]")
        started = time.time()
        dbftables.rewrite_record(self.alpha, 1, changed)
        try:
            self.wait("return vornPage.rows.some(r => r[1] === 2 && r[0] === 1 && r[3] === '02:25:00')", timeout=2.0)
            seen = time.time() - started
            self.assertEqual(kept(), [True, 300, ALPHA_ROWS - 3])
            self.assertIn(self.row_index(2), self.js("return vornPage.flashes.map(f => f.row)"))
            print("\n  change shown after %.2f s" % seen, file=sys.stderr)
            # A record more rebuilds the rows: what the user set stays.
            dbftables.write_cell(self.alpha, ALPHA + [rec("P9", "M2", "", 3600, 4200, 600)])
            self.wait("return vornPage.rows.length", ALPHA_ROWS + 1, 2.0)
            self.assertEqual(kept(), [True, 300, ALPHA_ROWS - 2])
        finally:
            dbftables.write_cell(self.alpha, ALPHA)
        self.wait("return vornPage.rows.length === 7 && vornPage.rows[5][3] === '02:15:00'", timeout=3.0)

    def test_cell_rows_bars_collapse_sort_interval_search_and_language(self):
        self.open("/cell/Alpha")
        # (record, time of day, planned band, actual band); None: neither bar.
        for record, seconds, planned, actual, what in (
                (2, 2 * 3600 + 40 * 60, BLUE, RED, "inside-both"),
                (2, 2 * 3600 + 10 * 60, None, None, "before-both"),
                (3, 2 * 3600 + 40 * 60, BLUE, None, "planned-only"),
                (2, 3 * 3600 + 2 * 60, None, RED, "next-hour-planned-ends-at-column-start")):
            self.assertEqual(self.bar_colours(record, seconds, "cell-bars-" + what), (planned, actual), what)
        # A click on the group's box in the outline column.
        box = self.js("return vornPage.showRow(0)")
        canvas = self.driver.find_element(By.ID, "canvas")
        rect = canvas.rect
        webdriver.ActionChains(self.driver).move_to_element_with_offset(
            canvas, int(13 - rect["width"] / 2), int(box["top"] + 10 - rect["y"] - rect["height"] / 2)).click().perform()
        self.assertEqual(self.js("return Array.from(vornPage.visible)"), [0, 4, 5, 6])
        self.shot("cell-collapsed")
        # The tooltip of the row under the pointer: record 2, machine M2.
        webdriver.ActionChains(self.driver).move_by_offset(150, 2 * 20).perform()
        self.assertEqual(self.driver.find_element(By.ID, "tooltip").text.split("\n")[:2], ["Part P2", "Machine M2"])
        self.driver.find_element(By.CSS_SELECTOR, "#columns input[data-col='1']").click()
        self.assertEqual(self.js("return vornPage.layout.cols.map(c => c.w > 0)"), [True] * 3 + [False] + [True] * 4)
        self.driver.find_element(By.ID, "expand-all").click()
        self.assertEqual(self.js("return vornPage.visible.length"), 7)

        for sort, rows in (("part", 8), ("machine", ALPHA_ROWS)):
            self.driver.find_element(By.ID, "sort-" + sort).click()
            self.wait("return [vornPage.sort, vornPage.rows.length]", [sort, rows])

        Select(self.driver.find_element(By.ID, "interval")).select_by_visible_text("12")
        self.assertEqual(self.js("return [vornPage.interval, vornPage.layout.scaleCols]"), [12, 120])
        # 02:24-02:36 is one column now: blue and red across it.
        self.assertEqual(self.bar_colours(2, 2 * 3600 + 30 * 60, "cell-interval-12"), (BLUE, RED))

        search = self.driver.find_element(By.ID, "search")
        for text, visible in (("p3", [0, 2]), ("O1", [0, 1, 4, 6])):
            search.clear()
            search.send_keys(text)
            self.wait("return Array.from(vornPage.visible)", visible)

        Select(self.driver.find_element(By.ID, "language")).select_by_value("zh")
        self.wait("return document.documentElement.lang === 'zh-CN'")
        self.assertEqual(self.js("return document.querySelector('[data-text=\"7\"]').textContent"), "间隔 （分钟）")
        self.shot("cell-chinese")
        Select(self.driver.find_element(By.ID, "language")).select_by_value("en")
        self.assertEqual(self.csp_violations(), [])

    def test_reconnects_after_a_server_restart(self):
        self.open("/cell/Alpha")
        self.js("window.notReloaded = true")
        views = self.js("return vornPage.views")
        self.stop_server()
        try:
            self.wait("return vornPage.connection === 'lost'")
            self.assertIn("Connection lost", self.driver.find_element(By.ID, "connection").text)
            self.shot("cell-connection-lost")
        finally:
            self.start_server()
        self.wait("return vornPage.connection === 'open' && vornPage.views > %d" % views, timeout=15)
        self.assertEqual(self.js("return [window.notReloaded === true, vornPage.rows.length]"), [True, ALPHA_ROWS])

    def test_big_cell_opens_and_scrolls(self):
        self.open("/cell/Big")
        self.wait("return vornPage.metrics.firstViewToFrameMs !== undefined", timeout=10)
        metrics = self.js("return vornPage.metrics")
        self.assertEqual(metrics["viewRows"], BIG_RECORDS + 60)
        scroll = self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1]; vornPage.measureScroll(2000, 3).then(done)")
        self.shot("cell-big")
        print("\n  100,000 records: %s; scrolling: %s" % (json.dumps(metrics), json.dumps(scroll)),
              file=sys.stderr)
        # The times are figures for the README, printed above, never asserted:
        # a busy machine stretches them without the page being wrong.
        self.assertGreater(scroll["frames"], 0)

if __name__ == "__main__":
    unittest.main(verbosity=2)
