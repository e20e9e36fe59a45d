"""The Python module against the program: the same figures on the example
jobs and on generated jobs, in one process, on several threads at once, in
the batch command's worker threads and processes and in a Dask cluster's
workers."""

import concurrent.futures
import csv
import json
import os
import pathlib
import subprocess
import sys

import pytest

import vemtrac
from job_generator import generated_jobs

BINARY = os.path.abspath(os.environ["VEMTRAC_BINARY"])
EXAMPLES = pathlib.Path(os.environ["VEMTRAC_EXAMPLES_DIR"])


def program_report(paths, cwd=None):
    """The job objects of `vemtrac --report --json PATH...`."""
    out = subprocess.run([BINARY, "--report", "--json", *map(str, paths)], cwd=cwd,
                         capture_output=True, check=False).stdout
    return json.loads(out)["jobs"]


def example_paths():
    return sorted(EXAMPLES.glob("*.cmd"))


def test_example_jobs_give_the_programs_figures():
    paths = example_paths()
    for path, expected in zip(paths, program_report(paths)):
        assert vemtrac.estimate(str(path)) == expected
        assert vemtrac.estimate(path, replay="literal") == expected
        from_bytes = vemtrac.estimate(path.read_bytes())
        assert from_bytes == dict(expected, job="")
    assert vemtrac.__version__ == subprocess.run(
        [BINARY, "--version"], capture_output=True, text=True).stdout.split()[1]


def test_refused_and_cut_short_jobs_are_results():
    assert vemtrac.estimate(b"VemtracCmdVer 2\n")["result"] == "refused"
    cut = vemtrac.estimate(EXAMPLES / "vector_job.cmd", tick_limit=1000)
    assert cut["result"] == "ok" and not cut["complete"]
    assert "servo ticks" in cut["stopped_at"]["reason"]
    empty = vemtrac.estimate(b"")
    assert empty["run_time_ms"] == 0 and empty["warnings"][0]["kind"] == "empty_job"
    image = vemtrac.estimate(b"%PDF-1.4\n%binary\n")
    assert image["result"] == "unreadable"
    assert image["reason"].startswith("not a job file: it looks like a PDF document")


@pytest.mark.parametrize("call, error", [
    (lambda: vemtrac.estimate(5), TypeError),
    (lambda: vemtrac.estimate(b"", replay=1), TypeError),
    (lambda: vemtrac.estimate(b"", replay="quick"), ValueError),
    (lambda: vemtrac.estimate(b"", tick_limit=-1), ValueError),
    (lambda: vemtrac.estimate(b"", tick_limit="9"), TypeError),
    (lambda: vemtrac.estimate(b"", tick_limit=True), TypeError),
    (lambda: vemtrac.estimate("/no/such/job.cmd"), OSError),
    (lambda: vemtrac.estimate(EXAMPLES), OSError),  # a folder without Vemtrac.cmd
    (lambda: vemtrac.estimate(b"", set={"Bogus": 1}), ValueError),
    (lambda: vemtrac.estimate(b"", set={"VectorSpeed.17": 1}), ValueError),
    (lambda: vemtrac.estimate(b"", set={"RasterBandingFree": 256}), ValueError),
    (lambda: vemtrac.estimate(b"", set={"RasterSpeedX": 2**64}), ValueError),
    (lambda: vemtrac.estimate(b"", set={"RasterSpeedX": "800"}), TypeError),
    (lambda: vemtrac.estimate(b"", set={"VectorSpeed.4": 1001}), ValueError),
    (lambda: vemtrac.sweep(b"", "VectorSpeed.4", [100], set={"VectorSpeed.4": 9}), ValueError),
    (lambda: vemtrac.estimate(b"", set=[("RasterSpeedX", 800)]), TypeError),
    (lambda: vemtrac.sweep(b"", "Bogus", [1]), ValueError),
    (lambda: vemtrac.sweep(b"", "RasterSpeedX", []), ValueError),
    (lambda: vemtrac.sweep(b"", "RasterSpeedX", range(1, 1003)), ValueError),
    (lambda: vemtrac.sweep(b"", "RasterSpeedX", [1, 65536]), ValueError),
    (lambda: vemtrac.sweep(b"", "RasterSpeedX\0", [1]), ValueError),
    (lambda: vemtrac.sweep(b"", "RasterSpeedX", [1.5]), TypeError),
    (lambda: vemtrac.sweep(b"", "RasterSpeedX", [1], rate=-1), ValueError),
    (lambda: vemtrac.sweep(b"", "RasterSpeedX", [1], rate=float("nan")), ValueError),
    (lambda: vemtrac.sweep(b"", "RasterSpeedX", [1], fit_ms=-1), ValueError),
])
def test_bad_arguments_raise(call, error):
    with pytest.raises(error):
        call()


