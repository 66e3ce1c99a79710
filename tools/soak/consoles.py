#!/usr/bin/python3
"""Open console pages for the soak: N clients, each as a browser page would be, loads its page and
the page's files once, then follows the page's event stream until the process PID (rtusim) ends,
opening it again if it breaks; then one line with the pages, the events received, the reconnects
and the failures. Pages cycle through the fleet, the fleet, an RTU, the fleet, the status page and
the raw data page, so most follow the fleet as an operator's would.

    consoles.py PORT N PID
"""
import http.client, os, sys, threading, time

port, clients, watched = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
pages = [("/", "fleet"), ("/", "fleet"), ("/rtu/%d", "rtu:%d"), ("/", "fleet"), ("/status", "status"),
         ("/raw", "raw")]
files = {"/": ["fleet.js"], "/status": ["status.js"], "/raw": ["raw.js"], "/rtu/%d": ["rtu.js"]}
lock = threading.Lock()
stats = {"events": 0, "reconnects": 0, "failures": 0}


def alive():
    try:
        os.kill(watched, 0)
        return True
    except OSError:
        return False


def get(connection, path):
    connection.request("GET", path)
    response = connection.getresponse()
    response.read()
    return response.status == 200


def page(number):
    path, topic = pages[number % len(pages)]
    unit = number % 100 + 1
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    ok = get(connection, path.replace("%d", str(unit)))
    for name in ["console.css", "console.js"] + files[path]:
        ok = get(connection, "/assets/" + name) and ok
    ok = get(connection, "/api/texts") and ok
    connection.close()
    if not ok:
        with lock:
            stats["failures"] += 1
    first = True
    while alive():
        try:
            stream = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
            stream.request("GET", "/api/events?topic=" + topic.replace("%d", str(unit)))
            response = stream.getresponse()
            if not first:
                with lock:
                    stats["reconnects"] += 1
            first = False
            while alive():
                line = response.fp.readline()
                if not line:
                    break
                if line.startswith(b"event:"):
                    with lock:
                        stats["events"] += 1
            stream.close()
        except OSError:
            with lock:
                stats["failures"] += 1
            time.sleep(2)


threads = [threading.Thread(target=page, args=(n,), daemon=True) for n in range(clients)]
for thread in threads:
    thread.start()
while alive():
    time.sleep(0.5)
print("%d pages, %d events, %d reconnects, %d failed" % (clients, stats["events"], stats["reconnects"],
                                                         stats["failures"]))
