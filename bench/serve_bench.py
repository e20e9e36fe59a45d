#!/usr/bin/env python3
"""Throughput and latency of vemtrac serve on the example jobs.

Starts the service on a free loopback port and, for 1, 2, 4 and 8 clients
(each on a connection of its own, kept alive), sends POST /v1/estimate
with the example jobs in turn for a few seconds; prints requests per
second and the 50th and 99th percentile latency.

Usage: serve_bench.py VEMTRAC EXAMPLES_DIR [SECONDS [WORKERS]]
(WORKERS: the service's --workers; its default when not given)
"""
import http.client
import os
import subprocess
import sys
import threading
import time


def client(port, jobs, until, latencies):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    i = 0
    while time.monotonic() < until:
        start = time.perf_counter()
        conn.request("POST", "/v1/estimate", body=jobs[i % len(jobs)],
                     headers={"Content-Type": "application/octet-stream"})
        r = conn.getresponse()
        r.read()
        if r.status != 200:
            raise RuntimeError(f"HTTP {r.status}")
        latencies.append(time.perf_counter() - start)
        i += 1
        if r.getheader("Connection", "").lower() == "close":
            conn.close()
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    conn.close()


def measure(port, jobs, clients, seconds):
    """Requests per second and the latencies' 50th and 99th percentiles (ms)."""
    latencies = []
    until = time.monotonic() + seconds
    start = time.monotonic()
    threads = [threading.Thread(target=client, args=(port, jobs, until, latencies))
               for _ in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - start
    latencies.sort()
    pick = lambda q: latencies[min(len(latencies) - 1, int(q * len(latencies)))] * 1000
    return len(latencies) / elapsed, pick(0.99), pick(0.50), len(latencies)


def run(port, jobs, clients, seconds):
    rate, p99, p50, count = measure(port, jobs, clients, seconds)
    print(f"{clients} client(s): {rate:7.1f} requests/s, "
          f"p50 {p50:6.1f} ms, p99 {p99:6.1f} ms ({count} requests)")


def main():
    vemtrac, examples = sys.argv[1:3]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 10
    workers = ["--workers", sys.argv[4]] if len(sys.argv) > 4 else []
    jobs = [open(os.path.join(examples, n), "rb").read()
            for n in sorted(os.listdir(examples)) if n.endswith(".cmd")]
    server = subprocess.Popen([vemtrac, "serve", "--port", "0", "--queue", "8", *workers],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = int(server.stdout.readline().rstrip().rstrip("/").rsplit(":", 1)[1])
        for clients in (1, 2, 4, 8):
            run(port, jobs, clients, seconds)
    finally:
        server.terminate()
        server.wait()


if __name__ == "__main__":
    main()
