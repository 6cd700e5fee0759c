#!/usr/bin/env python3
"""velk's HTML report in a real browser.

Runs velk to write pages, opens each in headless Chromium through the DevTools protocol on a
pipe, and checks that the page loads with no request leaving the file, that every method and
size of the run appears in the rendered text, that each chart's panel is a well-formed SVG
document with a title and a description that reach the accessibility tree and its markers inside
the drawing, and that the page prints. At a wide and a narrow window (1400 and 400 px) it takes a
screenshot of the page (kept in the work folder) and checks that it is not blank, that no text
renders under 10 px and that no two entries of a legend look alike (the same colour and the same
marker).

    html_browser_test.py --velk VELK --chromium CHROMIUM --work FOLDER
    html_browser_test.py --chromium CHROMIUM --screenshot OUT.png [--part ID] [--width PX] PAGE.html

The second form only takes a screenshot of a page, or of one of its sections (distribution,
comparisons, time, relative, threads, layout, bytes, rows; with several key sets, set-1 and
time-1 and so on), as the README's are made.
Needs nothing but Python's standard library and Chromium; a tool that is missing fails the
test with a line that says so.
"""

import argparse
import base64
import csv
import json
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree
import zlib

SVG = "{http://www.w3.org/2000/svg}"
WAIT_SECONDS = 60
VIEWPORT_WIDTH = 1100
# The windows the page is looked at in: a desktop's and a telephone's.
WIDTHS = (1400, 400)
SMALLEST_TEXT_PX = 10


class Failure(Exception):
    """A check that did not hold: the test fails with its message."""


def check(condition, message):
    if not condition:
        raise Failure(message)


class Browser:
    """Headless Chromium driven over --remote-debugging-pipe: the protocol's messages are JSON
    texts, each ended by a NUL byte, that Chromium reads on its descriptor 3 and writes on 4."""

    def __init__(self, chromium, profile):
        to_browser, self._to = os.pipe()
        self._from, from_browser = os.pipe()

        def on_descriptors_3_and_4():
            read_end, write_end = os.dup(to_browser), os.dup(from_browser)
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)
            os.close(read_end)
            os.close(write_end)

        # The flags keep Chromium from reaching out: on a closed network its own connections
        # (updates, sync, field trials) are refused, many at a time.
        flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--no-default-browser-check", "--disable-extensions", "--hide-scrollbars",
                 "--mute-audio", "--force-device-scale-factor=1", "--remote-debugging-pipe",
                 "--user-data-dir=" + profile]
        self._log = tempfile.TemporaryFile()
        self._process = subprocess.Popen(  # pylint: disable=subprocess-popen-preexec-fn
            [chromium, *flags, "about:blank"], stdin=subprocess.DEVNULL, stdout=self._log,
            stderr=self._log, pass_fds=(3, 4), preexec_fn=on_descriptors_3_and_4)
        os.close(to_browser)
        os.close(from_browser)
        self._buffer = b""
        self._next_id = 0
        self.events = []
        self.session = None

    def close(self):
        try:
            self.send("Browser.close", timeout=10)
        except Failure:
            pass
        try:
            self._process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait()
        os.close(self._to)
        os.close(self._from)
        self._log.close()

    def chromium_said(self):
        self._log.seek(0)
        return self._log.read().decode(errors="replace")[-3000:]

    def _receive(self, deadline):
        while b"\0" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure("Chromium did not answer in time")
            ready, _, _ = select.select([self._from], [], [], left)
            if ready:
                chunk = os.read(self._from, 1 << 20)
                if not chunk:
                    raise Failure("Chromium closed its pipe:\n" + self.chromium_said())
                self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, params=None, session=True, timeout=WAIT_SECONDS):
        """Sends a command (to the attached page unless `session` is False) and gives its
        result; the events that arrive meanwhile are kept in `events`."""
        self._next_id += 1
        command = {"id": self._next_id, "method": method, "params": params or {}}
        if session and self.session is not None:
            command["sessionId"] = self.session
        os.write(self._to, json.dumps(command).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            message = self._receive(deadline)
            if message.get("id") == self._next_id:
                if "error" in message:
                    raise Failure(f"{method} failed: {message['error']}")
                return message.get("result", {})
            if "method" in message:
                self.events.append(message)

    def wait_for(self, event, timeout=WAIT_SECONDS):
        deadline = time.monotonic() + timeout
        for message in self.events:
            if message["method"] == event:
                return message
        while True:
            message = self._receive(deadline)
            if "method" in message:
                self.events.append(message)
                if message["method"] == event:
                    return message

    def settle(self, seconds):
        """Collects the events of the next `seconds`, such as late requests."""
        deadline = time.monotonic() + seconds
        try:
            while True:
                message = self._receive(deadline)
                if "method" in message:
                    self.events.append(message)
        except Failure as stopped:
            if "in time" not in str(stopped):
                raise

    def open_page(self, width=VIEWPORT_WIDTH):
        target = self.send("Target.createTarget", {"url": "about:blank"}, session=False)
        attached = self.send("Target.attachToTarget",
                             {"targetId": target["targetId"], "flatten": True}, session=False)
        self.session = attached["sessionId"]
        for domain in ("Page", "Network", "Runtime", "Log"):
            self.send(domain + ".enable")
        self.set_width(width)

    def set_width(self, width):
        """Lays the page out again in a window `width` pixels wide."""
        self.send("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": 900, "deviceScaleFactor": 1, "mobile": False})

    def load(self, path):
        """Loads the file and gives its URL; the events from then on are the page's own."""
        url = "file://" + os.path.abspath(path)
        self.events = []
        self.send("Page.navigate", {"url": url})
        self.wait_for("Page.loadEventFired")
        self.settle(0.5)
        return url

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        check("exceptionDetails" not in result,
              f"the page could not evaluate {expression!r}: {result.get('exceptionDetails')}")
        return result["result"].get("value")

    def screenshot(self, part=None):
        """The whole page, or the section whose heading has the id `part`, as PNG bytes."""
        if part is None:
            metrics = self.send("Page.getLayoutMetrics")
            size = metrics["cssContentSize"]
            clip = {"x": 0, "y": 0, "width": size["width"], "height": size["height"], "scale": 1}
        else:
            box = self.evaluate(
                "(() => { const h = document.getElementById(" + json.dumps(part) + ");"
                " if (!h) return null; const r = h.closest('section').getBoundingClientRect();"
                " return [r.left + scrollX, r.top + scrollY, r.width, r.height]; })()")
            check(box is not None, f"the page has no section '{part}'")
            clip = {"x": box[0], "y": box[1], "width": box[2], "height": box[3], "scale": 1}
        shot = self.send("Page.captureScreenshot",
                         {"format": "png", "captureBeyondViewport": True, "clip": clip})
        return base64.b64decode(shot["data"])


