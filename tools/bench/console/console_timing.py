#!/usr/bin/python3
"""Times the web console in headless Chromium against telvorn-headless built in BUILD_DIR:
  - the fleet page with 256 RTUs that have all reported: from navigation to the first full table;
  - the RTU page: from a frame sent to its value shown, without a reload;
  - the history page with a 20,000-row channel: from the query to the chart drawn.
Prints the median and the spread of each, one line each.

    tools/bench/console/console_timing.py BUILD_DIR
"""
import datetime
import os
import socket
import sqlite3
import statistics
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.abspath(os.path.join(here, "..", "..", ".."))
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build"))
os.environ.update(TELVORN_HEADLESS=os.path.join(build, "tools", "telvorn-headless"),
                  TELVORN_RTUSIM=os.path.join(build, "tools", "rtusim", "rtusim"),
                  TELVORN_RTUDB_DRIVER=os.path.join(build, "platform", "rtudb", "libtelvorn-rtudb.so"),
                  TELVORN_INI_DIR=os.path.join(root, "resources", "ini"))
sys.path.insert(0, os.path.join(root, "tests", "browser"))
from console_fixture import ConsoleTest, frame, wait_until  # noqa: E402

RUNS = 7
# 20,000 readings ten seconds apart, with a night of nothing in the middle: the chart's time axis
# and its gap as a fleet gives them.
ARRIVALS = [(datetime.datetime(2026, 12, 6) + datetime.timedelta(seconds=10 * i + (36000 if i >= 10000 else 0)))
            .strftime("%Y-%m-%d %H:%M:%S") for i in range(20000)]


class Timing(ConsoleTest):
    units = tuple(range(1, 257))
    names = {uid: ("Pump %d" % uid, "Site %d" % (uid % 17)) for uid in units}

    def runTest(self):
        pass


def spread(values):
    return "median %.0f ms (min %.0f, max %.0f, %d runs)" % (statistics.median(values), min(values), max(values),
                                                             len(values))


def main():
    Timing.setUpClass()
    t = Timing()
    server = t.server
    try:
        subprocess.run([os.environ["TELVORN_RTUSIM"], "--port", str(server.port), "--units", "1-256",
                        "--connections", "16", "--frames", "10", "--total-rate", "400", "--duration", "3"],
                       check=True, capture_output=True)
        client = server.connect()
        loads = []
        for _ in range(RUNS):
            t.open("/")
            wait_until(lambda: t.js("return document.body.dataset.rendered") == "256")
            loads.append(t.js("return performance.getEntriesByName('fleet-rendered')[0].startTime"))
        print("fleet page, 256 RTUs, navigation to first full table:", spread(loads))

        t.open("/rtu/1")
        t.send(client, frame(1, "10", 1, "100.00"))
        wait_until(lambda: (t.text_of("#value-AIN1") or "").startswith("0.00"))
        delays = []
        for run in range(1, RUNS * 2 + 1):
            wanted = "%d.00" % run
            t.js("window.__seen = 0; const wanted = arguments[0];"
                 "new MutationObserver((m, o) => { const e = document.getElementById('value-AIN1');"
                 "  if (e && e.textContent.startsWith(wanted)) { window.__seen = Date.now(); o.disconnect(); } })"
                 ".observe(document.getElementById('groups'), {childList: true, subtree: true, characterData: true});",
                 wanted)
            sent = time.time() * 1000
            t.send(client, frame(1, "10", 1, "1%02d.00" % run))
            seen = wait_until(lambda: t.js("return window.__seen"))
            delays.append(seen - sent)
            time.sleep(0.37)  # frames at no fixed phase to the server's once-a-second render
        print("RTU page, frame sent to value shown:", spread(delays))

        with sqlite3.connect(server.database) as db:
            db.executemany('INSERT INTO "1_AIN2" VALUES (?, ?, ?, ?, 0)',
                           ((i, (i % 977) / 10, stamp, stamp) for i, stamp in enumerate(ARRIVALS)))
        draws = []
        for _ in range(RUNS):
            t.open("/rtu/1/history?channel=AIN2")
            wait_until(lambda: t.js("return document.body.dataset.state") == "drawn")
            draws.append(float(t.js("return document.body.dataset.drawnMs")))
        print("history page, 20,000 rows, query to chart drawn:", spread(draws))
        client.close()
    finally:
        Timing.tearDownClass()


if __name__ == "__main__":
    main()
