"""Real artwork through the design import, held against tools we did not
write: outline lengths and sizes from svgelements (SVG) and ezdxf (DXF),
the moves of Inkscape's plot files read here, line counts from a picture's
own size; and every job read to its end by vemtrac.

Run by CTest with DESIGN_PROBE, VEMTRAC and ARTWORK set (tests/CMakeLists.txt).
"""
import json
import math
import os
import re
import subprocess
import tempfile

import pytest

PROBE = os.environ.get("DESIGN_PROBE", "build/design/design_probe")
VEMTRAC = os.environ.get("VEMTRAC", "build/vemtrac")
ARTWORK = os.environ.get("ARTWORK", os.path.join(os.path.dirname(__file__), "data", "designs"))
DEBIAN_LOGO = "/usr/share/pixmaps/debian-logo.png"

MM_PER_PX = 25.4 / 96


def artwork(ext):
    return sorted(os.path.join(ARTWORK, f) for f in os.listdir(ARTWORK) if f.endswith(ext))


def imported(path, *settings):
    """The summary of the import, and the job it wrote."""
    with tempfile.TemporaryDirectory() as scratch:
        job = os.path.join(scratch, "job.cmd")
        out = subprocess.run([PROBE, path, "--job", job, *settings], capture_output=True,
                             text=True, check=True)
        with open(job) as f:
            return json.loads(out.stdout), f.read()


def read_to_the_end(job_text):
    """vemtrac runs the whole job: no entry stops it."""
    with tempfile.TemporaryDirectory() as scratch:
        job = os.path.join(scratch, "job.cmd")
        with open(job, "w") as f:
            f.write(job_text)
        out = subprocess.run([VEMTRAC, "--report", "--json", job], capture_output=True,
                             text=True, check=True)
    report = json.loads(out.stdout)
    one = report["jobs"][0] if "jobs" in report else report
    assert one["result"] == "ok"
    assert one["complete"], one.get("stopped_at")
    # Placed at the page's corner, a design that fits is cut on the table
    # (a raster pass's run-up may still reach past its left edge).
    assert "off_table" not in [w["kind"] for w in one.get("warnings", [])], one["warnings"]
    return one


def assert_close(summary, length_mm, width_mm, height_mm):
    print(f"cut {summary['cut_mm']:.3f} / {length_mm:.3f} mm, "
          f"size {summary['width_mm']:.3f} x {summary['height_mm']:.3f} / "
          f"{width_mm:.3f} x {height_mm:.3f} mm")
    assert summary["cut_mm"] == pytest.approx(length_mm, rel=0.01)
    assert summary["width_mm"] == pytest.approx(width_mm, abs=0.3)
    assert summary["height_mm"] == pytest.approx(height_mm, abs=0.3)


@pytest.mark.parametrize("path", artwork(".svg"), ids=os.path.basename)
def test_svg_matches_svgelements(path):
    svgelements = pytest.importorskip("svgelements")
    total, x0, y0, x1, y1 = 0.0, math.inf, math.inf, -math.inf, -math.inf
    for e in svgelements.SVG.parse(path).elements():
        if not isinstance(e, svgelements.Shape) or (e.fill is None and e.stroke is None):
            continue
        if (e.fill is None or e.fill.value is None) and (e.stroke is None or e.stroke.value is None):
            continue
        path_e = svgelements.Path(e)
        path_e.reify()
        total += path_e.length(error=1e-6)
        bx0, by0, bx1, by1 = path_e.bbox()
        x0, y0, x1, y1 = min(x0, bx0), min(y0, by0), max(x1, bx1), max(y1, by1)
    summary, job = imported(path)
    assert_close(summary, total * MM_PER_PX, (x1 - x0) * MM_PER_PX, (y1 - y0) * MM_PER_PX)
    read_to_the_end(job)


@pytest.mark.parametrize("path", artwork(".dxf"), ids=os.path.basename)
def test_dxf_matches_ezdxf(path):
    ezdxf = pytest.importorskip("ezdxf")
    from ezdxf import bbox
    from ezdxf import path as ezpath
    from ezdxf.disassemble import recursive_decompose

    doc = ezdxf.readfile(path)
    total = 0.0
    for e in recursive_decompose(doc.modelspace()):
        try:
            points = list(ezpath.make_path(e).flattening(0.0005))
        except (TypeError, ValueError):
            continue
        total += sum(math.dist(points[i], points[i + 1]) for i in range(len(points) - 1))
    box = bbox.extents(doc.modelspace())
    assert doc.header.get("$INSUNITS", 0) in (0, 4)  # millimetres
    summary, job = imported(path)
    assert_close(summary, total, box.size.x, box.size.y)
    read_to_the_end(job)


def plot_moves(text):
    """The pen-down moves of a plot file, read independently: (dx, dy) of
    every PD coordinate (absolute PA/PD lists as Inkscape writes them)."""
    moves, x, y, down = [], 0, 0, False
    for cmd, args in re.findall(r"([A-Z]{2})([^;A-Z]*)", text):
        nums = [int(float(v)) for v in re.split(r"[ ,]+", args.strip()) if v]
        if cmd in ("PU", "PD", "IN", "SP"):
            down = cmd == "PD"
        if cmd not in ("PU", "PD", "PA"):
            continue
        for nx, ny in zip(nums[0::2], nums[1::2]):
            if down and (nx, ny) != (x, y):
                moves.append((nx - x, ny - y))
            x, y = nx, ny
    return moves


@pytest.mark.parametrize("path", artwork(".hpgl"), ids=os.path.basename)
def test_plot_file_moves_are_exact(path):
    with open(path) as f:
        want = plot_moves(f.read())
    summary, job = imported(path)
    got = [tuple(int(v) for v in line.split()[1:]) for line in job.splitlines()
           if line.startswith("pd_default")]
    assert got == want
    read_to_the_end(job)


@pytest.mark.skipif(not os.path.exists(DEBIAN_LOGO), reason="no Debian logo here")
@pytest.mark.parametrize("lpi,dpi", [(254, 300), (508, 600), (304, 150)])
def test_debian_logo_lines_from_its_size(lpi, dpi):
    summary, job = imported(DEBIAN_LOGO, "keep_blank=true", f"lpi={lpi}", f"dpi={dpi}")
    width_px, height_px = summary["picture"]["width_px"], summary["picture"]["height_px"]
    density = summary["picture"]["dpi_y"]
    assert summary["lines"] == round(height_px / density * lpi)
    assert summary["images"][0]["dots"] == round(width_px / summary["picture"]["dpi_x"] * dpi)
    assert job.count("RasterLineOut") == summary["lines"]
    report = read_to_the_end(job)
    trimmed, trimmed_job = imported(DEBIAN_LOGO, f"lpi={lpi}", f"dpi={dpi}")
    assert 0 < trimmed["lines"] <= summary["lines"]
    assert report is not None and trimmed_job.count("RasterLineOut") == trimmed["lines"]