def png_pixels(data):
    """The pixels of an 8-bit RGB or RGBA PNG without interlacing, as Chromium writes its
    screenshots: (width, height, rows of bytes, bytes per pixel)."""
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "the screenshot is not a PNG image")
    at, compressed, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    check(depth == 8 and colour in (2, 6) and interlace == 0,
          f"unexpected PNG form: depth {depth}, colour type {colour}, interlace {interlace}")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(compressed)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                estimate = left + up - corner
                pa, pb, pc = abs(estimate - left), abs(estimate - up), abs(estimate - corner)
                nearest = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + nearest) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, rows, channels


def check_not_blank(png, name, least_width):
    width, height, rows, channels = png_pixels(png)
    check(width >= least_width and height >= 600,
          f"{name}: the screenshot is only {width}x{height}")
    inked, colours = 0, set()
    for line in rows[::2]:
        for x in range(0, width * channels, channels * 2):
            pixel = line[x:x + 3]
            colours.add(pixel)
            if pixel != b"\xff\xff\xff":
                inked += 1
    share = inked / ((len(rows[::2])) * len(range(0, width * channels, channels * 2)))
    check(share > 0.01, f"{name}: the screenshot is blank ({share:.2%} of it is not white)")
    check(len(colours) >= 16, f"{name}: the screenshot has only {len(colours)} colours")


def check_svg_documents(html, name, expected):
    """Each drawing as velk wrote it parses as an XML document of its own, and each of the
    charts' panels has a title and a description."""
    panels = 0
    for drawing in re.findall(r"<svg\b.*?</svg>", html, flags=re.S):
        try:
            root = ElementTree.fromstring(drawing)
        except ElementTree.ParseError as error:
            raise Failure(f"{name}: a drawing is not well-formed XML: {error}") from error
        check(root.tag == SVG + "svg", f"{name}: a drawing's root is {root.tag}")
        if root.get("class") != "chart":
            continue
        panels += 1
        for part in ("title", "desc"):
            element = root.find(SVG + part)
            check(element is not None and element.text and element.text.strip(),
                  f"{name}: a chart has no {part}")
    check(panels == expected, f"{name}: {panels} panels, not {expected}")


