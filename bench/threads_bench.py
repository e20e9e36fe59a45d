#!/usr/bin/env python3
"""Estimates at once: two threads against one on every surface, in paired runs.

  bench/threads_bench.py BUILD_DIR [repeats]

Each repeat (default 5) measures both sides back to back, and the table
gives the median of each side and of the paired ratios:

- the C interface on a mixed set of jobs (vemtrac_bench's BM_ApiMixedSet,
  one thread against two, jobs per second);
- a 61-value sweep of the dense vector job (the benchmark job text:
  VectorSpeed.1 from 400 to 1000 in steps of 10) with --threads 2 against
  --threads 1, wall time; both must print the same table;
- the service with 8 clients on the mixed set for a few seconds, at
  --workers 2 against --workers 1: requests per second and p99 latency;
- the Python module on the mixed set 32 times over in two threads
  against one, wall time; both must give the same answers.

The mixed set: the example jobs and the short benchmark jobs (circles,
raster_photo, long_cuts).
"""
import concurrent.futures
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serve_bench  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "examples")
SHORT_JOBS = ("circles", "raster_photo", "long_cuts")


def api_rates(build):
    """Jobs per second of the C interface on one thread and on two."""
    out = subprocess.run([os.path.join(build, "bench", "vemtrac_bench"),
                          "--benchmark_filter=BM_ApiMixedSet", "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    rates = {b["threads"]: b["items_per_second"] for b in json.loads(out)["benchmarks"]}
    return rates[1], rates[2]


def sweep_seconds(vemtrac, job, threads):
    """Wall time of the 61-value sweep on threads threads, and its table."""
    start = time.perf_counter()
    out = subprocess.run([vemtrac, "--report", "--sweep", "VectorSpeed.1=400:1000:10",
                          "--threads", str(threads), job],
                         check=True, capture_output=True).stdout
    return time.perf_counter() - start, out


def serve_figures(vemtrac, jobs, workers, seconds):
    """Requests per second and p99 latency (ms) of 8 clients at workers."""
    server = subprocess.Popen([vemtrac, "serve", "--port", "0", "--queue", "8",
                               "--workers", str(workers)],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = int(server.stdout.readline().rstrip().rstrip("/").rsplit(":", 1)[1])
        rate, p99, _, _ = serve_bench.measure(port, jobs, 8, seconds)
        return rate, p99
    finally:
        server.terminate()
        server.wait()


def python_seconds(vemtrac, jobs, threads):
    """Wall time of the mixed set in threads threads, and the answers."""
    start = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(threads) as pool:
        answers = list(pool.map(vemtrac.estimate, jobs))
    return time.perf_counter() - start, answers


def row(name, unit, one, two, ratios, extra=""):
    print(f"| {name} | {statistics.median(one):.4g} {unit} | {statistics.median(two):.4g} {unit} "
          f"| {statistics.median(ratios):.2f}x{extra} |")


def main():
    build = os.path.abspath(sys.argv[1])
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    vemtrac = os.path.join(build, "vemtrac")
    sys.path.insert(0, os.path.join(build, "python"))
    import vemtrac as module
    work = tempfile.mkdtemp()
    subprocess.run([os.path.join(build, "bench", "vemtrac_bench"), "--write-jobs", work],
                   check=True, capture_output=True)
    examples = [open(os.path.join(EXAMPLES, n), "rb").read()
                for n in sorted(os.listdir(EXAMPLES)) if n.endswith(".cmd")]
    mixed = examples + [open(os.path.join(work, n + ".cmd"), "rb").read() for n in SHORT_JOBS]
    text_job = os.path.join(work, "text.cmd")
    figures = {k: ([], [], []) for k in ("api", "sweep", "serve", "python")}
    p99 = ([], [])

    def note(key, one, two, ratio):
        for column, value in zip(figures[key], (one, two, ratio)):
            column.append(value)

    for _ in range(repeats):
        one, two = api_rates(build)
        note("api", one, two, two / one)
        (t1, table1), (t2, table2) = (sweep_seconds(vemtrac, text_job, n) for n in (1, 2))
        assert table1 == table2, "the sweep's table differs between 1 and 2 threads"
        note("sweep", t1, t2, t1 / t2)
        (r1, l1), (r2, l2) = (serve_figures(vemtrac, mixed, w, 5) for w in (1, 2))
        note("serve", r1, r2, r2 / r1)
        p99[0].append(l1)
        p99[1].append(l2)
        (t1, a1), (t2, a2) = (python_seconds(module, mixed * 32, n) for n in (1, 2))
        assert a1 == a2, "two threads answered otherwise than one"
        note("python", t1, t2, t1 / t2)
    print(f"medians of {repeats} paired runs")
    print("| Benchmark | one | two | two against one |")
    print("|---|---|---|---|")
    row("C API, mixed set (jobs/s)", "", *figures["api"])
    row("61-value sweep of text, --threads", "s", *figures["sweep"])
    row("service, 8 clients, --workers (requests/s)", "", *figures["serve"],
        f" (p99 {statistics.median(p99[0]):.1f} ms / {statistics.median(p99[1]):.1f} ms)")
    row("Python, mixed set, threads", "s", *figures["python"])


if __name__ == "__main__":
    main()
