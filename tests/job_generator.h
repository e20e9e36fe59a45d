// Generated jobs for the tests: pen speed codes, then pen changes, vector
// chains and raster images in random order, from a fixed-seed generator
// that gives the same jobs on every host.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace job_generator {

// A fixed-seed xorshift generator, the same on every host.
class Prng {
public:
    explicit Prng(std::uint32_t seed) : state_(seed | 1u) {}
    // A number in lo..hi, both included.
    std::int32_t in(std::int32_t lo, std::int32_t hi)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return lo + static_cast<std::int32_t>(state_ % (static_cast<std::uint32_t>(hi - lo) + 1u));
    }
    // One of the values given.
    std::int32_t pick(std::initializer_list<std::int32_t> values)
    {
        return values.begin()[in(0, static_cast<std::int32_t>(values.size()) - 1)];
    }
    bool chance(std::int32_t percent) { return in(1, 100) <= percent; }

private:
    std::uint32_t state_;
};

inline void entry(std::string& job, std::string_view keyword,
                  std::initializer_list<std::int32_t> values)
{
    job += keyword;
    for (const std::int32_t v : values) {
        job += ' ' + std::to_string(v);
    }
    job += '\n';
}

// A chain of pen-down moves: tiny, short, long or (rarely) huge steps that
// turn by a random angle each, so that corners of every angle and every
// octant come up.
inline void vector_chain(std::string& job, Prng& rng)
{
    const std::int32_t moves = rng.pick({1, 2, 3, 5, 12, 40});
    const std::int32_t scale = rng.pick({2, 12, 60, 400, 3000});
    std::int32_t dx = rng.in(-scale, scale);
    std::int32_t dy = rng.in(-scale, scale);
    entry(job, "pu_default", {rng.in(-3000, 3000), rng.in(-3000, 3000)});
    for (std::int32_t i = 0; i < moves; ++i) {
        if (rng.chance(50)) {
            const std::int32_t turn = rng.pick({0, 1, 2, 3, 4});
            dx = turn == 0 ? dx : turn == 1 ? -dy : turn == 2 ? dy : rng.in(-scale, scale);
            dy = turn == 0 ? dy : turn == 1 ? dx : turn == 2 ? -dx : rng.in(-scale, scale);
        }
        const std::int32_t big = rng.chance(2) ? 40 : 1;
        entry(job, "pd_default", {dx * big, dy * big});
    }
}

// A raster image with random resolution, speeds, banding, direction and
// placement, a few lines, in PCL mode and back.
inline void raster_image(std::string& job, Prng& rng)
{
    entry(job, "ToPclMode", {0});
    entry(job, "RasterDPI", {rng.pick({75, 150, 300, 500, 600, 1000})});
    entry(job, "RasterUnit", {rng.pick({100, 150, 254, 300, 500, 1000})});
    entry(job, "RasterSpeedX", {rng.pick({30, 200, 600, 1000})});
    entry(job, "RasterSpeedY", {rng.pick({100, 500, 1000})});
    entry(job, "RasterPower", {600});
    entry(job, "RasterFiringType", {0});
    entry(job, "RasterBandingFree", {rng.in(0, 1)});
    entry(job, "RasterBuEngrave", {rng.in(0, 1)});
    entry(job, "ImageWidth", {rng.in(1, 1500)});
    const std::int32_t lines = rng.in(1, 12);
    entry(job, "ImageHeight", {lines});
    entry(job, "SetHorizontalPositionPCL", {rng.in(0, 1), rng.in(0, 2000)});
    entry(job, "SetVerticalPositionPCL", {rng.in(0, 1), rng.in(0, 2000)});
    entry(job, "SetStartRasterGraphics", {0});
    for (std::int32_t i = 0; i < lines; ++i) {
        entry(job, "RasterLineOut", {0});
    }
    entry(job, "SetEndRasterGraphics", {0});
    entry(job, "ToHpglMode", {0});
}

// A whole job: pen speed codes, then pen changes, vector chains and raster
// images in random order; some end early at an entry the interpreter
// does not know.
inline std::string random_job(Prng& rng)
{
    std::string job;
    entry(job, "VemtracCmdVer", {1});
    job += "VectorSpeed";
    for (int pen = 0; pen < 16; ++pen) {
        job += ' ' + std::to_string(rng.pick({9, 20, 100, 300, 500, 800, 1000}));
    }
    job += '\n';
    entry(job, "ToHpglMode", {0});
    entry(job, "execute_penselect", {rng.in(1, 16)});
    const std::int32_t parts = rng.in(1, 6);
    for (std::int32_t i = 0; i < parts; ++i) {
        const std::int32_t what = rng.in(0, 9);
        if (what < 6) {
            // Some chains are drawn again from where the last one ended, as
            // a shape repeated along a row.
            const std::size_t chain_start = job.size();
            vector_chain(job, rng);
            const std::string chain = job.substr(chain_start);
            for (std::int32_t again = rng.chance(3) ? rng.in(1, 3) : 0; again > 0; --again) {
                job += chain;
            }
        } else if (what < 8) {
            raster_image(job, rng);
        } else {
            entry(job, "execute_penselect", {rng.in(1, 16)});
        }
        if (rng.chance(3)) {
            entry(job, "NoSuchEntry", {1});
        }
    }
    return job;
}

} // namespace job_generator
