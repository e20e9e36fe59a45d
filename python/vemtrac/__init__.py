"""How long a laser cutter/engraver job will run.

    >>> import vemtrac
    >>> vemtrac.estimate("examples/vector_job.cmd")["run_time_ms"]
    57809

The same job at other settings: ``set={"VectorSpeed.3": 600}`` runs it as
if pen 3's speed code were 600 throughout, and ``sweep`` runs it once per
value of one setting:

    >>> runs = vemtrac.sweep("examples/vector_job.cmd", "VectorSpeed.3", [300, 600])
    >>> [(p["value"], p["run_time_ms"]) for p in runs["points"]]

A design (an SVG, DXF, HPGL plot file, PNG or JPEG) is estimated as the
job it imports to; ``import_design`` gives that job and its summary:

    >>> job, summary = vemtrac.import_design("examples/design_tag.svg", speed={1: 20})

The job is replayed through the machine's own motion control, tick by tick;
the estimate is exact. Estimates in several threads run at once: each call
releases the GIL and runs on a machine of its own thread's
(``python3 -m vemtrac batch`` runs its jobs on threads); across machines the
workers of a distributed engine such as Dask run them.
"""

import json
import os

from . import _vemtrac

__all__ = ["estimate", "sweep", "import_design", "__version__"]

__version__ = _vemtrac.version()

_REPLAYS = ("fast", "full", "literal")


def _options(replay, tick_limit, settings, rate, setup_minutes):
    """The options object both calls share, checked."""
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
    if settings is not None:
        if not isinstance(settings, dict):
            raise TypeError("set must be a dict of setting names to ints")
        for key, value in settings.items():
            if not isinstance(key, str):
                raise TypeError("set: setting names must be str")
            if isinstance(value, bool) or not isinstance(value, int):
                raise TypeError("set: the value of %s must be an int" % key)
        options["set"] = dict(settings)
    for name, amount in (("rate", rate), ("setup_minutes", setup_minutes)):
        if amount is None:
            continue
        if isinstance(amount, bool) or not isinstance(amount, (int, float)):
            raise TypeError("%s must be a number" % name)
        if not 0 <= amount < float("inf"):
            raise ValueError("%s must be a non-negative number" % name)
        options[name] = amount
    return options


def _job_bytes(job):
    """The bytes of the job and the name its results carry."""
    if isinstance(job, (bytes, bytearray, memoryview)):
        return bytes(job), ""
    if isinstance(job, (str, os.PathLike)):
        path = os.fspath(job)
        # The name as text; bytes a file name may hold that are not UTF-8
        # become U+FFFD, as in the program's JSON.
        name = os.fsdecode(path).encode("utf-8", "surrogateescape").decode("utf-8", "replace")
        if os.path.isdir(path):
            path = os.path.join(path, "Vemtrac.cmd" if isinstance(path, str) else b"Vemtrac.cmd")
        with open(path, "rb") as f:
            return f.read(), name
    raise TypeError("job must be a path or the bytes of a job file, not %s"
                    % type(job).__name__)


def _answer(text):
    """The library's JSON as a dict; its error object raised as ValueError."""
    result = json.loads(text)
    if result.get("result") == "error":
        raise ValueError(result.get("reason", "bad arguments"))
    return result


def _import_settings(settings):
    """The import settings as the library's JSON object, keys as text."""
    if not isinstance(settings, dict):
        raise TypeError("import settings must be a dict")
    out = {}
    for name, value in settings.items():
        if isinstance(value, dict):
            value = {str(k): v for k, v in value.items()}
        elif isinstance(value, tuple):
            value = list(value)
        out[name] = value
    return out


def import_design(design, **settings):
    """Turns a design (a path, or the bytes of an SVG, DXF, HPGL plot file,
    PNG or JPEG) into a job file.

    settings are the import's, as ``vemtrac import`` takes them with their
    JSON names: format, tolerance, order, pens ({"#ff0000": 2}), speed
    ({1: 20}: pen 1 at 20 mm/s), speed_code, passes, raster_speed,
    raster_speed_code, one_way, at ((x, y) in mm), lpi, lpi_round, dpi,
    image_dpi, keep_blank.

    Returns (job, summary): the job file's bytes and the summary as a dict
    (cut and travel length, size, pens, images, warnings). Raises
    ValueError for a design that cannot be imported or a bad setting,
    OSError for a path that cannot be read.
    """
    data, name = _job_bytes(design)
    job, text = _vemtrac.import_json(data, name, json.dumps(_import_settings(settings)))
    return job, _answer(text)["summary"]


