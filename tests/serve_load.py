#!/usr/bin/env python3
"""Load and fault test of vemtrac serve, on loopback only.

8 clients send 250 requests each, mixing the example jobs, jobs cut short
from them, every file of tests/fault_inputs/, bodies over the size limit,
malformed HTTP, bad queries and clients that leave mid-upload. Every valid
request must get the figures of `vemtrac --report --json` for the same
bytes, every bad one its error status; the server must live through it.
Prints the server's peak memory.

Usage: serve_load.py VEMTRAC EXAMPLES_DIR FAULT_INPUTS_DIR [CLIENTS REQUESTS]
"""
import http.client
import json
import os
import random
import socket
import subprocess
import sys
import tempfile
import threading
import urllib.parse

MAX_BODY = 1 << 20


def report_figures(vemtrac, data, folder):
    """The job object, the timeline and the picture the program itself
    gives for these bytes."""
    job, csv, svg = (os.path.join(folder, n) for n in ("job.cmd", "timeline.csv", "picture.svg"))
    with open(job, "wb") as f:
        f.write(data)
    out = subprocess.run([vemtrac, "--report", "--json", "--timeline", csv, "--svg", svg, job],
                         capture_output=True, check=False)
    figures = json.loads(out.stdout)["jobs"][0]
    figures.pop("job")
    return {"name": job, "/v1/estimate": figures, "/v1/timeline": open(csv, "rb").read(),
            "/v1/picture": open(svg, "rb").read()}


def job_cases(vemtrac, examples, faults):
    """(name, bytes, expected job object) of every valid job sent."""
    files = [os.path.join(examples, n) for n in sorted(os.listdir(examples)) if n.endswith(".cmd")]
    files += [os.path.join(faults, n) for n in sorted(os.listdir(faults))]
    bodies = [(os.path.basename(p), open(p, "rb").read()) for p in files]
    rng = random.Random(23)
    for name, data in list(bodies[:3]):
        for _ in range(67):  # the example jobs cut short at a random byte
            cut = rng.randrange(1, len(data))
            bodies.append((f"{name}[:{cut}]", data[:cut]))
    with tempfile.TemporaryDirectory() as folder:
        return [(name, data, report_figures(vemtrac, data, folder)) for name, data in bodies]


def request(port, method, path, body=None, headers=None):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    try:
        conn.request(method, path, body=body, headers=headers or {})
        r = conn.getresponse()
        return r.status, r.getheaders(), r.read()
    finally:
        conn.close()


def raw(port, data, read=True):
    """Sends bytes as they are; the status line's code, or None."""
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(data)
        if not read:
            return None
        reply = s.recv(256)
    return int(reply.split()[1]) if reply.startswith(b"HTTP/1.1 ") else None


def one_request(port, rng, cases, failures):
    """A request of a random kind, checked."""
    kind = rng.randrange(10)
    if kind < 6:
        name, data, expected = rng.choice(cases)
        path = rng.choice(["/v1/estimate"] * 4 + ["/v1/timeline", "/v1/picture"])
        # Named as the report named it, since the picture shows the name.
        query = "?name=" + urllib.parse.quote(expected["name"])
        status, _, body = request(port, "POST", path + query, data,
                                  {"Content-Type": "application/octet-stream"})
        got = body if status == 200 else None
        if got is not None and path == "/v1/estimate":
            got = json.loads(body)
            got.pop("job")
        if got != expected[path]:
            failures.append(f"{name} {path}: HTTP {status}, differs from the program's own")
    elif kind == 6:
        status, _, _ = request(port, "POST", "/v1/estimate", b"x" * (MAX_BODY + 1))
        if status != 413:
            failures.append(f"body over the limit: HTTP {status}")
    elif kind == 7:
        bad = rng.choice([b"GARBAGE\r\n\r\n", b"POST /v1/estimate HTTP/1.1\r\nContent-Length: x\r\n\r\n",
                          b"GET / HTTP/9.9\r\n\r\n" + b"\x00" * 64])
        status = raw(port, bad)
        if status not in (400, 505):
            failures.append(f"malformed request {bad[:20]!r}: HTTP {status}")
    elif kind == 8:
        raw(port, b"POST /v1/estimate HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n" + b"E" * 500,
            read=False)
    else:
        status, _, _ = request(port, "POST", "/v1/estimate?replay=sideways&tick_limit=-1", b"E")
        if status != 400:
            failures.append(f"bad query: HTTP {status}")


def peak_memory_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def main():
    vemtrac, examples, faults = sys.argv[1:4]
    clients = int(sys.argv[4]) if len(sys.argv) > 4 else 8
    requests = int(sys.argv[5]) if len(sys.argv) > 5 else 250
    cases = job_cases(vemtrac, examples, faults)
    server = subprocess.Popen([vemtrac, "serve", "--port", "0", "--max-body", str(MAX_BODY),
                               "--queue", str(clients), "--timeout-s", "5"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = int(server.stdout.readline().rstrip().rstrip("/").rsplit(":", 1)[1])
        failures = []

        def client(seed):
            rng = random.Random(seed)
            for _ in range(requests):
                try:
                    one_request(port, rng, cases, failures)
                except (OSError, http.client.HTTPException) as e:
                    failures.append(f"request failed: {e!r}")

        threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        alive = server.poll() is None and request(port, "GET", "/healthz")[0] == 200
        peak = peak_memory_kib(server.pid) if server.poll() is None else 0
    finally:
        server.terminate()
        server.wait()
    for f in failures[:20]:
        print("serve_load: FAIL:", f)
    if not alive:
        print("serve_load: FAIL: the server died")
    print(f"serve_load: {clients} clients x {requests} requests, {len(cases)} jobs, "
          f"{len(failures)} failures; server peak memory {peak / 1024:.1f} MiB")
    return 0 if alive and not failures else 1


if __name__ == "__main__":
    sys.exit(main())
