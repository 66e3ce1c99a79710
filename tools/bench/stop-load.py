#!/usr/bin/env python3
"""Load for tools/bench/measure-stop.sh: UNITS RTUs on connections of their own send AIN0 frames to
telvorn-headless (echo on) with the values 1, 2, 3, ..., each once the one before was echoed and
PAUSE seconds after it; SIGTERM goes to PID after SIGNAL_AFTER seconds. Each RTU sends until its
connection ends. Prints one JSON object: every frame with its unit, value, whether it was written
before the signal, and whether it was echoed.

    stop-load.py PORT PID UNITS SIGNAL_AFTER [PAUSE]
"""
import json
import os
import signal
import socket
import sys
import threading
import time

port, pid, units, signal_after = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
pause = float(sys.argv[5]) if len(sys.argv) > 5 else 0.05
signalled = threading.Event()
frames = []
lock = threading.Lock()


def rtu(unit):
    connection = socket.create_connection(("127.0.0.1", port))
    connection.settimeout(3)
    echo_start = b"$%08dAB10" % unit
    received = b""
    value = 0
    while True:
        value += 1
        try:
            connection.sendall(b"$%08dAB102026120712000000" % unit + b"1%d.00$" % value)
        except OSError:
            break
        before = not signalled.is_set()
        try:
            while received.count(echo_start) < value:
                more = connection.recv(4096)
                if not more:
                    break
                received += more
        except OSError:
            pass
        echoed = received.count(echo_start) >= value
        with lock:
            frames.append({"unit": unit, "value": value, "before": before, "echoed": echoed})
        if not echoed:
            break
        time.sleep(pause)
    connection.close()


threads = [threading.Thread(target=rtu, args=(unit,)) for unit in range(1, units + 1)]
for thread in threads:
    thread.start()
time.sleep(signal_after)
signalled.set()
os.kill(pid, signal.SIGTERM)
for thread in threads:
    thread.join()
json.dump({"frames": frames}, sys.stdout)
