"""What the console's browser tests share: telvorn-headless in a scratch directory of its own (its
HOME with the SQLite database, its ODBC files naming the build tree's driver, its INI files), RTUs
that send through loopback sockets or rtusim, and headless Chromium driven by Selenium. Everything
comes from Debian's packages (chromium, chromium-driver, python3-selenium); nothing is downloaded.

The build tree's programs come in the environment: TELVORN_HEADLESS, TELVORN_RTUSIM,
TELVORN_RTUDB_DRIVER, TELVORN_INI_DIR.
"""
import os
import re
import shutil
import signal
import socket
import sqlite3
import subprocess
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

HEADLESS = os.environ.get("TELVORN_HEADLESS", "")
RTUSIM = os.environ.get("TELVORN_RTUSIM", "")
DRIVER = os.environ.get("TELVORN_RTUDB_DRIVER", "")
INI_DIR = os.environ.get("TELVORN_INI_DIR", "")
# Every wait is bounded by this; a condition that holds returns at once.
GENEROUS_S = 30


def wait_until(condition, timeout=GENEROUS_S, step=0.05):
    """The condition's first true value, or None once the time is up."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            return None
        time.sleep(step)


def frame(uid, function, channel, payload, stamp="20261207120000"):
    """An RTU I/O frame of unit uid: function characters, a 14-character time text, channel, payload."""
    return "$%08dAB%s%s%02d%s$" % (uid, function, stamp, channel, payload)


class Server:
    """telvorn-headless in `directory` (its working directory and HOME)."""

    def __init__(self, directory, http_keys=""):
        self.directory = directory
        self.work = os.path.join(directory, "work")
        self.home = os.path.join(directory, "home")
        self.etc = os.path.join(directory, "etc")
        for path in (self.work, self.home, self.etc):
            os.makedirs(path, exist_ok=True)
        with open(os.path.join(self.etc, "odbcinst.ini"), "w") as f:
            f.write("[Telvorn RTUDB]\nDriver=%s\nSetup=%s\n" % (DRIVER, DRIVER))
        open(os.path.join(self.etc, "odbc.ini"), "w").close()
        for name in os.listdir(INI_DIR):
            shutil.copy(os.path.join(INI_DIR, name), self.work)
        self.http_keys = http_keys
        self.http_listen = "127.0.0.1:0"
        self.process = None
        self.url = ""
        self.port = 0

    @property
    def database(self):
        return os.path.join(self.home, "rtu", "RTU.db")

    def start(self):
        with open(os.path.join(self.work, "data_rtu.ini")) as f:
            settings = re.sub(r"(?m)^PORT=.*$", "PORT=0", f.read().split("\n[HTTP]")[0])
        with open(os.path.join(self.work, "data_rtu.ini"), "w") as f:
            f.write(settings + "\n[HTTP]\nLISTEN=%s\n%s" % (self.http_listen, self.http_keys))
        env = dict(os.environ, HOME=self.home, ODBCSYSINI=self.etc, ODBCINI=os.path.join(self.home, ".odbc.ini"))
        self.out = open(os.path.join(self.directory, "server.out"), "w+")
        self.process = subprocess.Popen([HEADLESS], cwd=self.work, env=env, stdout=self.out,
                                        stderr=subprocess.STDOUT)
        line = wait_until(lambda: re.search(r"HTTP endpoint on (\S+)", self.output()))
        assert line, self.output()
        self.url = line.group(1)
        http_port = int(self.url.rsplit(":", 1)[1])
        self.http_listen = "127.0.0.1:%d" % http_port  # a restart takes the same address
        self.port = wait_until(lambda: self.listening_port(other=http_port))
        assert self.port, self.output()

    def output(self):
        with open(self.out.name) as f:
            return f.read()

    def listening_port(self, other):
        inodes = set()
        fds = "/proc/%d/fd" % self.process.pid
        for name in os.listdir(fds):
            try:
                target = os.readlink(os.path.join(fds, name))
            except OSError:
                continue
            if target.startswith("socket:["):
                inodes.add(target[8:-1])
        with open("/proc/%d/net/tcp" % self.process.pid) as table:
            for line in table.readlines()[1:]:
                fields = line.split()
                port = int(fields[1].split(":")[1], 16)
                if fields[3] == "0A" and fields[9] in inodes and port != other:
                    return port
        return 0

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            # A sanitizer's report (a leak, a race) makes the exit status non-zero.
            status = self.process.wait(GENEROUS_S)
            assert status == 0, "telvorn-headless ended with %d:\n%s" % (status, self.output()[-4000:])
        self.process = None
        self.out.close()

    def register(self, *uids, names=None):
        """Registers the units as the RTU list does, with the channel tables the tests read; `names`
        gives some of them a name (RDATA1) and a site (RDATA2)."""
        with sqlite3.connect(self.database) as db:
            for uid in uids:
                name, site = (names or {}).get(uid, (None, None))
                db.execute("INSERT INTO RTU_TAB(UID, RDATA1, RDATA2, RDATA7) VALUES (?, ?, ?, '402')",
                           (str(uid), name, site))
                for kind, count in (("AIN", 4), ("DIN", 8), ("DOUT", 8), ("ECOUNTER", 4)):
                    for n in range(count):
                        self.channel_table(db, "%d_%s%d" % (uid, kind, n))
                for name in ("SIGNAL", "BATT", "ITEMP"):
                    self.channel_table(db, "%d_%s" % (uid, name))

    @staticmethod
    def channel_table(db, name):
        db.execute('CREATE TABLE "%s"(RID INT PRIMARY KEY, RVALUE FLOAT, RTIME TEXT(32), LTIME TEXT(32), '
                   'RTYPE INT)' % name)

    def connect(self):
        return socket.create_connection(("127.0.0.1", self.port), timeout=GENEROUS_S)


class ConsoleTest(unittest.TestCase):
    """One server (started, given RTUs, stopped per test) and one browser for the whole class."""

    http_keys = ""
    units = ()
    names = {}  # unit id: (name, site)

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="telvorn-browser-")
        cls.server = Server(cls.scratch, cls.http_keys)
        # The first start creates the database and its two fixed tables.
        cls.server.start()
        cls.server.stop()
        cls.server.register(*cls.units, names=cls.names)
        cls.server.start()
        options = webdriver.ChromeOptions()
        for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--window-size=1200,900", "--user-data-dir=" + os.path.join(cls.scratch, "chromium")):
            options.add_argument(argument)
        options.binary_location = "/usr/bin/chromium"
        cls.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.server.stop()
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def open(self, path):
        self.browser.get(self.server.url + path)

    def js(self, script, *arguments):
        return self.browser.execute_script(script, *arguments)

    def text_of(self, selector):
        return self.js("const e = document.querySelector(arguments[0]); return e ? e.textContent : null;", selector)

    def wait_text(self, selector, wanted, timeout=GENEROUS_S):
        """Waits until the element's text equals (a string) or satisfies (a function) `wanted`."""
        test = wanted if callable(wanted) else (lambda text: text == wanted)
        return wait_until(lambda: (lambda text: text is not None and test(text))(self.text_of(selector)), timeout)

    def state_of(self, uid):
        """The state the fleet page shows for the unit, or None while it shows no such row."""
        return self.js("const row = document.querySelector('#rows tr[data-uid=\"' + arguments[0] + '\"]');"
                       "return row ? row.dataset.state : null;", str(uid))

    def wait_state(self, uid, wanted):
        return wait_until(lambda: self.state_of(uid) == wanted)

    def send(self, client, *frames):
        """Sends the frames, then a Modbus read of the unit of the last: once its reply is back, every
        frame before it has been decoded."""
        for text in frames:
            client.sendall(text.encode("latin-1"))
        uid = int(frames[-1][1:9])
        client.sendall(bytes([0, 7, 0, 0, 0, 6, uid & 0xFF, 3, 0x03, 0xE8, 0, 1]))
        reply = b""
        while len(reply) < 11:
            more = client.recv(64)
            self.assertTrue(more, "the server closed the connection")
            reply += more
