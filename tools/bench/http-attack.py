#!/usr/bin/env python3
"""Attacks on the monitoring endpoint for measure-attacks.sh; prints one line of figures.

  http-attack.py PORT slow      70 connections sending their head a byte every 5 s while /healthz is
                                asked once a second, 18 times
  http-attack.py PORT streams   200 event-stream readers, then /healthz once a second, 24 times

Every client connects from 127.0.0.1, as one on the monitoring host would; a probe counts as
answered when 200 comes within 5 s.
"""
import socket
import sys
import threading
import time

PORT = int(sys.argv[1])


def connect(timeout=5):
    return socket.create_connection(("127.0.0.1", PORT), timeout=timeout)


def probe(path="/healthz"):
    try:
        with connect() as s:
            s.sendall(f"GET {path} HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n".encode())
            return s.recv(64).startswith(b"HTTP/1.1 200")
    except OSError:
        return False


def probes(count):
    answered = 0
    for _ in range(count):
        started = time.monotonic()
        answered += probe()
        time.sleep(max(0.0, 1 - (time.monotonic() - started)))
    return answered


def slow():
    clients = []
    for _ in range(70):
        try:
            s = connect()
            s.sendall(b"GET /metrics HTTP/1.1\r\n")
            clients.append(s)
        except OSError:
            pass
    stop = threading.Event()

    def trickle():
        while not stop.wait(5):
            for s in clients:
                try:
                    s.sendall(b"X")
                except OSError:
                    pass

    threading.Thread(target=trickle, daemon=True).start()
    answered = probes(18)
    stop.set()
    print(f"{answered} of 18 answered")


def streams():
    outcome = {"accepted": 0, "refused": 0, "hanging": 0}
    lock = threading.Lock()

    def reader():
        try:
            s = connect()
            s.sendall(b"GET /api/events?topic=status HTTP/1.1\r\nHost: t\r\n\r\n")
            head = s.recv(64)
        except socket.timeout:
            kind = "hanging"
        except OSError:
            kind = "refused"
        else:
            kind = "accepted" if head.startswith(b"HTTP/1.1 200") else "refused"
        with lock:
            outcome[kind] += 1
        if kind == "accepted":
            s.settimeout(None)
            try:
                while s.recv(65536):
                    pass
            except OSError:
                pass

    for _ in range(200):
        threading.Thread(target=reader, daemon=True).start()
    time.sleep(6)
    answered = probes(24)
    print(f"{outcome['accepted']} accepted, {outcome['refused']} refused, {outcome['hanging']} hanging; "
          f"{answered} of 24 answered")


{"slow": slow, "streams": streams}[sys.argv[2]]()
