#!/usr/bin/env python3
"""Runs the attacks that `quillgate serve` must withstand against a given binary on
127.0.0.1 and prints how often each succeeded, as a Markdown table: a measurement, not a
test. Each attack is bounded in count and time; clients bind their own loopback addresses
(127.0.0.2 the attacker, 127.0.0.3 a visitor) so the server sees separate clients.

Usage: tools/attack-rates.py QUILLGATE_BINARY [--legacy]
--legacy: the binary predates site keys (no --quiet, no sitekey in requests, no /readyz).
Needs redis-server for the Redis attacks.
"""
import http.client
import json
import os
import random
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

BINARY = sys.argv[1]
LEGACY = "--legacy" in sys.argv[2:]
WORK = tempfile.mkdtemp(prefix="quillgate-attacks-")
KEYS = os.path.join(WORK, "keys")
ROWS = []


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Serve:
    def __init__(self, *options):
        args = [BINARY, "serve", "--listen", "127.0.0.1:0", "--workers", "2", "--secret-file", KEYS, *options]
        if not LEGACY:
            args.append("--quiet")
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = self.process.stdout.readline()
        match = re.search(r"http://127\.0\.0\.1:(\d+)", line)
        if not match:
            raise SystemExit("serve did not start: " + line)
        self.port = int(match.group(1))

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=30)


def request(port, method, path, body=None, source="127.0.0.1", timeout=30):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout, source_address=(source, 0))
    try:
        headers = {"Content-Type": "application/json"} if body is not None else {}
        conn.request(method, path, body=None if body is None else json.dumps(body), headers=headers)
        reply = conn.getresponse()
        data = reply.read()
        try:
            return reply.status, json.loads(data)
        except ValueError:
            return reply.status, {}
    finally:
        conn.close()


def challenge(port, wishes=None, source="127.0.0.1"):
    return request(port, "POST", "/api/challenge", dict(wishes or {}), source)


def verify(port, token, answer, source="127.0.0.1"):
    return request(port, "POST", "/api/verify", {"token": token, "answer": answer}, source)


def code_of(token):
    out = subprocess.run([BINARY, "token", "open", "--secret-file", KEYS, token], capture_output=True, text=True)
    return json.loads(out.stdout)["code"]


def row(attack, outcome):
    ROWS.append((attack, outcome))
    print(f"{attack}: {outcome}", file=sys.stderr)


def weak_challenges():
    server = Serve()
    wins = issued = 0
    for _ in range(500):
        status, reply = challenge(server.port, {"length": 1, "type": 2}, "127.0.0.2")
        if status != 200:
            continue
        issued += 1
        status, result = verify(server.port, reply["token"], str(random.randrange(10)), "127.0.0.2")
        wins += result.get("success") is True
    row("one-digit challenges asked for, then guessed blindly (500 tries)",
        f"{issued} issued, {wins} guesses accepted ({wins / 5:.1f} %)")
    server.stop()


def store_fill():
    server = Serve("--memory-capacity", "1000")
    issued = 0
    for _ in range(2000):
        issued += challenge(server.port, {"width": 120, "height": 40, "style": 31}, "127.0.0.2")[0] == 200
    status, reply = challenge(server.port, {}, "127.0.0.3")
    verified = status == 200 and verify(server.port, reply["token"], code_of(reply["token"]), "127.0.0.3")[1].get("success")
    row("2,000 unanswered challenges from one client (store of 1,000), then a visitor",
        f"attacker got {issued}; visitor's challenge {status}, verify {'accepted' if verified else 'refused'}")
    server.stop()


def connection_hold():
    server = Serve("--header-timeout", "30")
    held = []
    for _ in range(520):
        try:
            s = socket.create_connection(("127.0.0.1", server.port), timeout=2, source_address=("127.0.0.2", 0))
            s.sendall(b"GET /healthz HTTP/1.1\r\nHost: x\r\n")
            held.append(s)
        except OSError:
            break
    time.sleep(0.5)
    try:
        status = request(server.port, "GET", "/healthz", source="127.0.0.3", timeout=5)[0]
    except OSError as error:
        status = str(error)
    row("520 connections trickling header bytes from one address, then a visitor", f"visitor got {status}")
    for s in held:
        s.close()
    server.stop()


