#!/usr/bin/python3
"""Captures the web console's pages for the README in headless Chromium: telvorn-headless of the
build tree in a scratch directory with units 1-7 registered with names and sites (models 402 and
405), rtusim sending to units 1-4, a day of readings of unit 1's first analogue input, one RTU whose
connection has closed, one silent past STALE (3 s here), one never heard, and unit 77 reporting
unregistered. Desktop shots are 1280 pixels wide, the phone's 390; the dark theme is the fleet as a
browser set to dark shows it.

    docs/take-console-screenshots.py [BUILD_DIR]
"""
import math
import os
import sqlite3
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build"))
os.environ.update(TELVORN_HEADLESS=os.path.join(build, "tools", "telvorn-headless"),
                  TELVORN_RTUSIM=os.path.join(build, "tools", "rtusim", "rtusim"),
                  TELVORN_RTUDB_DRIVER=os.path.join(build, "platform", "rtudb", "libtelvorn-rtudb.so"),
                  TELVORN_INI_DIR=os.path.join(root, "resources", "ini"))
sys.path.insert(0, os.path.join(root, "tests", "browser"))
from console_fixture import ConsoleTest, frame, wait_until  # noqa: E402


class Shots(ConsoleTest):
    units = (1, 2, 3, 4, 5, 6, 7)
    names = {1: ("North tank", "Hill farm"), 2: ("Booster pump", "Hill farm"), 3: ("River gauge", "Old mill"),
             4: ("South tank", "Valley road"), 5: ("Well 5", "Valley road"), 6: ("Well 6", "Marsh lane"),
             7: ("Spare unit", "Depot")}
    http_keys = "STALE=3\n"

    def runTest(self):
        pass


def shot(t, path, name, width, height, ready, mobile=False, scheme="light"):
    t.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                              {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
    t.browser.execute_cdp_cmd("Emulation.setEmulatedMedia",
                              {"features": [{"name": "prefers-color-scheme", "value": scheme}]})
    t.open(path)
    wait_until(lambda: t.js("return " + ready))
    time.sleep(1.2)  # one more event, and the ages tick once
    t.browser.save_screenshot(os.path.join(here, name))


def main():
    Shots.setUpClass()
    t = Shots()
    try:
        with sqlite3.connect(t.server.database) as db:
            db.execute("UPDATE RTU_TAB SET RDATA7 = '405' WHERE UID IN ('2', '4')")
            db.executemany('INSERT INTO "1_AIN0" VALUES (?, ?, ?, ?, ?)',
                           ((i, round(12 + 6 * math.sin(i / 40) + (i % 7) / 5, 1), "2026-12-07 %02d:%02d:00"
                             % (i // 60, i % 60), "2026-12-07 %02d:%02d:02" % (i // 60, i % 60), 0)
                            for i in range(1440)))
        t.server.stop()
        t.server.start()
        quiet = t.server.connect()
        t.send(quiet, frame(77, "10", 1, "10.00"), frame(6, "10", 1, "11.20"))

        def leave():
            """Unit 5 reports and hangs up: disconnected, until STALE makes it silent."""
            leaving = t.server.connect()
            t.send(leaving, frame(5, "45", 0, "RTU-5 fw 2.4"), frame(5, "10", 1, "13.40"))
            leaving.close()

        sim = subprocess.Popen([os.environ["TELVORN_RTUSIM"], "--port", str(t.server.port), "--units", "1-4",
                                "--connections", "2", "--rate", "4", "--frames", "all", "--duration", "60"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(4)
        fleet = "document.body.dataset.rendered === '8'"  # unit 77 reports unregistered
        leave()
        shot(t, "/", "console-fleet.png", 1280, 560, fleet)
        shot(t, "/rtu/2", "console-rtu.png", 1280, 760, "document.body.dataset.rendered")
        shot(t, "/rtu/1/history?channel=AIN0", "console-history.png", 1280, 760,
             "document.body.dataset.state === 'drawn'")
        shot(t, "/status", "console-status.png", 900, 560, "document.querySelectorAll('#facts dd').length > 0")
        shot(t, "/raw", "console-raw.png", 1280, 520, "document.querySelectorAll('#lines li').length > 20")
        leave()
        shot(t, "/", "console-phone.png", 390, 844, fleet, mobile=True)
        leave()
        shot(t, "/", "console-dark.png", 1280, 560, fleet, scheme="dark")
        sim.terminate()
        quiet.close()
        sim.wait()
    finally:
        Shots.tearDownClass()


if __name__ == "__main__":
    main()
