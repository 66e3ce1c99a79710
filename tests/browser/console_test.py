#!/usr/bin/python3
"""The web console in a real browser (headless Chromium) against telvorn-headless on scratch ports,
with RTUs that send hand-made frames over loopback sockets or through rtusim.

    console_test.py [TestClass.test_name ...]
"""
import base64
import csv
import io
import sqlite3
import subprocess
import sys
import unittest
import urllib.error
import urllib.request

from console_fixture import GENEROUS_S, RTUSIM, ConsoleTest, frame, wait_until

XSS_IMG = '<img src=x onerror="window.__xss=1">'
XSS_SCRIPT = '</script><script>window.__xss=2</script>'
XSS_STAMP = '</script><b>xy'  # a frame's time text is 14 characters


class FleetAndRtuPages(ConsoleTest):
    units = (101, 102, 103, 104)

    def test_fleet_lists_states_a_frame_updates_the_rtu_page_and_a_closed_connection_turns_disconnected(self):
        staying = self.server.connect()
        self.send(staying, frame(199, "10", 1, "100.00"), frame(101, "10", 1, "112.34"))
        subprocess.run([RTUSIM, "--port", str(self.server.port), "--units", "104", "--frames", "10",
                        "--rate", "20", "--duration", "1"], check=True, capture_output=True, timeout=GENEROUS_S)
        self.open("/")
        self.assertTrue(self.wait_text('tr[data-uid="101"] .state', "connected"))
        self.assertTrue(self.wait_text('tr[data-uid="104"] .state', "disconnected"))
        self.assertEqual(self.text_of('tr[data-uid="103"] .state'), "never")
        self.assertIn("4 RTUs: 1 connected, 0 silent, 1 disconnected, 2 never seen, 1 reporting unregistered",
                      self.text_of("#summary"))
        # A unit that reports without being registered is listed, without a page to open.
        self.assertEqual(self.text_of('tr[data-uid="199"] .state'), "unregistered")
        self.assertEqual(self.js("return document.querySelectorAll('tr[data-uid=\"199\"] a').length"), 0)
        # Sorted by frames, descending: rtusim's unit first.
        self.js("document.querySelector('th[data-key=frames]').click();"
                "document.querySelector('th[data-key=frames]').click();")
        self.assertEqual(self.js("return document.querySelector('#rows tr').dataset.uid"), "104")
        self.js("const f = document.getElementById('filter'); f.value = '102';"
                "f.dispatchEvent(new Event('input'));")
        self.assertEqual(self.js("return [...document.querySelectorAll('#rows tr')].map(r => r.dataset.uid)"), ["102"])
        # Readable on a 390-pixel phone: nothing wider than the screen.
        self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                     {"width": 390, "height": 844, "deviceScaleFactor": 1, "mobile": True})
        self.assertLessEqual(self.js("return document.documentElement.scrollWidth"), 390)
        self.browser.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

        self.open("/rtu/101")
        self.assertTrue(self.wait_text("#value-AIN1", lambda text: text.startswith("12.30")))
        self.js("window.__sameDocument = true;")
        self.send(staying, frame(101, "10", 1, "156.70"))
        self.assertTrue(self.wait_text("#value-AIN1", lambda text: text.startswith("56.70")))
        self.assertTrue(self.js("return window.__sameDocument === true"), "the page was reloaded")

        leaving = self.server.connect()
        self.send(leaving, frame(102, "10", 1, "10.00"))
        self.open("/")
        self.assertTrue(self.wait_text('tr[data-uid="102"] .state', "connected"))
        leaving.close()
        self.assertTrue(self.wait_text('tr[data-uid="102"] .state', "disconnected"))
        staying.close()

    def test_texts_from_the_network_show_literally_and_run_nothing(self):
        client = self.server.connect()
        self.send(client, frame(103, "45", 0, XSS_IMG + XSS_SCRIPT), frame(103, "35", 0, "xx" + XSS_IMG),
                  frame(103, "10", 1, "1.00", stamp=XSS_STAMP))
        self.open("/")
        self.assertTrue(self.wait_text('tr[data-uid="103"] td.text', lambda t: XSS_SCRIPT in t))
        self.open("/rtu/103")
        self.assertTrue(self.wait_text("#gps", lambda t: t.startswith(XSS_IMG)))
        self.assertTrue(self.wait_text("#registration", lambda t: t.startswith(XSS_IMG + XSS_SCRIPT)))
        self.checkNothingRan()
        self.open("/raw")
        self.assertTrue(self.wait_text("#lines", lambda t: XSS_STAMP in t and XSS_IMG in t))
        self.checkNothingRan()
        self.open("/rtu/103/history?channel=AIN1")
        self.assertTrue(self.wait_text("#rows", lambda t: XSS_STAMP in t))
        self.checkNothingRan()
        client.close()

    def checkNothingRan(self):
        self.assertIsNone(self.js("return window.__xss"))
        self.assertEqual(self.js("return document.querySelectorAll('img, script:not([src])').length"), 0)


