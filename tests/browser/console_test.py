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
import urllib.parse
import urllib.request

from selenium.webdriver.common.action_chains import ActionChains

from console_fixture import GENEROUS_S, RTUSIM, ConsoleTest, frame, wait_until

XSS_IMG = '<img src=x onerror="window.__xss=1">'
XSS_SCRIPT = '</script><script>window.__xss=2</script>'
XSS_STAMP = '</script><b>xy'  # a frame's time text is 14 characters


class FleetAndRtuPages(ConsoleTest):
    units = (101, 102, 103, 104)
    names = {101: ("North tank", "Hill farm"), 102: ("South pump", "Valley")}

    def test_fleet_lists_states_a_frame_updates_the_rtu_page_and_a_closed_connection_turns_disconnected(self):
        staying = self.server.connect()
        self.send(staying, frame(199, "10", 1, "100.00"), frame(101, "10", 1, "112.34"))
        subprocess.run([RTUSIM, "--port", str(self.server.port), "--units", "104", "--frames", "10",
                        "--rate", "20", "--duration", "1"], check=True, capture_output=True, timeout=GENEROUS_S)
        self.open("/")
        self.assertTrue(self.wait_state(101, "connected"))
        self.assertTrue(self.wait_state(104, "disconnected"))
        self.assertEqual(self.state_of(103), "never")
        self.assertEqual(self.js("return [...document.querySelectorAll('#summary a')]"
                                 ".map(a => a.textContent.replace(/^\\W+/, ''))"),
                         ["4 RTUs", "1 connected", "0 silent", "1 disconnected", "1 unregistered", "2 never seen"])
        # A unit that reports without being registered is listed, without a page to open.
        self.assertEqual(self.state_of(199), "unregistered")
        self.assertEqual(self.js("return document.querySelectorAll('tr[data-uid=\"199\"] a').length"), 0)
        # One click on a count shows those RTUs alone, and the address keeps it.
        self.js("document.querySelector('#summary a[data-state=disconnected]').click();")
        self.assertEqual(self.js("return [...document.querySelectorAll('#rows tr')].map(r => r.dataset.uid)"), ["104"])
        self.assertIn("state=disconnected", self.browser.current_url)
        self.js("document.querySelector('#summary a[data-state=\"\"]').click();")
        # Sorted by frames, descending: rtusim's unit first.
        self.js("document.querySelector('th[data-key=frames]').click();"
                "document.querySelector('th[data-key=frames]').click();")
        self.assertEqual(self.js("return document.querySelector('#rows tr').dataset.uid"), "104")
        # The registry's names and sites are columns of their own, and the filter finds a site.
        self.assertEqual(self.js("return [...document.querySelectorAll('#fleet th')].map(th => th.textContent)")[2:4],
                         ["Name", "Site"])
        self.assertEqual(self.text_of('tr[data-uid="102"] td.col-name'), "South pump")
        self.js("const f = document.getElementById('filter'); f.value = 'hill';"
                "f.dispatchEvent(new Event('input'));")
        self.assertEqual(self.js("return [...document.querySelectorAll('#rows tr')].map(r => r.dataset.uid)"), ["101"])
        self.assertIn("q=hill", self.browser.current_url)
        # Readable on a 390-pixel phone: nothing wider than the screen.
        self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                     {"width": 390, "height": 844, "deviceScaleFactor": 1, "mobile": True})
        self.assertLessEqual(self.js("return document.documentElement.scrollWidth"), 390)
        self.browser.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

        self.open("/rtu/101")
        self.assertTrue(self.wait_text("#value-AIN1", lambda text: text.startswith("12.30")))
        self.assertEqual(self.text_of("#value-AIN0"), "\u2014")  # never reported: no 0.00
        self.assertTrue(self.text_of("#title").endswith("North tank"))
        self.assertEqual(self.text_of("#field-RDATA2"), "Hill farm")
        self.js("window.__sameDocument = true;")
        self.send(staying, frame(101, "10", 1, "156.70"))
        self.assertTrue(self.wait_text("#value-AIN1", lambda text: text.startswith("56.70")))
        self.assertTrue(self.js("return window.__sameDocument === true"), "the page was reloaded")

        leaving = self.server.connect()
        self.send(leaving, frame(102, "10", 1, "10.00"))
        self.open("/")
        self.assertTrue(self.wait_state(102, "connected"))
        leaving.close()
        self.assertTrue(self.wait_state(102, "disconnected"))
        staying.close()

    def test_texts_from_the_network_show_literally_and_run_nothing(self):
        client = self.server.connect()
        self.send(client, frame(103, "45", 0, XSS_IMG + XSS_SCRIPT), frame(103, "35", 0, "xx" + XSS_IMG),
                  frame(103, "10", 1, "1.00", stamp=XSS_STAMP))
        self.open("/")
        self.assertTrue(self.wait_text('tr[data-uid="103"] td.col-registration', lambda t: XSS_SCRIPT in t))
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
        points = self.js("return Chart.getChart('chart').data.datasets[0].data.map(p => [p.row, p.y])")
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
        self.assertRegex(self.text_of("#title"), r"^records of Unit ID:201 \S.*:1$")

    def drawn(self):
        """How the page's query ended: "drawn" or "refused"."""
        return wait_until(lambda: self.js("const s = document.body.dataset.state;"
                                          "return s === 'drawn' || s === 'refused' ? s : null;"))

    def test_the_axis_spans_the_arrival_times_a_gap_breaks_the_line_and_a_drag_zooms_in(self):
        # A reading a minute from 10:00 to 11:39, nothing for three hours, then from 14:40 to 15:29.
        times = ["2026-12-07 %02d:%02d:00" % divmod(600 + m, 60) for m in range(100)] + \
                ["2026-12-07 %02d:%02d:00" % divmod(880 + m, 60) for m in range(50)]
        with sqlite3.connect(self.server.database) as db:
            db.executemany('INSERT INTO "201_AIN2" VALUES (?, ?, ?, ?, 0)',
                           ((i, i % 7, "20261207000000", t) for i, t in enumerate(times)))
        self.open("/rtu/201/history?channel=AIN2")
        self.assertEqual(self.drawn(), "drawn")
        wall = "return Date.parse(arguments[0].replace(' ', 'T') + 'Z')"
        axis = self.js("const x = Chart.getChart('chart').scales.x; return [x.min, x.max];")
        self.assertEqual(axis, [self.js(wall, times[0]), self.js(wall, times[-1])])
        data = self.js("return Chart.getChart('chart').data.datasets[0].data.map(p => [p.row, p.y])")
        self.assertEqual([i for i, (_, y) in enumerate(data) if y is None], [100])
        self.assertEqual((data[99][0], data[101][0]), (99, 100))

        # A drag from 10:20 to 10:40 asks for the readings that arrived between the two.
        pixel = "return Chart.getChart('chart').scales.x.getPixelForValue(Date.parse(arguments[0]));"
        canvas = self.browser.find_element("id", "chart")
        left, right = (self.js(pixel, "2026-12-07T%s:00Z" % t) for t in ("10:20", "10:40"))
        middle = canvas.size["width"] / 2
        ActionChains(self.browser).move_to_element_with_offset(canvas, int(left - middle), 0).click_and_hold() \
            .move_by_offset(int(right - left), 0).release().perform()
        self.assertTrue(wait_until(lambda: "ltime_from" in self.browser.current_url))
        self.assertEqual(self.drawn(), "drawn")
        query = urllib.parse.parse_qs(urllib.parse.urlparse(self.browser.current_url).query)
        first, last = query["ltime_from"][0], query["ltime_to"][0]
        self.assertTrue("2026-12-07 10:19:00" < first < "2026-12-07 10:21:00", first)
        inside = sum(1 for t in times if first <= t <= last)
        self.assertRegex(self.text_of("#title"), "^%d records of " % inside)
        self.assertEqual(self.js("const x = Chart.getChart('chart').scales.x; return [x.min, x.max];"),
                         [self.js(wall, first), self.js(wall, last)])
        self.js("document.getElementById('zoom-out').click();")
        self.assertTrue(self.wait_text("#title", lambda t: t.startswith("150 records of ")))
        self.assertNotIn("ltime_from", self.browser.current_url)

    def test_a_query_the_server_cannot_answer_shows_why_and_keeps_the_title(self):
        self.open("/rtu/201/history?channel=AIN3")
        self.assertEqual(self.drawn(), "drawn")
        title = self.text_of("#title")
        self.server.stop()
        try:
            self.js("document.getElementById('query').click();")
            self.assertTrue(self.wait_text("#message", lambda t: t.startswith("The server does not answer")))
            self.assertEqual(self.text_of("#title"), title)
        finally:
            self.server.start()


