"""python3 -m vemtrac batch PATH... [--jobs N] [--processes] [--csv FILE]

Estimates every job file (folders are searched for *.cmd files) on N
worker threads (estimates in threads run at once: the library releases the
GIL and runs each thread's jobs on a machine of its own), or N worker
processes with --processes, and writes one CSV row per job: path, result,
complete, run_time_ms, run_time, ticks. Exit code 0 when every job was
read, 1 otherwise (a file that is no job file cannot be read as one), 2
when FILE is a job file, which is never replaced.
"""

import argparse
import concurrent.futures
import csv
import os
import sys

import vemtrac
from vemtrac import _vemtrac

FIELDS = ["path", "result", "complete", "run_time_ms", "run_time", "ticks"]


def job_files(paths):
    """The job files named or found under the folders named, in order."""
    for path in paths:
        if os.path.isdir(path):
            for folder, subfolders, files in os.walk(path):
                subfolders.sort()
                for name in sorted(files):
                    if name.lower().endswith(".cmd"):
                        yield os.path.join(folder, name)
        else:
            yield path


def row_of(path):
    """One job's CSV row; a file that cannot be read is a row too."""
    try:
        r = vemtrac.estimate(path)
    except OSError as e:
        return {"path": path, "result": "unreadable", "complete": "", "run_time_ms": "",
                "run_time": "", "ticks": "", "reason": e.strerror or str(e)}
    return {"path": path, "result": r["result"], "complete": str(r["complete"]).lower(),
            "run_time_ms": "" if r["run_time_ms"] is None else r["run_time_ms"],
            "run_time": "" if r["run_time"] is None else r["run_time"], "ticks": r["ticks"],
            "reason": r.get("reason", ""),
            "empty": any(w["kind"] == "empty_job" for w in r.get("warnings", []))}


def progress(done, total):
    """A progress bar on standard error."""
    width = 40
    filled = width * done // total if total else width
    sys.stderr.write("\r[%s%s] %d/%d" % ("#" * filled, "." * (width - filled), done, total))
    if done == total:
        sys.stderr.write("\n")
    sys.stderr.flush()


def estimate_all(paths, jobs, show_progress, processes=False):
    """Rows of every job, in the order of paths, on jobs threads (or processes)."""
    rows = [None] * len(paths)
    if jobs == 1:
        for i, path in enumerate(paths):
            rows[i] = row_of(path)
            if show_progress:
                progress(i + 1, len(paths))
        return rows
    # Jobs go to worker processes in chunks, so that small jobs do not pay
    # a round trip each; a few chunks per worker keep the load even.
    chunk = max(1, min(16, len(paths) // (jobs * 4))) if processes else 1
    executor = (concurrent.futures.ProcessPoolExecutor if processes
                else concurrent.futures.ThreadPoolExecutor)
    with executor(max_workers=jobs) as pool:
        for i, row in enumerate(pool.map(row_of, paths, chunksize=chunk)):
            rows[i] = row
            if show_progress:
                progress(i + 1, len(paths))
    return rows


def batch(args):
    if args.csv and os.path.exists(args.csv) and _vemtrac.reads_as_job_file(args.csv):
        print("vemtrac: %s is a job file (it starts with a job file's keyword): no output ever "
              "replaces one; name another file" % args.csv, file=sys.stderr)
        return 2
    paths = list(job_files(args.paths))
    rows = estimate_all(paths, args.jobs, sys.stderr.isatty(), args.processes)
    out = open(args.csv, "w", newline="") if args.csv else sys.stdout
    try:
        writer = csv.DictWriter(out, fieldnames=FIELDS, extrasaction="ignore",
                                lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)
    finally:
        if out is not sys.stdout:
            out.close()
    for row in rows:
        if row["result"] == "unreadable":
            print("vemtrac: %s: %s" % (row["path"], row["reason"]), file=sys.stderr)
        elif row.get("empty"):
            print("vemtrac: %s: the job moves nothing: its estimate is 0" % row["path"],
                  file=sys.stderr)
    return 0 if all(row["result"] != "unreadable" for row in rows) else 1


def positive(text):
    n = int(text)
    if n < 1:
        raise argparse.ArgumentTypeError("must be at least 1")
    return n


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m vemtrac",
                                     description="Run-time estimates for laser cutter jobs.")
    parser.add_argument("--version", action="version", version="vemtrac " + vemtrac.__version__)
    commands = parser.add_subparsers(dest="command", required=True)
    b = commands.add_parser("batch", help="estimate many job files, one CSV row each")
    b.add_argument("paths", nargs="+", metavar="PATH", help="job file, or folder to search")
    b.add_argument("--jobs", type=positive, default=os.cpu_count() or 1,
                   help="workers (default: one per CPU)")
    b.add_argument("--processes", action="store_true",
                   help="workers are processes rather than threads")
    b.add_argument("--csv", metavar="FILE", help="write the rows to FILE (default: standard output)")
    args = parser.parse_args(argv)
    return batch(args)


if __name__ == "__main__":
    sys.exit(main())
