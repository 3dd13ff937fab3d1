#!/usr/bin/env python3
"""Load-test clients that wrk cannot be: each from a loopback address of its own, so the
server sees separate clients. Every loop is bounded in time.

  clients.py visitor URL SITEKEY FROM COUNT         challenges one after another; prints p50 p99 (ms) and errors
  clients.py flood URL SITEKEY FROM SECONDS N BODY  N connections asking for BODY as fast as answered
  clients.py slow URL FROM SECONDS N                N connections trickling header bytes from each
                                                    address of FROM (a comma-separated list)
"""
import http.client
import json
import resource
import socket
import sys
import threading
import time
import urllib.parse


def connection(url, source):
    parts = urllib.parse.urlparse(url)
    return http.client.HTTPConnection(parts.hostname, parts.port, timeout=30, source_address=(source, 0))


def challenge(conn, sitekey, body=None):
    wishes = dict(body or {})
    wishes["sitekey"] = sitekey
    conn.request("POST", "/api/challenge", body=json.dumps(wishes), headers={"Content-Type": "application/json"})
    reply = conn.getresponse()
    reply.read()
    return reply.status


def visitor(url, sitekey, source, count):
    times, errors = [], 0
    conn = connection(url, source)
    for _ in range(int(count)):
        started = time.perf_counter()
        try:
            status = challenge(conn, sitekey)
        except (OSError, http.client.HTTPException):
            conn.close()
            conn = connection(url, source)
            status = 0
        times.append((time.perf_counter() - started) * 1000)
        errors += status != 200
        time.sleep(0.02)
    times.sort()
    print(f"{times[len(times) // 2]:.2f} {times[min(len(times) - 1, int(len(times) * 0.99))]:.2f} {errors}")


def flood(url, sitekey, source, seconds, n, body):
    deadline = time.monotonic() + float(seconds)
    wishes = json.loads(body)

    def run():
        conn = connection(url, source)
        while time.monotonic() < deadline:
            try:
                challenge(conn, sitekey, wishes)
            except (OSError, http.client.HTTPException):
                conn.close()
                conn = connection(url, source)
    threads = [threading.Thread(target=run) for _ in range(int(n))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def slow(url, sources, seconds, n):
    parts = urllib.parse.urlparse(url)
    deadline = time.monotonic() + float(seconds)
    sources = sources.split(",")
    # Thousands of sockets need as many open files.
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    held = {source: [] for source in sources}
    while time.monotonic() < deadline:
        # Keep N open from each address, each a byte further into its headers every second;
        # the ones the server closed or refused are opened again.
        for source, sockets in held.items():
            while len(sockets) < int(n) and time.monotonic() < deadline:
                try:
                    s = socket.create_connection((parts.hostname, parts.port), timeout=2, source_address=(source, 0))
                    s.sendall(b"GET /healthz HTTP/1.1\r\nHost: x\r\n")
                except OSError:
                    break
                sockets.append(s)
            for s in list(sockets):
                try:
                    s.sendall(b"X")
                except OSError:
                    s.close()
                    sockets.remove(s)
        time.sleep(1)
    for sockets in held.values():
        for s in sockets:
            s.close()


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    {"visitor": visitor, "flood": flood, "slow": slow}[command](*args)