class Reconnect(ConsoleTest):
    units = (31,)

    def test_page_reconnects_after_the_server_restarts(self):
        self.open("/")
        self.assertTrue(self.wait_text("#badge", "live"))
        self.assertTrue(self.wait_state(31, "never"))
        self.server.stop()
        self.assertTrue(self.wait_text("#badge", "reconnecting"))
        self.server.start()
        client = self.server.connect()
        self.send(client, frame(31, "10", 1, "1.00"))
        self.assertTrue(self.wait_state(31, "connected"))
        self.assertEqual(self.text_of("#badge"), "live")
        client.close()

    def colour(self, selector):
        return self.js("return getComputedStyle(document.querySelector(arguments[0])).color", selector)

    def test_values_are_greyed_and_ages_stop_while_the_server_is_away(self):
        client = self.server.connect()
        self.send(client, frame(31, "10", 1, "14.00"))
        client.close()
        self.open("/rtu/31")
        self.assertTrue(self.wait_text("#value-AIN1", lambda text: text.startswith("4.00")))
        live = self.colour("#value-AIN1")
        muted = self.js("return getComputedStyle(document.body).getPropertyValue('--muted').trim()")
        self.server.stop()
        self.assertTrue(self.wait_text("#badge", "reconnecting"))
        self.assertNotEqual(self.colour("#value-AIN1"), live)
        self.assertEqual(self.colour("#value-AIN1"), self.js("const probe = document.createElement('i');"
                                                             "probe.style.color = arguments[0]; document.body.append(probe);"
                                                             "return getComputedStyle(probe).color;", muted))
        age = self.text_of("#summary .age")
        later = self.js("return TV.serverNow() + 2000")
        wait_until(lambda: self.js("return TV.serverNow()") > later)
        self.assertEqual(self.text_of("#summary .age"), age)

        self.server.start()
        client = self.server.connect()
        self.send(client, frame(31, "10", 1, "15.00"))
        self.assertTrue(self.wait_text("#value-AIN1", lambda text: text.startswith("5.00")))
        self.assertEqual(self.text_of("#badge"), "live")
        self.assertEqual(self.colour("#value-AIN1"), live)
        client.close()


