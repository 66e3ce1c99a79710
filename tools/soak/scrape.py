#!/usr/bin/python3
"""Monitoring clients for the soak: N threads, each on its own keep-alive connection, ask
/metrics and /api/rtus every 100 ms until the process PID (rtusim) ends; then one line with the
requests made, the failures and the slowest answer.

    scrape.py PORT N PID
"""
import http.client, os, sys, threading, time

port, clients, watched = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
lock = threading.Lock()
stats = {"requests": 0, "failures": 0, "slowest_ms": 0.0}


def alive():
    try:
        os.kill(watched, 0)
        return True
    except OSError:
        return False


def scrape():
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    while alive():
        for path in ("/metrics", "/api/rtus"):
            started = time.monotonic()
            try:
                connection.request("GET", path)
                response = connection.getresponse()
                response.read()
                ok = response.status == 200
            except OSError:
                ok = False
                connection.close()
                connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            with lock:
                stats["requests"] += 1
                stats["failures"] += 0 if ok else 1
                stats["slowest_ms"] = max(stats["slowest_ms"], (time.monotonic() - started) * 1000)
        time.sleep(0.1)


threads = [threading.Thread(target=scrape) for _ in range(clients)]
for thread in threads:
    thread.start()
for thread in threads:
    thread.join()
print("%d requests, %d failed, slowest %.1f ms" % (stats["requests"], stats["failures"], stats["slowest_ms"]))