def check_no_request_leaves(browser, url, name):
    for event in browser.events:
        method, params = event["method"], event.get("params", {})
        if method == "Network.requestWillBeSent":
            requested = params["request"]["url"]
            check(requested == url, f"{name}: the page requested {requested}")
        elif method == "Network.loadingFailed":
            raise Failure(f"{name}: a load failed: {params}")
        elif method == "Log.entryAdded" and params["entry"]["level"] in ("error", "warning"):
            raise Failure(f"{name}: the browser reported: {params['entry']}")
        elif method == "Runtime.exceptionThrown":
            raise Failure(f"{name}: an exception in the page: {params}")


# What the browser shows of each chart's panel: its size, and whether every marker (a shape
# placed by its translation, with a tooltip) lies inside the drawing.
CHARTS_AS_SHOWN = """
Array.from(document.querySelectorAll('svg.chart')).map(svg => {
  const box = svg.getBoundingClientRect();
  const markers = Array.from(svg.querySelectorAll('path[transform]'))
      .filter(m => m.querySelector('title'));
  const outside = markers.filter(m => {
    const b = m.getBoundingClientRect();
    return !(b.left >= box.left && b.top >= box.top && b.right <= box.right &&
             b.bottom <= box.bottom);
  }).length;
  return {width: box.width, height: box.height, markers: markers.length, outside: outside};
})
"""

# The text the page renders smaller than the least readable size: SVG text at its font size
# times the drawing's scale on the screen, the page's own at its computed size.
SMALL_TEXT = """
(() => {
  const small = [];
  const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  for (let node = walker.nextNode(); node; node = walker.nextNode()) {
    const element = node.parentElement;
    if (!node.textContent.trim() || element.closest('title, desc')) continue;
    const box = element.getBoundingClientRect();
    if (box.width === 0 && box.height === 0) continue;
    let size = parseFloat(getComputedStyle(element).fontSize);
    if (element instanceof SVGElement) {
      const m = element.getScreenCTM();
      size *= Math.hypot(m.a, m.b);
    }
    if (size < LEAST) small.push(node.textContent.trim().slice(0, 40) + ' at ' +
                                 size.toFixed(1) + ' px');
  }
  return small;
})()
""".replace("LEAST", str(SMALLEST_TEXT_PX))

# Each legend's entries as the reader tells them apart: the colour and outline of their marker.
LEGENDS = """
Array.from(document.querySelectorAll('ul.legend.series')).map(list =>
  Array.from(list.querySelectorAll('li')).map(item => {
    const marker = item.querySelector('path[transform]');
    return [item.textContent, marker.getAttribute('fill'), marker.getAttribute('d')];
  }))
"""



def check_at_width(browser, name, width, work):
    """The page laid out in a window `width` pixels wide: a screenshot that is not blank, no
    text under the least readable size and no two legend entries alike."""
    browser.set_width(width)
    browser.settle(0.2)
    shot = browser.screenshot()
    with open(os.path.join(work, f"{name.replace(' ', '-')}-{width}.png"), "wb") as image:
        image.write(shot)
    check_not_blank(shot, f"{name} at {width} px", width)
    small = browser.evaluate(SMALL_TEXT)
    check(not small, f"{name} at {width} px: text under {SMALLEST_TEXT_PX} px: {small[:5]}")
    for entries in browser.evaluate(LEGENDS):
        looks = [(fill, outline) for _, fill, outline in entries]
        for at, entry in enumerate(entries):
            check(looks.index(looks[at]) == at,
                  f"{name} at {width} px: the legend entry {entry[0]} looks like "
                  f"{entries[looks.index(looks[at])][0]}")


