"""Generated jobs: pen changes, vector chains with corners of every angle,
raster images, some cut short by an entry the interpreter does not know;
the same generator and seed as the differential test of the replays."""


class Prng:
    """A fixed-seed xorshift generator, the same on every host."""

    def __init__(self, seed):
        self.state = (seed | 1) & 0xFFFFFFFF

    def between(self, lo, hi):
        s = self.state
        s ^= (s << 13) & 0xFFFFFFFF
        s ^= s >> 17
        s ^= (s << 5) & 0xFFFFFFFF
        self.state = s
        return lo + s % (hi - lo + 1)

    def pick(self, values):
        return values[self.between(0, len(values) - 1)]

    def chance(self, percent):
        return self.between(1, 100) <= percent


def entry(job, keyword, *values):
    job.append(" ".join([keyword] + [str(v) for v in values]))


def vector_chain(job, rng):
    moves = rng.pick([1, 2, 3, 5, 12, 40])
    scale = rng.pick([2, 12, 60, 400, 3000])
    dx = rng.between(-scale, scale)
    dy = rng.between(-scale, scale)
    entry(job, "pu_default", rng.between(-3000, 3000), rng.between(-3000, 3000))
    for _ in range(moves):
        if rng.chance(50):
            turn = rng.pick([0, 1, 2, 3, 4])
            # dy turns with the new dx.
            if turn == 1:
                dx = -dy
            elif turn == 2:
                dx = dy
            elif turn >= 3:
                dx = rng.between(-scale, scale)
            if turn == 1:
                dy = dx
            elif turn == 2:
                dy = -dx
            elif turn >= 3:
                dy = rng.between(-scale, scale)
        big = 40 if rng.chance(2) else 1
        entry(job, "pd_default", dx * big, dy * big)


def raster_image(job, rng):
    entry(job, "ToPclMode", 0)
    entry(job, "RasterDPI", rng.pick([75, 150, 300, 500, 600, 1000]))
    entry(job, "RasterUnit", rng.pick([100, 150, 254, 300, 500, 1000]))
    entry(job, "RasterSpeedX", rng.pick([30, 200, 600, 1000]))
    entry(job, "RasterSpeedY", rng.pick([100, 500, 1000]))
    entry(job, "RasterPower", 600)
    entry(job, "RasterFiringType", 0)
    entry(job, "RasterBandingFree", rng.between(0, 1))
    entry(job, "RasterBuEngrave", rng.between(0, 1))
    entry(job, "ImageWidth", rng.between(1, 1500))
    lines = rng.between(1, 12)
    entry(job, "ImageHeight", lines)
    entry(job, "SetHorizontalPositionPCL", rng.between(0, 1), rng.between(0, 2000))
    entry(job, "SetVerticalPositionPCL", rng.between(0, 1), rng.between(0, 2000))
    entry(job, "SetStartRasterGraphics", 0)
    for _ in range(lines):
        entry(job, "RasterLineOut", 0)
    entry(job, "SetEndRasterGraphics", 0)
    entry(job, "ToHpglMode", 0)


def random_job(rng):
    job = []
    entry(job, "VemtracCmdVer", 1)
    entry(job, "VectorSpeed", *[rng.pick([9, 20, 100, 300, 500, 800, 1000]) for _ in range(16)])
    entry(job, "ToHpglMode", 0)
    entry(job, "execute_penselect", rng.between(1, 16))
    for _ in range(rng.between(1, 6)):
        what = rng.between(0, 9)
        if what < 6:
            vector_chain(job, rng)
        elif what < 8:
            raster_image(job, rng)
        else:
            entry(job, "execute_penselect", rng.between(1, 16))
        if rng.chance(3):
            entry(job, "NoSuchEntry", 1)
    return "\n".join(job) + "\n"


def generated_jobs(count, seed=20261208):
    rng = Prng(seed)
    return [random_job(rng) for _ in range(count)]


if __name__ == "__main__":
    # python3 job_generator.py DIR [COUNT]: writes DIR/job000.cmd ...
    import os
    import sys

    folder = sys.argv[1]
    for i, job in enumerate(generated_jobs(int(sys.argv[2]) if len(sys.argv) > 2 else 200)):
        with open(os.path.join(folder, "job%03d.cmd" % i), "w") as f:
            f.write(job)
