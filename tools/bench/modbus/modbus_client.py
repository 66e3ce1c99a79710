#!/usr/bin/python3
"""A Modbus/TCP master for the round-trip figures: fn 0x03 reads of one holding register (address
1000, unit 123) against a server on 127.0.0.1, timed one by one.

usage: modbus_client.py PORT back-to-back N       N reads on one connection, each sent as soon as
                                                 the previous reply is in
       modbus_client.py PORT connect-per-read N  N times: connect, one read, close; each timed from
                                                 the connect to the reply

Prints one JSON object: reads, p50_ms, p99_ms, max_ms, reads_per_s. A reply that does not come
within 10 s, or is not the reply to its request, ends the run with exit status 1.
"""
import json
import socket
import struct
import sys
import time

UNIT = 123
ADDRESS = 1000
REPLY_TIMEOUT_S = 10


def request(transaction):
    return struct.pack(">HHHBBHH", transaction, 0, 6, UNIT, 0x03, ADDRESS, 1)


def receive_exactly(sock, size):
    data = b""
    while len(data) < size:
        more = sock.recv(size - len(data))
        if not more:
            raise ConnectionError("the server closed the connection")
        data += more
    return data


def read_once(sock, transaction):
    sock.sendall(request(transaction))
    header = receive_exactly(sock, 9)
    got, protocol, _, unit, function, count = struct.unpack(">HHHBBB", header)
    if (got, protocol, unit, function, count) != (transaction, 0, UNIT, 0x03, 2):
        raise ValueError("reply %r does not answer read %d" % (header, transaction))
    receive_exactly(sock, count)


def connect(port):
    sock = socket.create_connection(("127.0.0.1", port), timeout=REPLY_TIMEOUT_S)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return sock


def back_to_back(port, reads):
    times = []
    with connect(port) as sock:
        for transaction in range(reads):
            start = time.perf_counter()
            read_once(sock, transaction & 0xFFFF)
            times.append(time.perf_counter() - start)
    return times


def connect_per_read(port, reads):
    times = []
    for transaction in range(reads):
        start = time.perf_counter()
        with connect(port) as sock:
            read_once(sock, transaction & 0xFFFF)
            times.append(time.perf_counter() - start)
    return times


def percentile(ordered, fraction):
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def main():
    if len(sys.argv) != 4 or sys.argv[2] not in ("back-to-back", "connect-per-read"):
        sys.exit(__doc__)
    port, mode, reads = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    run = back_to_back if mode == "back-to-back" else connect_per_read
    start = time.perf_counter()
    try:
        times = run(port, reads)
    except (OSError, ValueError) as error:
        print(json.dumps({"error": str(error)}))
        sys.exit(1)
    elapsed = time.perf_counter() - start
    ordered = sorted(times)
    ms = lambda seconds: round(seconds * 1000, 3)
    print(json.dumps({"reads": reads, "p50_ms": ms(percentile(ordered, 0.50)), "p99_ms": ms(percentile(ordered, 0.99)),
                      "max_ms": ms(ordered[-1]), "reads_per_s": round(reads / elapsed, 1)}))


if __name__ == "__main__":
    main()