def check_page(browser, page, name, methods, sizes, panels, markers, work):
    """`panels`: how many panels the charts have in all; `markers`: how many data markers they
    hold."""
    with open(page, encoding="utf-8") as source:
        html = source.read()
    check_svg_documents(html, name, panels)
    url = browser.load(page)
    check_no_request_leaves(browser, url, name)

    text = browser.evaluate("document.body.innerText")
    words = set(text.split())
    for method in methods:
        check(method in words, f"{name}: the method {method} is not in the rendered text")
    for size in sizes:
        check(size in words, f"{name}: the size {size} is not in the rendered text")
    for heading in ("Comparisons per search", "Time per search", "Every row", "Command line"):
        check(heading in text,
              f"{name}: '{heading}' is not in the rendered text")
    check((len(methods) > 1) == ("Time relative to a baseline" in text),
          f"{name}: a chart of the time relative to a baseline for {len(methods)} methods")

    shown = browser.evaluate(CHARTS_AS_SHOWN)
    check(len(shown) == panels, f"{name}: the browser shows {len(shown)} panels")
    for chart in shown:
        check(chart["width"] > 300 and chart["height"] > 200, f"{name}: a chart is {chart}")
        check(chart["outside"] == 0, f"{name}: markers lie outside a chart: {chart}")
    drawn = sum(chart["markers"] for chart in shown)
    check(drawn == markers, f"{name}: {drawn} markers drawn, not {markers}")

    # What a screen reader is given: each panel as an image named by its title and described
    # by its description; the legends' samples are hidden from it.
    tree = browser.send("Accessibility.getFullAXTree")["nodes"]
    images = [node for node in tree if node.get("role", {}).get("value") == "image"
              and not node.get("ignored")]
    check(len(images) == panels, f"{name}: {len(images)} images in the accessibility tree")
    for image in images:
        label = image.get("name", {}).get("value", "")
        described = image.get("description", {}).get("value", "")
        check(" against " in label, f"{name}: an image is named '{label}'")
        for method in methods:
            if label.startswith("Time"):
                check(method in described, f"{name}: the panel '{label}' does not name {method}")

    for width in WIDTHS:
        check_at_width(browser, name, width, work)
    browser.set_width(VIEWPORT_WIDTH)
    printed = base64.b64decode(browser.send("Page.printToPDF", {"printBackground": True})["data"])
    check(printed.startswith(b"%PDF") and len(printed) > 10000, f"{name}: the page did not print")


def run_velk(velk, arguments):
    result = subprocess.run([velk, *arguments], capture_output=True, text=True, timeout=600,
                            check=False)
    check(result.returncode == 0,
          f"velk {' '.join(arguments)} ended with status {result.returncode}: {result.stderr}")
    return result


def chromium_path(given):
    found = shutil.which(given)
    check(found is not None,
          f"Chromium is not installed ('{given}' not found): the Debian package chromium "
          "provides it (./setup installs it)")
    return found