# Every element with text of its own that is shown, and its contrast against the first background
# behind it that is not transparent (WCAG's relative luminance); those below 4.5:1, and the page's
# background luminance.
CONTRAST = """
const luminance = (colour) => {
  const [r, g, b] = colour.match(/[\\d.]+/g).slice(0, 3).map((v) => {
    v = Number(v) / 255;
    return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4;
  });
  return 0.2126 * r + 0.7152 * g + 0.0722 * b;
};
const background = (node) => {
  for (; node; node = node.parentElement) {
    const colour = getComputedStyle(node).backgroundColor;
    const parts = colour.match(/[\\d.]+/g);
    if (parts && (parts.length < 4 || Number(parts[3]) > 0.5)) return colour;
  }
  return 'rgb(255, 255, 255)';
};
const low = [];
for (const node of document.querySelectorAll('body *:not(script):not(style):not(option)')) {
  const own = [...node.childNodes].some((child) => child.nodeType === 3 && child.textContent.trim());
  if (!own || !node.getClientRects().length) continue;
  const [a, b] = [luminance(getComputedStyle(node).color), luminance(background(node))];
  const ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
  if (ratio < 4.5) low.push(node.tagName + '.' + node.className + ' "' + node.textContent.trim().slice(0, 20) + '" ' + ratio.toFixed(2));
}
return [low, luminance(background(document.body))];
"""


