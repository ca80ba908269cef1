#!/usr/bin/python3
# Misbehaving clients against a running station: 50 event clients that never
# read or vanish mid-stream, and malformed requests (bad paths, methods, JSON,
# huge headers, slow senders). Every bay goes on flashing and recording; each
# bad request gets a 4xx with a JSON error; a client that stops reading is let
# go rather than buffered for.
#   clients_test.py KAVRO-CLI KAVRO-SIM
import collections
import json
import os
import socket
import struct
import sys
import threading
import time

from station_run import StationRun, check, wait_for

BAYS = 4
STALLED = 25   # event clients that never read
VANISHING = 25  # event clients that read a little, then reset the connection
EVENTS_REQUEST = b"GET /api/v1/events HTTP/1.1\r\nHost: station\r\nAccept: text/event-stream\r\n\r\n"


def connect(run, receive_buffer=None):
    # A burst of connections can overflow the library's listen backlog (5) while a
    # slow (sanitizer) build accepts: such a connection is refused and tried again.
    deadline = time.monotonic() + 10
    while True:
        s = socket.socket()
        if receive_buffer:  # before connecting, so that the window stays small
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        try:
            s.connect(("127.0.0.1", run.port))
            return s
        except ConnectionRefusedError:
            s.close()
            if time.monotonic() > deadline or not run.alive():
                raise
            time.sleep(0.05)


def reset(s):
    """Closes with a reset, as a client that vanishes does."""
    s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    s.close()


def exchange(run, data, stop_after=None, timeout=15):
    """Sends data (only its first stop_after bytes, if given: a slow sender) and reads
    until the server closes; (status, JSON error or None, seconds taken)."""
    start = time.monotonic()
    s = connect(run)
    s.settimeout(timeout)
    reply = b""
    try:
        if stop_after is None:
            s.sendall(data)
        else:  # a slow sender: part of the request, then nothing
            s.sendall(data[:stop_after])
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            reply += chunk
    except (ConnectionResetError, BrokenPipeError):
        pass  # what came before the reset is the answer
    finally:
        s.close()
    head, _, body = reply.partition(b"\r\n\r\n")
    status = int(head.split()[1]) if head.startswith(b"HTTP/1.1 ") else 0
    try:
        error = json.loads(body)["error"]
    except (ValueError, KeyError, TypeError):
        error = None
    return status, error, time.monotonic() - start


def bad_requests(run):
    token = run.token.encode()
    close = b"Host: station\r\nConnection: close\r\n"
    cases = {
        # no body and no length: nothing to wait for, refused for want of the token
        "bodyless POST": (b"POST /api/v1/bays/1/pause HTTP/1.1\r\n" + close + b"\r\n", 401),
        "unknown path": (b"GET /api/v1/nothing HTTP/1.1\r\n" + close + b"\r\n", 404),
        "path outside": (b"GET /../../etc/passwd HTTP/1.1\r\n" + close + b"\r\n", 404),
        "wrong method": (b"DELETE /api/v1/bays HTTP/1.1\r\n" + close + b"\r\n", 405),
        "unknown method": (b"BREW /api/v1/station HTTP/1.1\r\n" + close + b"\r\n", 400),
        "bad query": (b"GET /api/v1/records?limit=%ZZ HTTP/1.1\r\n" + close + b"\r\n", 400),
        "bad JSON": (b"POST /api/v1/bays/1/pause HTTP/1.1\r\n" + close + b"Authorization: Bearer " + token
                     + b"\r\nContent-Type: application/json\r\nContent-Length: 9\r\n\r\n{not json", 400),
        "huge header": (b"GET /api/v1/station HTTP/1.1\r\n" + close + b"X-Huge: " + b"x" * 200000 + b"\r\n\r\n",
                        None),
        "huge body": (b"POST /api/v1/start HTTP/1.1\r\n" + close + b"Content-Length: 999999999\r\n\r\n" + b"y" * 1000,
                      413),
        "garbage": (b"\x00\xff\xfe nonsense\r\n\r\n", 400),
    }
    for name, (data, expected) in cases.items():
        status, error, _ = exchange(run, data)
        check(status // 100 == 4 and (expected is None or status == expected),
              "%s: status %d, expected %s" % (name, status, expected or "4xx"))
        check(error and error["status"] == status, "%s: no JSON error (%s)" % (name, error))
    # A slow sender: half a request line, then silence. Let go after the read time-out.
    status, _, seconds = exchange(run, b"GET /api/v1/station HTTP/1.1\r\nHo", stop_after=30)
    check(seconds < 12, "a slow sender was held %.1f s" % seconds)


