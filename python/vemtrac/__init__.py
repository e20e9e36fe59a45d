"""How long a laser cutter/engraver job will run.

    >>> import vemtrac
    >>> vemtrac.estimate("examples/vector_job.cmd")["run_time_ms"]
    57809

The job is replayed through the machine's own motion control, tick by tick;
the estimate is exact. One process runs one job at a time (the machine's
state is process-wide); run jobs in parallel in several processes:
``python3 -m vemtrac batch`` does, and so do the workers of a distributed
engine such as Dask.
"""

import json
import os

from . import _vemtrac

__all__ = ["estimate", "__version__"]

__version__ = _vemtrac.version()

_REPLAYS = ("fast", "full", "literal")


def estimate(job, *, replay="fast", tick_limit=None):
    """Estimates a job: a path (str or os.PathLike; a folder stands for its
    Vemtrac.cmd) or the bytes of a job file.

    Returns a dict with the keys of one job of ``vemtrac --report --json``:
    job, result ("ok" or "refused"), complete, stopped_at, run_time_ms,
    run_time, ticks, phases, activities, vectors_planned, raster_lines,
    cut_mm, travel_mm. A job the machine refuses or cuts short is a result.

    replay: "fast" (the default run), "full" or "literal" (every tick
    through the servo interrupt, the reference); the same figures every way.
    tick_limit: the most servo ticks the job may run, or None.

    Raises TypeError or ValueError for bad arguments, OSError for a path
    that cannot be read.
    """
    if not isinstance(replay, str):
        raise TypeError("replay must be a str")
    if replay not in _REPLAYS:
        raise ValueError("replay must be one of %s" % ", ".join(_REPLAYS))
    options = {"replay": replay}
    if tick_limit is not None:
        if isinstance(tick_limit, bool) or not isinstance(tick_limit, int):
            raise TypeError("tick_limit must be an int or None")
        if tick_limit < 0:
            raise ValueError("tick_limit must not be negative")
        options["tick_limit"] = tick_limit
    if isinstance(job, (bytes, bytearray, memoryview)):
        data = bytes(job)
        options["job"] = ""
    elif isinstance(job, (str, os.PathLike)):
        path = os.fspath(job)
        # The name as text; bytes a file name may hold that are not UTF-8
        # become U+FFFD, as in the program's JSON.
        name = os.fsdecode(path).encode("utf-8", "surrogateescape").decode("utf-8", "replace")
        if os.path.isdir(path):
            path = os.path.join(path, "Vemtrac.cmd" if isinstance(path, str) else b"Vemtrac.cmd")
        with open(path, "rb") as f:
            data = f.read()
        options["job"] = name
    else:
        raise TypeError("job must be a path or the bytes of a job file, not %s"
                        % type(job).__name__)
    result = json.loads(_vemtrac.report_json(data, json.dumps(options)))
    if result.get("result") == "error":
        raise ValueError(result.get("reason", "bad arguments"))
    return result