def drawn_on_page(rows):
    """How many panels and data markers the page of the csv report's `rows` holds: the keys'
    distribution (a marker at each eighth of a key set's points, at most 257, at its largest
    size, the k-th of n key sets k/n of an eighth along); for each key set, the comparisons (the counted rows of the first drive), the time
    and, with several methods, the time relative to the baseline (every row, two panels for each
    drive) and, with several thread counts, searches per second against threads (the rows at the
    largest size, two panels for each mode); then for the run, the layouts' building time and
    bytes per key (a marker for each layout built)."""
    def distinct(field, among=None):
        return list(dict.fromkeys(row[field] for row in (among or rows)))

    first = (rows[0]["mode"], rows[0]["threads"])
    first_drive = [row for row in rows if (row["mode"], row["threads"]) == first]
    panels, markers = 1, 0
    key_sets = distinct("keys")
    for k, keys in enumerate(key_sets):
        of_set = [row for row in rows if row["keys"] == keys]
        largest = max(int(row["size"]) for row in of_set)
        points, steps = min(largest, 257), 8 * len(key_sets)
        markers += len({step * (points - 1) // steps for step in range(k, steps + 1, len(key_sets))})
        counted = [row for row in of_set if row["comparisons"] and row in first_drive]
        drives = len(set((row["mode"], row["threads"]) for row in of_set))
        several_methods = len(distinct("method", of_set)) > 1
        panels += (2 if counted else 0) + 2 * drives * (2 if several_methods else 1)
        markers += len(counted) + len(of_set) * (2 if several_methods else 1)
        if len(distinct("threads", of_set)) > 1:
            panels += 2 * len(distinct("mode", of_set))
            markers += sum(1 for row in of_set if int(row["size"]) == largest)
    for field in ("layout_ns", "index_bytes"):
        built = [row for row in first_drive if row[field] and row["half"] == "successful"]
        panels += 1 if built else 0
        markers += len(built)
    return panels, markers


def velk_page(velk, work, name, arguments):
    """Runs velk for a page and a csv report of the same rows: the page's path and the rows."""
    page, rows_file = os.path.join(work, name + ".html"), os.path.join(work, name + ".csv")
    run_velk(velk, [*arguments, "--min-time", "0.002", "--repetitions", "3", "--format", "csv",
                    "--output", rows_file, "--html", page])
    with open(rows_file, encoding="utf-8") as rows_text:
        return page, list(csv.DictReader(rows_text))


def test(velk, chromium, work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    pages = []
    # The whole page of every method.
    full, rows = velk_page(velk, work, "full", ["--methods", "all", "--sizes", "1,10,100,1000,10000"])
    methods = list(dict.fromkeys(row["method"] for row in rows))
    check(len(methods) > 8 and len(rows) == len(methods) * 5 * 2,
          f"the csv report has {len(rows)} rows of {len(methods)} methods")
    pages.append(("full page", full, rows))
    # A single method at a single size, and that size 1; and a run of baselines alone.
    pages.append(("one method at size 1",
                  *velk_page(velk, work, "single", ["--methods", "binary1", "--sizes", "1"])))
    pages.append(("baselines alone",
                  *velk_page(velk, work, "baseline", ["--methods", "std-find", "--sizes", "1000"])))
    # Two key sets, both modes and, where the machine has two processors, two thread counts:
    # a group of charts per key set and a row of panels per way of driving the searches.
    threads = "1,2" if len(os.sched_getaffinity(0)) > 1 else "1"
    pages.append(("key sets and drives", *velk_page(
        velk, work, "drives", ["--methods", "binary1,eytzinger,std-lower-bound", "--keys",
                               "odd,lognormal", "--mode", "throughput,latency", "--threads",
                               threads, "--sizes", "100,1000"])))

    with tempfile.TemporaryDirectory() as profile:
        browser = Browser(chromium, profile)
        try:
            browser.open_page()
            for name, page, rows in pages:
                panels, markers = drawn_on_page(rows)
                check_page(browser, page, name, list(dict.fromkeys(row["method"] for row in rows)),
                           list(dict.fromkeys(row["size"] for row in rows)), panels, markers, work)
        except Failure as failed:
            raise Failure(f"{failed}\nChromium said:\n{browser.chromium_said()}") from failed
        finally:
            browser.close()


def screenshot(chromium, page, out, part, width):
    with tempfile.TemporaryDirectory() as profile:
        browser = Browser(chromium, profile)
        try:
            browser.open_page(width)
            browser.load(page)
            with open(out, "wb") as image:
                image.write(browser.screenshot(part))
        finally:
            browser.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--velk")
    parser.add_argument("--chromium", default="chromium")
    parser.add_argument("--work")
    parser.add_argument("--screenshot", metavar="OUT")
    parser.add_argument("--part", metavar="ID",
                        help="with --screenshot, only the section of that heading's id "
                        "(distribution, comparisons, time, relative, threads, layout, bytes, rows; "
                        "with several key sets set-1, time-1 and so on)")
    parser.add_argument("--width", type=int, default=VIEWPORT_WIDTH, metavar="PX",
                        help=f"with --screenshot, the window's width (default {VIEWPORT_WIDTH})")
    parser.add_argument("page", nargs="?")
    arguments = parser.parse_args()
    if arguments.screenshot is None and (arguments.velk is None or arguments.work is None):
        parser.error("the test needs --velk and --work")
    if arguments.screenshot is not None and arguments.page is None:
        parser.error("--screenshot needs the page")
    try:
        chromium = chromium_path(arguments.chromium)
        if arguments.screenshot:
            screenshot(chromium, arguments.page, arguments.screenshot, arguments.part,
                       arguments.width)
        else:
            test(arguments.velk, chromium, arguments.work)
    except Failure as failed:
        print(f"html_browser_test: {failed}", file=sys.stderr)
        return 1
    print("html_browser_test: every page checked")
    return 0


if __name__ == "__main__":
    sys.exit(main())