class PhoneAndDark(ConsoleTest):
    units = (51, 52, 53, 54)

    def setUp(self):
        client = self.server.connect()
        self.send(client, frame(52, "10", 1, "12.00"))
        client.close()

    def tearDown(self):
        self.browser.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
        self.browser.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})

    def test_a_phone_shows_cards_sorted_by_the_selector(self):
        self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                     {"width": 390, "height": 844, "deviceScaleFactor": 1, "mobile": True})
        self.open("/")
        self.assertTrue(self.wait_state(52, "disconnected"))
        self.assertLessEqual(self.js("return document.documentElement.scrollWidth"), 390)
        cards = "return [...document.querySelectorAll('#rows tr')].map(r => r.dataset.uid)"
        self.assertEqual(self.js(cards), ["51", "52", "53", "54"])
        shown = self.js("return [...document.querySelectorAll('#rows tr:first-child td')]"
                        ".filter(td => td.getClientRects().length).map(td => [...td.classList].find(c => c.startsWith('col-')))")
        self.assertEqual(sorted(shown), ["col-last", "col-name", "col-state", "col-uid"])
        self.assertLessEqual(self.js("return Math.max(...[...document.querySelectorAll('#rows tr')]"
                                     ".map(r => r.getBoundingClientRect().height))"), 90)
        self.assertFalse(self.js("return document.querySelector('#fleet thead').getClientRects().length"))
        self.js("const s = document.getElementById('sort'); s.value = 'uid:down';"
                "s.dispatchEvent(new Event('change'));")
        self.assertEqual(self.js(cards), ["54", "53", "52", "51"])
        self.js("const s = document.getElementById('sort'); s.value = 'state:up';"
                "s.dispatchEvent(new Event('change'));")
        self.assertEqual(self.js(cards)[0], "52")  # a problem comes first

    def test_every_text_keeps_aa_contrast_in_the_light_and_the_dark_theme(self):
        for scheme in ("light", "dark"):
            self.browser.execute_cdp_cmd("Emulation.setEmulatedMedia",
                                         {"features": [{"name": "prefers-color-scheme", "value": scheme}]})
            self.open("/")
            self.assertTrue(self.wait_state(52, "disconnected"))
            # A row in each state, the ones no RTU is in now too, each styled as the page styles it.
            self.js("for (const [name] of TV.states) {"
                    "  const row = TV.el('tr', 'row-' + name, null, [TV.el('td', '', null, [TV.stateBadge(name)]),"
                    "    TV.el('td', 'col-last', '5 min ago')]);"
                    "  document.getElementById('rows').append(row); }")
            low, page = self.js(CONTRAST)
            self.assertEqual(low, [], scheme)
            self.assertLess(page, 0.05) if scheme == "dark" else self.assertGreater(page, 0.9)
            for path, ready in (("/rtu/52", "document.body.dataset.rendered"),
                                ("/rtu/52/history?channel=AIN1", "document.body.dataset.state === 'drawn'")):
                self.open(path)
                self.assertTrue(wait_until(lambda: self.js("return " + ready)))
                self.assertEqual(self.js(CONTRAST)[0], [], scheme + " " + path)


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
        self.assertTrue(self.wait_state(41, "never"))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