def heavy_flood():
    server = Serve()
    stop = time.monotonic() + 6
    statuses = []

    def flood():
        while time.monotonic() < stop:
            statuses.append(challenge(server.port, {"style": 12, "width": 1000, "height": 400, "length": 16,
                                                    "format": "png"}, "127.0.0.2")[0])
    threads = [threading.Thread(target=flood) for _ in range(4)]
    for t in threads:
        t.start()
    time.sleep(1)
    times = []
    for _ in range(5):
        started = time.perf_counter()
        challenge(server.port, {}, "127.0.0.3")
        times.append((time.perf_counter() - started) * 1000)
    for t in threads:
        t.join()
    drawn = statuses.count(200)
    row("style 12 at 1000x400, length 16, PNG, 4 at a time for 6 s; a visitor's challenges",
        f"{drawn} heavy drawn of {len(statuses)}; visitor took {min(times):.0f} to {max(times):.0f} ms")
    server.stop()


def redis(port):
    return subprocess.Popen(["redis-server", "--port", str(port), "--bind", "127.0.0.1", "--save", "",
                             "--appendonly", "no", "--dir", WORK, "--loglevel", "warning"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def redis_attacks():
    port = free_port()
    server_process = redis(port)
    time.sleep(0.5)
    server = Serve("--store", f"redis://127.0.0.1:{port}")
    status, reply = challenge(server.port, {}, "127.0.0.3")
    token, code = reply["token"], code_of(reply["token"])
    first = verify(server.port, token, code)[1].get("success")
    server_process.terminate()
    server_process.wait()
    server_process = redis(port)
    time.sleep(0.5)
    # As an attacker would, tries again while the server says its store is unavailable.
    for _ in range(3):
        replay = verify(server.port, token, code)[1]
        if replay.get("error") != "store_unavailable":
            break
    row("a used token verified again after a Redis restart without persistence",
        f"first verify {'accepted' if first else 'refused'}; replay {'accepted' if replay.get('success') else 'refused (' + str(replay.get('error')) + ')'}")

    status, reply = challenge(server.port, {}, "127.0.0.3")
    server_process.send_signal(signal.SIGSTOP)
    started = time.perf_counter()
    try:
        status = verify(server.port, reply["token"], "X", "127.0.0.3")[0] if reply.get("token") else 0
    except OSError as error:
        status = str(error)
    took = (time.perf_counter() - started) * 1000
    health = request(server.port, "GET", "/healthz", timeout=5)[0]
    try:
        ready = request(server.port, "GET", "/readyz", timeout=5)[0]
    except OSError as error:
        ready = str(error)
    issued = challenge(server.port, {}, "127.0.0.4")[0]
    row("Redis stopped with SIGSTOP",
        f"verify {status} after {took:.0f} ms; /healthz {health}; /readyz {ready}; a new challenge {issued}")
    server_process.send_signal(signal.SIGCONT)
    server.stop()
    server_process.terminate()
    server_process.wait()


def two_memory_servers():
    a, b = Serve(), Serve()
    accepted = 0
    # Each round from addresses of its own, so that no bucket runs dry and hides the result.
    for i in range(20):
        status, reply = challenge(a.port, {}, f"127.0.0.{10 + i}")
        code = code_of(reply["token"])
        accepted += verify(b.port, reply["token"], code, f"127.0.1.{10 + i}")[1].get("success") is True
        accepted += verify(a.port, reply["token"], code, f"127.0.2.{10 + i}")[1].get("success") is True
    row("20 tokens each verified at two memory-store servers sharing a key file",
        f"{accepted} acceptances (one per token is right)")
    a.stop()
    b.stop()


for attack in (weak_challenges, store_fill, connection_hold, heavy_flood, redis_attacks, two_memory_servers):
    attack()
print(f"| attack ({'before' if LEGACY else 'after'}: {os.path.basename(BINARY)}) | outcome |\n|---|---|")
for attack, outcome in ROWS:
    print(f"| {attack} | {outcome} |")
subprocess.run(["rm", "-rf", WORK])
