#!/usr/bin/env python3
"""Siege test of vemtrac serve on loopback: what one client could do to all.

- 64 slow clients each send a header line every 0.25 s and never finish:
  /healthz answers within a second all along, and each slow client is
  answered 408 and closed once its header deadline (2 s here) is past.
- A lying length (Content-Length: 99999999999, three bytes sent) is
  answered 413 at once.
- A large job made here (some 12 MB of short cuts) through /v1/timeline as
  JSON: the server's peak memory (VmHWM in /proc/PID/status) grows by at
  most its budget, 64 MiB and four times the body, and its resident memory
  falls back near where it started.

Prints the figures. Usage: serve_siege.py VEMTRAC
"""
import http.client
import random
import socket
import subprocess
import sys
import threading
import time

SLOW_CLIENTS = 64
HEADER_TIMEOUT_S = 2
BUDGET = 64 << 20


def memory_kib(pid):
    """VmRSS and VmHWM of the process, KiB."""
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                values[key] = int(rest.split()[0])
    return values["VmRSS"], values["VmHWM"]


def large_job(size):
    """A job of short pen-down moves, about size bytes."""
    rng = random.Random(38)
    lines = ["VemtracCmdVer 1", "VectorSpeed" + " 500" * 16, "ToHpglMode 0",
             "execute_penselect 2", "pu_default 20000 20000"]
    while sum(map(len, lines)) + len(lines) < size:
        lines.extend(f"pd_default {rng.randint(-400, 400)} {rng.randint(-400, 400)}"
                     for _ in range(10000))
    return ("\n".join(lines) + "\n").encode()


def healthz_ms(port):
    start = time.perf_counter()
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    try:
        conn.request("GET", "/healthz")
        if conn.getresponse().status != 200:
            return None
    finally:
        conn.close()
    return (time.perf_counter() - start) * 1000


def siege_slow_clients(port, failures):
    """The slow clients beside the health probe; the probe's slowest ms."""
    slow = [socket.create_connection(("127.0.0.1", port)) for _ in range(SLOW_CLIENTS)]
    stop = threading.Event()

    def trickle():
        for s in slow:
            s.sendall(b"GET / HTTP/1.1\r\n")
        while not stop.wait(0.25):
            for s in slow:
                try:
                    s.sendall(b"X-Slow: 1\r\n")
                except OSError:
                    pass

    sender = threading.Thread(target=trickle)
    sender.start()
    probes = []
    until = time.monotonic() + HEADER_TIMEOUT_S * 0.8
    while time.monotonic() < until:
        probes.append(healthz_ms(port))
        time.sleep(0.05)
    time.sleep(HEADER_TIMEOUT_S)
    stop.set()
    sender.join()
    if None in probes or max(probes) > 1000:
        failures.append(f"/healthz beside {SLOW_CLIENTS} slow clients: {probes}")
    dropped = 0
    for s in slow:
        s.settimeout(2)
        try:
            reply = s.recv(64)
            dropped += reply == b"" or reply.startswith(b"HTTP/1.1 408")
        except OSError:
            pass
        s.close()
    if dropped != SLOW_CLIENTS:
        failures.append(f"{SLOW_CLIENTS - dropped} slow clients still held after their deadline")
    return max(p for p in probes if p is not None)


def lying_length(port, failures):
    """A declared length far over the limit; the ms to the answer."""
    start = time.perf_counter()
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(b"POST /v1/estimate HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999\r\n\r\nabc")
        try:
            reply = s.recv(64)
        except OSError:
            reply = b""
    ms = (time.perf_counter() - start) * 1000
    if not reply.startswith(b"HTTP/1.1 413") or ms > 1000:
        failures.append(f"a lying length: {reply[:20]!r} after {ms:.0f} ms")
    return ms


def large_timeline(port, pid, failures):
    """The large job's JSON timeline; the growth of the peak and what is
    still held after, MiB."""
    job = large_job(12 << 20)
    rss, _ = memory_kib(pid)
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    conn.request("POST", "/v1/timeline", body=job, headers={"Accept": "application/json"})
    r = conn.getresponse()
    size, last = 0, b""
    while chunk := r.read(1 << 20):
        size, last = size + len(chunk), chunk
    conn.close()
    time.sleep(0.3)
    after, peak = memory_kib(pid)
    budget = (BUDGET + 4 * len(job)) >> 10
    if r.status != 200 or not last.endswith(b"]}\n"):
        failures.append(f"the large timeline: HTTP {r.status}, {size} bytes")
    if peak - rss > budget:
        failures.append(f"the large timeline grew the peak by {peak - rss} KiB, over {budget} KiB")
    if after - rss > 16 << 10:
        failures.append(f"after the large timeline {after - rss} KiB more are still held")
    return len(job) >> 20, size >> 20, (peak - rss) >> 10, (after - rss) >> 10, budget >> 10


def main():
    with open("/proc/self/status"):
        pass
    server = subprocess.Popen([sys.argv[1], "serve", "--port", "0",
                               "--header-timeout-s", str(HEADER_TIMEOUT_S)],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    failures = []
    try:
        port = int(server.stdout.readline().rstrip().rstrip("/").rsplit(":", 1)[1])
        worst = siege_slow_clients(port, failures)
        lie = lying_length(port, failures)
        body, answer, grew, held, budget = large_timeline(port, server.pid, failures)
        alive = server.poll() is None and healthz_ms(port) is not None
    finally:
        server.terminate()
        server.wait()
    for f in failures:
        print("serve_siege: FAIL:", f)
    if not alive:
        print("serve_siege: FAIL: the server died")
    print(f"serve_siege: /healthz beside {SLOW_CLIENTS} slow clients at most {worst:.1f} ms; "
          f"a lying length answered in {lie:.1f} ms; a {body} MiB job's {answer} MiB JSON "
          f"timeline grew the peak by {grew} MiB (budget {budget} MiB), {held} MiB held after")
    return 0 if alive and not failures else 1


if __name__ == "__main__":
    sys.exit(main())