def test_settings_and_sweeps_give_the_programs_figures():
    path = EXAMPLES / "mixed_job.cmd"
    run = subprocess.run([BINARY, "--report", "--json", "--set", "VectorSpeed.2=400",
                          "--set", "RasterSpeedX=800", "--rate", "60", str(path)],
                         capture_output=True, check=True)
    expected = json.loads(run.stdout)["jobs"][0]
    assert vemtrac.estimate(path, set={"VectorSpeed.2": 400, "RasterSpeedX": 800}, rate=60) == expected
    assert expected["run_time_ms"] != vemtrac.estimate(path)["run_time_ms"]

    run = subprocess.run([BINARY, "--report", "--json", "--set", "VectorSpeed.2=400", "--sweep",
                          "RasterSpeedX=600:1000:200", "--rate", "60", "--setup", "5",
                          "--fit", "0:01:30", str(path)], capture_output=True, check=True)
    sweep = vemtrac.sweep(path, "RasterSpeedX", range(600, 1001, 200), set={"VectorSpeed.2": 400},
                          rate=60, setup_minutes=5, fit_ms=90000)
    assert sweep == json.loads(run.stdout)["sweep"]
    assert [(p["value"], p["run_time_ms"]) for p in sweep["points"]][1] == (
        800, expected["run_time_ms"])


def test_threads_give_the_answers_of_one():
    # Estimates release the interpreter: each thread runs its own machine.
    jobs = [path.read_bytes() for path in example_paths()]
    jobs += [job.encode() for job in generated_jobs(24)]
    alone = [vemtrac.estimate(job) for job in jobs]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        together = list(pool.map(vemtrac.estimate, jobs + jobs))
    assert together == alone + alone
    values = range(100, 1001, 300)
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        sweeps = list(pool.map(lambda job: vemtrac.sweep(job, "VectorSpeed.2", values), jobs[:3]))
    assert sweeps == [vemtrac.sweep(job, "VectorSpeed.2", values) for job in jobs[:3]]


