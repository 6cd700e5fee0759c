#!/usr/bin/env python3
"""velk's HTML report in a real browser.

Runs velk to write pages, opens each in headless Chromium through the DevTools protocol on a
pipe, and checks that the page loads with no request leaving the file, that every method and
size of the run appears in the rendered text, that each chart is a well-formed SVG document with
a title and a description that reach the accessibility tree and its markers inside the drawing,
that a screenshot is not blank and that the page prints.

    html_browser_test.py --velk VELK --chromium CHROMIUM --work FOLDER
    html_browser_test.py --chromium CHROMIUM --screenshot OUT.png [--part ID] PAGE.html

The second form only takes a screenshot of a page, or of one of its sections (comparisons,
time, layout, rows), as the README's are made.
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

    def open_page(self):
        target = self.send("Target.createTarget", {"url": "about:blank"}, session=False)
        attached = self.send("Target.attachToTarget",
                             {"targetId": target["targetId"], "flatten": True}, session=False)
        self.session = attached["sessionId"]
        for domain in ("Page", "Network", "Runtime", "Log"):
            self.send(domain + ".enable")
        self.send("Emulation.setDeviceMetricsOverride",
                  {"width": VIEWPORT_WIDTH, "height": 900, "deviceScaleFactor": 1,
                   "mobile": False})

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


def check_not_blank(png, name):
    width, height, rows, channels = png_pixels(png)
    check(width >= 600 and height >= 600, f"{name}: the screenshot is only {width}x{height}")
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
    """Each chart as velk wrote it parses as an XML document of its own."""
    charts = re.findall(r"<svg\b.*?</svg>", html, flags=re.S)
    check(len(charts) == expected, f"{name}: {len(charts)} charts, not {expected}")
    for chart in charts:
        try:
            root = ElementTree.fromstring(chart)
        except ElementTree.ParseError as error:
            raise Failure(f"{name}: a chart is not well-formed XML: {error}") from error
        check(root.tag == SVG + "svg", f"{name}: a chart's root is {root.tag}")
        for part in ("title", "desc"):
            element = root.find(SVG + part)
            check(element is not None and element.text and element.text.strip(),
                  f"{name}: a chart has no {part}")


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


# What the browser shows of each chart: its size, and whether every marker (the elements with a
# tooltip) lies inside the drawing.
CHARTS_AS_SHOWN = """
Array.from(document.querySelectorAll('svg')).map(svg => {
  const box = svg.getBoundingClientRect();
  const view = svg.viewBox.baseVal;
  const markers = Array.from(svg.querySelectorAll('circle, rect, path'))
      .filter(m => m.querySelector('title'));
  const outside = markers.filter(m => {
    const b = m.getBBox();
    return !(b.x >= 0 && b.y >= 0 && b.x + b.width <= view.width &&
             b.y + b.height <= view.height);
  }).length;
  return {width: box.width, height: box.height, markers: markers.length, outside: outside};
})
"""


def check_page(browser, page, name, methods, sizes, charts, markers):
    """`markers`: how many data markers the charts hold in all."""
    with open(page, encoding="utf-8") as source:
        html = source.read()
    check_svg_documents(html, name, charts)
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

    shown = browser.evaluate(CHARTS_AS_SHOWN)
    check(len(shown) == charts, f"{name}: the browser shows {len(shown)} charts")
    for chart in shown:
        check(chart["width"] > 300 and chart["height"] > 200, f"{name}: a chart is {chart}")
        check(chart["outside"] == 0, f"{name}: markers lie outside a chart: {chart}")
    drawn = sum(chart["markers"] for chart in shown)
    check(drawn == markers, f"{name}: {drawn} markers drawn, not {markers}")

    # What a screen reader is given: each chart as an image named by its title and described
    # by its description.
    tree = browser.send("Accessibility.getFullAXTree")["nodes"]
    images = [node for node in tree if node.get("role", {}).get("value") == "image"
              and not node.get("ignored")]
    check(len(images) == charts, f"{name}: {len(images)} images in the accessibility tree")
    for image in images:
        label = image.get("name", {}).get("value", "")
        described = image.get("description", {}).get("value", "")
        check(label.endswith("against list size"), f"{name}: an image is named '{label}'")
        for method in methods:
            if "Time" in label:
                check(method in described, f"{name}: the time chart's description lacks {method}")

    check_not_blank(browser.screenshot(), name)
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


def test(velk, chromium, work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    quick = ["--min-time", "0.002", "--repetitions", "3"]
    # The whole page, written beside a csv report of the same rows.
    full, rows_file = os.path.join(work, "full.html"), os.path.join(work, "rows.csv")
    run_velk(velk, ["--methods", "sequential,binary1,eytzinger,std-lower-bound", "--sizes",
                    "1,10,100,1000,10000", *quick, "--format", "csv", "--output", rows_file,
                    "--html", full])
    with open(rows_file, encoding="utf-8") as rows_text:
        rows = list(csv.DictReader(rows_text))
    check(len(rows) == 4 * 5 * 2, f"the csv report has {len(rows)} rows")
    methods = list(dict.fromkeys(row["method"] for row in rows))
    sizes = list(dict.fromkeys(row["size"] for row in rows))
    # A marker per counted row, per row, and per size whose layout was built.
    markers = sum(1 for row in rows if row["comparisons"]) + len(rows) + len(
        {row["size"] for row in rows if row["layout_ns"]})
    # A single method at a single size, and that size 1; and a run of baselines alone.
    single, baseline = os.path.join(work, "single.html"), os.path.join(work, "baseline.html")
    run_velk(velk, ["--methods", "binary1", "--sizes", "1", *quick, "--html", single])
    run_velk(velk, ["--methods", "std-find", "--sizes", "1000", *quick, "--html", baseline])

    with tempfile.TemporaryDirectory() as profile:
        browser = Browser(chromium, profile)
        try:
            browser.open_page()
            check_page(browser, full, "full page", methods, sizes, 3, markers)
            check_page(browser, single, "one method at size 1", ["binary1"], ["1"], 2, 4)
            check_page(browser, baseline, "baselines alone", ["std-find"], ["1000"], 1, 2)
        except Failure as failed:
            raise Failure(f"{failed}\nChromium said:\n{browser.chromium_said()}") from failed
        finally:
            browser.close()


def screenshot(chromium, page, out, part):
    with tempfile.TemporaryDirectory() as profile:
        browser = Browser(chromium, profile)
        try:
            browser.open_page()
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
                        "(comparisons, time, layout, rows)")
    parser.add_argument("page", nargs="?")
    arguments = parser.parse_args()
    if arguments.screenshot is None and (arguments.velk is None or arguments.work is None):
        parser.error("the test needs --velk and --work")
    if arguments.screenshot is not None and arguments.page is None:
        parser.error("--screenshot needs the page")
    try:
        chromium = chromium_path(arguments.chromium)
        if arguments.screenshot:
            screenshot(chromium, arguments.page, arguments.screenshot, arguments.part)
        else:
            test(arguments.velk, chromium, arguments.work)
    except Failure as failed:
        print(f"html_browser_test: {failed}", file=sys.stderr)
        return 1
    print("html_browser_test: every page checked")
    return 0


if __name__ == "__main__":
    sys.exit(main())