def estimate(job, *, replay="fast", tick_limit=None, set=None, rate=None, setup_minutes=0,
             import_settings=None):
    """Estimates a job: a path (str or os.PathLike; a folder stands for its
    Vemtrac.cmd) or the bytes of a job file, or a design, estimated as the
    job ``import_design(job, **import_settings)`` gives.

    Returns a dict with the keys of one job of ``vemtrac --report --json``:
    job, result ("ok" or "refused"), complete, stopped_at, run_time_ms,
    run_time, ticks, phases, activities, vectors_planned, raster_lines,
    cut_mm, travel_mm; for a design, pass_times (each pen cut more than
    once: pen, passes, cut_mm_per_pass, and the ms and ticks one pass of it
    adds). A job the machine refuses or cuts short is a result.

    replay: "fast" (the default run), "full" or "literal" (every tick
    through the servo interrupt, the reference); the same figures every way.
    tick_limit: the most servo ticks the job may run, or None.
    set: settings the job runs at in place of its own, as ``--set`` gives
    them: a dict of a job-file keyword that sets one value ("RasterSpeedX",
    "RasterBandingFree", ...) or "VectorSpeed.N" (pen N's speed code) to
    an int, e.g. ``{"RasterSpeedX": 800, "VectorSpeed.4": 500}``; the
    result's "overrides" says which were applied.
    rate: an amount per hour of machine time, or None: the result's "cost"
    is (run time in hours + setup_minutes / 60) x rate, two decimals.

    Raises TypeError or ValueError for bad arguments (an unknown setting or
    a value its field cannot hold is a ValueError naming it), OSError for a
    path that cannot be read.
    """
    options = _options(replay, tick_limit, set, rate, setup_minutes)
    if import_settings is not None:
        options["import"] = _import_settings(import_settings)
    data, options["job"] = _job_bytes(job)
    return _answer(_vemtrac.report_json(data, json.dumps(options)))


def sweep(job, key, values, *, replay="fast", tick_limit=None, set=None, rate=None,
          setup_minutes=0, fit_ms=None, import_settings=None):
    """Runs a job once as written and once per value of one setting.

    job (and import_settings, for a design) as for ``estimate``; key a setting as ``set`` names them; values an
    iterable of ints (a range will do), at most 1001. ``set`` holds for
    every run. With rate (an amount per hour of machine time) every run has
    a "cost": (run time in hours + setup_minutes / 60) x rate, two decimals.
    With fit_ms (a slot, in milliseconds) every run says whether it "fits".

    Returns the dict of ``vemtrac --report --json --sweep``'s "sweep": key,
    job, points (one per value, in order: value, run_time_ms, run_time,
    ticks, complete) and as_written (the job at its own value).

    Raises TypeError or ValueError for bad arguments, OSError for a path
    that cannot be read.
    """
    options = _options(replay, tick_limit, set, rate, setup_minutes)
    if not isinstance(key, str):
        raise TypeError("key must be a str")
    if "\0" in key:
        raise ValueError("no setting is named %r" % key)
    values = list(values)
    for value in values:
        if isinstance(value, bool) or not isinstance(value, int):
            raise TypeError("values must be ints")
        if not -2**63 <= value < 2**63:
            raise ValueError("%d does not fit %s" % (value, key))
    if fit_ms is not None:
        if isinstance(fit_ms, bool) or not isinstance(fit_ms, int):
            raise TypeError("fit_ms must be an int or None")
        options["fit_ms"] = fit_ms
    if import_settings is not None:
        options["import"] = _import_settings(import_settings)
    data, options["job"] = _job_bytes(job)
    return _answer(_vemtrac.sweep_json(data, key, values, json.dumps(options)))["sweep"]