def reader(run, received, stop):
    """A well-behaved event client: reads everything until told to stop."""
    s = connect(run)
    s.sendall(EVENTS_REQUEST)
    s.settimeout(1)
    while not stop.is_set():
        try:
            chunk = s.recv(65536)
        except socket.timeout:
            continue
        if not chunk:
            break
        received.append(chunk)
    s.close()


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


def drained_to_end(s, limit):
    """Reads what the server left for a stalled client: (whether its stream ended, bytes)."""
    deadline = time.monotonic() + limit
    total = 0
    s.settimeout(1)
    while time.monotonic() < deadline:
        try:
            chunk = s.recv(65536)
        except socket.timeout:
            continue
        except ConnectionResetError:
            return True, total
        if not chunk:
            return True, total
        total += len(chunk)
    return False, total


def main():
    with StationRun(sys.argv[1], sys.argv[2], BAYS) as run:
        run.start_station("--leave-after", "3")
        stalled = [connect(run, receive_buffer=4096) for _ in range(STALLED)]
        for s in stalled:
            s.sendall(EVENTS_REQUEST)
        received, stop = [], threading.Event()
        listener = threading.Thread(target=reader, args=(run, received, stop))
        listener.start()
        wait_for(lambda: received, 10, "the well-behaved client's first bytes")
        rss_before = rss_kib(run.station.pid)

        run.start_sim()  # a unit on every bay, while the stalled clients hold their streams
        vanishing = []
        for _ in range(VANISHING):
            s = connect(run)
            s.sendall(EVENTS_REQUEST)
            vanishing.append(s)
        for s in vanishing:
            s.recv(1)
            reset(s)
        bad_requests(run)
        wait_for(lambda: len(run.stored_records()) == BAYS, 60, "a unit recorded on every bay")
        # and then a second unit on every bay, after it all
        for i in range(BAYS):
            open(run.bay(i) + ".swap", "w").close()
        wait_for(lambda: len(run.stored_records()) == 2 * BAYS, 60, "a second unit recorded on every bay")

        records = run.stored_records()
        passed = collections.Counter(r["port"] for r in records if r["result"] == "passed")
        check(sorted(passed.values()) == [2] * BAYS, "passed units by bay: %s" % passed)
        check(run.alive(), "the station ended: " + run.read("station.err"))
        rss_after = rss_kib(run.station.pid)
        stop.set()
        listener.join()
        read = sum(len(c) for c in received)
        drained = [drained_to_end(s, 15) for s in stalled]
        ended = sum(e for e, _ in drained)
        check(max(n for _, n in drained) < read, "a stalled client was sent all %d bytes" % read)
        check(ended == STALLED, "%d of %d clients that never read were let go" % (ended, STALLED))
        # (A sanitizer's own bookkeeping, ASan's quarantine of freed memory, would be counted too.)
        if not os.environ.get("ASAN_OPTIONS") and not os.environ.get("TSAN_OPTIONS"):
            check(rss_after - rss_before < 32 * 1024, "memory grew by %d KiB" % (rss_after - rss_before))
        status, station = run.request("/api/v1/station")
        check(status == 200 and station["totals"]["passed"] >= len(records), "the station after it all: %s" % station)
    print("%d units recorded, %d stalled clients let go, %d KiB read by a good client, memory %+d KiB"
          % (len(records), ended, read // 1024, rss_after - rss_before))


if __name__ == "__main__":
    main()