class HistoryPage(ConsoleTest):
    units = (201,)

    def rows(self, table):
        with sqlite3.connect(self.server.database) as db:
            return db.execute('SELECT RID, RVALUE, RTIME, LTIME FROM "%s"' % table).fetchall()

    def insert(self, table, count, spike_at):
        with sqlite3.connect(self.server.database) as db:
            db.executemany('INSERT INTO "%s" VALUES (?, ?, ?, ?, 0)' % table,
                           ((i, 1000.0 if i == spike_at else (i % 50) / 4, "2026-12-07 %02d:%02d:%02d"
                             % (i // 3600 % 24, i // 60 % 60, i % 60), "2026-12-07 12:00:00") for i in range(count)))

    def test_chart_and_csv_agree_with_the_database_and_an_over_cap_query_is_refused(self):
        self.insert("201_AIN0", 5000, spike_at=3217)
        self.open("/rtu/201/history?channel=AIN0")
        self.assertTrue(wait_until(lambda: self.js("return document.body.dataset.state") == "drawn"))
        rows = self.rows("201_AIN0")
        self.assertEqual(self.text_of("#title"), "5000 records of Unit ID:201 Tank level:0")
        points = self.js("return Chart.getChart('chart').data.datasets[0].data.map(p => [p.x, p.y])")
        self.assertLessEqual(len(points), 2000)
        for x, y in points:
            self.assertAlmostEqual(y, rows[x][1])
        values = [y for _, y in points]
        self.assertEqual((min(values), max(values)), (min(r[1] for r in rows), 1000.0))

        exported = self.js("return fetch(document.getElementById('csv').href).then(r => r.text())")
        lines = list(csv.reader(io.StringIO(exported)))
        self.assertEqual(lines[0], ["5000 records of Unit ID:201 Tank level:0"])
        self.assertEqual(lines[1], ["Record", "Value", "RTU time", "Server time"])
        self.assertEqual(len(lines), 2 + len(rows))
        for number, (line, row) in enumerate(zip(lines[2:], rows)):
            self.assertEqual((int(line[0]), float(line[1]), line[2], line[3]), (number, row[1], row[2], row[3]))

        # The value filter of the RTU state page: "<" with 0.25 keeps the values up to 0.25.
        self.js("document.getElementById('cmp').value = '2'; document.getElementById('value').value = '0.25';"
                "document.getElementById('query').click();")
        wanted = sum(1 for row in rows if row[1] <= 0.25)
        self.assertTrue(self.wait_text("#title", "%d records of Unit ID:201 " % wanted))
        self.js("document.getElementById('value').value = 'x'; document.getElementById('query').click();")
        self.assertTrue(self.wait_text("#message", "The value filter is not a number."))

        self.insert("201_AIN1", 100001, spike_at=-1)
        self.open("/rtu/201/history?channel=AIN1")
        self.assertTrue(self.wait_text("#message", lambda t: t.startswith("The query matches 100001 rows;")))
        self.assertIsNone(self.js("return document.getElementById('csv').getAttribute('href')"))


class Reconnect(ConsoleTest):
    units = (31,)

    def test_page_reconnects_after_the_server_restarts(self):
        self.open("/")
        self.assertTrue(self.wait_text("#badge", "live"))
        self.assertTrue(self.wait_text('tr[data-uid="31"] .state', "never"))
        self.server.stop()
        self.assertTrue(self.wait_text("#badge", "reconnecting"))
        self.server.start()
        client = self.server.connect()
        self.send(client, frame(31, "10", 1, "1.00"))
        self.assertTrue(self.wait_text('tr[data-uid="31"] .state', "connected"))
        self.assertEqual(self.text_of("#badge"), "live")
        client.close()


class Password(ConsoleTest):
    units = (41,)
    # crypt(3) SHA-512 of "secret" with the salt "telvorn" (openssl passwd -6 -salt telvorn secret)
    http_keys = ("USER=ops\nPASSWORD=$6$telvorn$" + subprocess.run(
        ["openssl", "passwd", "-6", "-salt", "telvorn", "secret"], capture_output=True, text=True,
        check=True).stdout.strip().split("$")[-1] + "\n")

    def test_nothing_is_shown_without_the_password(self):
        for path in ("/", "/api/events?topic=fleet", "/assets/fleet.js", "/api/history?uid=41&channel=AIN0"):
            with self.assertRaises(urllib.error.HTTPError) as refused:
                urllib.request.urlopen(self.server.url + path, timeout=GENEROUS_S)
            self.assertEqual(refused.exception.code, 401)
            self.assertIn("Basic", refused.exception.headers["WWW-Authenticate"])
        self.open("/")
        self.assertEqual(self.js("return document.querySelectorAll('tr, script').length"), 0)
        token = base64.b64encode(b"ops:secret").decode()
        self.browser.execute_cdp_cmd("Network.enable", {})
        self.browser.execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {"Authorization": "Basic " + token}})
        self.open("/")
        self.assertTrue(self.wait_text('tr[data-uid="41"] .state', "never"))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