def test_batch_writes_a_row_per_job(tmp_path):
    (tmp_path / "jobs" / "more").mkdir(parents=True)
    for path in example_paths():
        (tmp_path / "jobs" / "more" / path.name).write_bytes(path.read_bytes())
    (tmp_path / "jobs" / "notes.txt").write_text("not a job")
    (tmp_path / "jobs" / "photo.cmd").write_bytes(b"%PDF-1.4\n%binary\n")
    (tmp_path / "jobs" / "more" / "zz_empty.cmd").write_bytes(b"")
    package_dir = pathlib.Path(vemtrac.__file__).resolve().parent.parent
    run = subprocess.run([sys.executable, "-m", "vemtrac", "batch", "jobs", "missing.cmd",
                          "--jobs", "2", "--csv", "rows.csv"], cwd=tmp_path,
                         env=dict(os.environ, PYTHONPATH=str(package_dir)),
                         capture_output=True, text=True)
    assert run.returncode == 1  # missing.cmd cannot be read, photo.cmd is no job file
    assert "missing.cmd" in run.stderr
    assert "photo.cmd: not a job file: it looks like a PDF document" in run.stderr
    assert "zz_empty.cmd: the job moves nothing: its estimate is 0" in run.stderr
    with open(tmp_path / "rows.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    assert [r["path"] for r in rows] == [os.path.join("jobs", "photo.cmd")] + [
        os.path.join("jobs", "more", p.name) for p in example_paths()] + [
        os.path.join("jobs", "more", "zz_empty.cmd"), "missing.cmd"]
    assert rows[0]["result"] == "unreadable"
    expected = program_report([r["path"] for r in rows[1:-1]], cwd=tmp_path)
    for row, job in zip(rows[1:], expected):
        assert row == {"path": job["job"], "result": job["result"],
                       "complete": str(job["complete"]).lower(),
                       "run_time_ms": str(job["run_time_ms"]), "run_time": job["run_time"],
                       "ticks": str(job["ticks"])}
    assert rows[-1]["result"] == "unreadable"
    # Worker processes write the rows the threads write.
    run = subprocess.run([sys.executable, "-m", "vemtrac", "batch", "jobs", "missing.cmd",
                          "--jobs", "2", "--processes", "--csv", "rows2.csv"], cwd=tmp_path,
                         env=dict(os.environ, PYTHONPATH=str(package_dir)),
                         capture_output=True, text=True)
    assert run.returncode == 1
    assert (tmp_path / "rows2.csv").read_text() == (tmp_path / "rows.csv").read_text()
    # The CSV never goes over a job file.
    run = subprocess.run([sys.executable, "-m", "vemtrac", "batch", "jobs", "--csv",
                          os.path.join("jobs", "more", "vector_job.cmd")], cwd=tmp_path,
                         env=dict(os.environ, PYTHONPATH=str(package_dir)),
                         capture_output=True, text=True)
    assert run.returncode == 2 and "is a job file" in run.stderr
    assert (tmp_path / "jobs" / "more" / "vector_job.cmd").read_bytes() == (
        EXAMPLES / "vector_job.cmd").read_bytes()


def test_dask_cluster_maps_estimate_over_generated_jobs(tmp_path):
    distributed = pytest.importorskip("distributed")
    paths = []
    for i, job in enumerate(generated_jobs(200)):
        path = tmp_path / ("job%03d.cmd" % i)
        path.write_text(job)
        paths.append(str(path))
    expected = program_report(paths)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        results = client.gather(client.map(vemtrac.estimate, paths))
    assert results == expected


def test_designs_import_and_estimate_as_their_jobs():
    job, summary = vemtrac.import_design(EXAMPLES / "design_tag.svg", speed={1: 20}, at=(10, 20))
    assert job.startswith(b"VemtracCmdVer 1")
    assert summary["pens"][0]["asked_mm_s"] == 20.0
    from_job = vemtrac.estimate(job)
    from_design = vemtrac.estimate(EXAMPLES / "design_tag.svg",
                                   import_settings={"speed": {1: 20}, "at": (10, 20)})
    assert from_design["run_time_ms"] == from_job["run_time_ms"]
    twice = vemtrac.estimate(EXAMPLES / "design_tag.svg", import_settings={"passes": {1: 2}})
    once = vemtrac.estimate(EXAMPLES / "design_tag.svg")
    assert twice["pass_times"][0]["ms"] == twice["run_time_ms"] - once["run_time_ms"]
    runs = vemtrac.sweep(EXAMPLES / "design_tag.svg", "VectorSpeed.1", [500],
                         import_settings={"passes": {1: 2}})
    assert runs["as_written"]["run_time_ms"] == twice["run_time_ms"]
    assert vemtrac.estimate((EXAMPLES / "design_badge.png").read_bytes())["raster_lines"] > 0
    with pytest.raises(ValueError, match="speed"):
        vemtrac.import_design(EXAMPLES / "design_tag.svg", speed={1: 0})
