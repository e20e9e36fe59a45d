#include "bench_jobs.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <numbers>
#include <utility>

namespace {

// HPGL units per inch, as pd_default / pu_default count them.
constexpr std::int32_t hpgl_per_inch = 1016;

// Builds job-file text one entry per line.
class JobText {
public:
    // One entry: the keyword and its integers.
    void entry(std::string_view keyword, std::initializer_list<std::int32_t> values)
    {
        text_ += keyword;
        for (const std::int32_t v : values) {
            char buf[16];
            const auto res = std::to_chars(buf, buf + sizeof buf, v);
            text_ += ' ';
            text_.append(buf, res.ptr);
        }
        text_ += '\n';
    }

    // A pen-down move by (dx, dy) HPGL units; keeps track of the head.
    void pd(std::int32_t dx, std::int32_t dy)
    {
        entry("pd_default", {dx, dy});
        x_ += dx;
        y_ += dy;
    }

    // A pen-up move to (x, y) HPGL units from the job's origin.
    void pu_to(std::int32_t x, std::int32_t y)
    {
        entry("pu_default", {x - x_, y - y_});
        x_ = x;
        y_ = y;
    }

    // Where the head is, in HPGL units from the job's origin.
    std::int32_t x() const { return x_; }
    std::int32_t y() const { return y_; }
    // The job file built so far; the builder is empty afterwards.
    std::string take() { return std::move(text_); }

private:
    std::string text_;
    std::int32_t x_ = 0;
    std::int32_t y_ = 0;
};

// A fixed-seed xorshift generator: the same sequence on every host, unlike
// the standard distributions.
class Prng {
public:
    // A number in lo..hi, both included.
    std::int32_t in(std::int32_t lo, std::int32_t hi)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        const auto span = static_cast<std::uint32_t>(hi - lo) + 1u;
        return lo + static_cast<std::int32_t>(state_ % span);
    }

private:
    std::uint32_t state_ = 0x9E3779B9u;
};

// The file version and the sixteen pen speed codes, pen 1 then selected.
void vector_header(JobText& job, std::int32_t pen1_code)
{
    job.entry("VemtracCmdVer", {1});
    job.entry("VectorSpeed", {pen1_code, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500,
                              500, 500, 500, 500});
    job.entry("ToHpglMode", {0});
    job.entry("execute_penselect", {1});
}

// A point on a circle of the given radius, at step of steps around it.
std::int32_t circle_coord(double radius, std::int32_t step, std::int32_t steps, bool sine)
{
    const double a = 2.0 * std::numbers::pi * step / steps;
    return static_cast<std::int32_t>(std::lround(radius * (sine ? std::sin(a) : std::cos(a))));
}

// 60 circles of 360 chords of about 0.5 mm (radius 1128 HPGL units, 28.6
// mm), on a grid of 10 by 6 with a pen-up hop from one to the next; pen 1
// at the default speed code 500.
std::string circles_job()
{
    constexpr std::int32_t radius = 1128;
    constexpr std::int32_t chords = 360;
    constexpr std::int32_t pitch = 2438;  // 2.4 inches between centres
    JobText job;
    vector_header(job, 500);
    for (std::int32_t c = 0; c < 60; ++c) {
        const std::int32_t cx = pitch * (1 + c % 10);
        const std::int32_t cy = pitch * (1 + c / 10);
        job.pu_to(cx + radius, cy);
        for (std::int32_t i = 1; i <= chords; ++i) {
            const std::int32_t x = cx + circle_coord(radius, i, chords, false);
            const std::int32_t y = cy + circle_coord(radius, i, chords, true);
            job.pd(x - job.x(), y - job.y());
        }
    }
    return job.take();
}

// One engraved glyph: 2..4 strokes of 5..15 chords of 12 HPGL units, each
// stroke bending a little per chord and turning sharply at its start.
// Returns the chords drawn (never more than left).
std::int32_t text_glyph(JobText& job, Prng& rng, std::int32_t left)
{
    constexpr double chord = 12.0;
    std::int32_t drawn = 0;
    double heading = rng.in(0, 359);
    const std::int32_t strokes = rng.in(2, 4);
    for (std::int32_t s = 0; s < strokes && drawn < left; ++s) {
        heading += rng.in(45, 180) * (rng.in(0, 1) != 0 ? 1 : -1);
        const std::int32_t bend = rng.in(-15, 15);
        const std::int32_t n = rng.in(5, 15);
        for (std::int32_t i = 0; i < n && drawn < left; ++i, ++drawn) {
            const double a = heading * std::numbers::pi / 180.0;
            job.pd(static_cast<std::int32_t>(std::lround(chord * std::cos(a))),
                   static_cast<std::int32_t>(std::lround(chord * std::sin(a))));
            heading += bend;
        }
    }
    return drawn;
}

// 150 000 chords of 12 HPGL units in glyphs set along lines of 8 inches,
// with pen-up hops of 3..6 mm between glyphs, on pages of 14 inches that
// all start at the same top line; default pen speed.
std::string text_job()
{
    constexpr std::int32_t total_chords = 150'000;
    constexpr std::int32_t line_start = hpgl_per_inch;
    constexpr std::int32_t line_end = 9 * hpgl_per_inch;
    constexpr std::int32_t page_top = hpgl_per_inch;
    constexpr std::int32_t page_bottom = 15 * hpgl_per_inch;
    constexpr std::int32_t line_pitch = 600;  // about 15 mm
    JobText job;
    Prng rng;
    vector_header(job, 500);
    std::int32_t pen_x = line_start;
    std::int32_t line_y = page_top;
    std::int32_t drawn = 0;
    while (drawn < total_chords) {
        job.pu_to(pen_x, line_y + rng.in(0, 200));
        drawn += text_glyph(job, rng, total_chords - drawn);
        pen_x += 200 + rng.in(120, 240);  // glyph cell plus a 3..6 mm hop
        if (pen_x > line_end) {
            pen_x = line_start;
            line_y = line_y + line_pitch > page_bottom ? page_top : line_y + line_pitch;
        }
    }
    return job.take();
}

// What an image's raster entries set.
struct RasterImage {
    std::int32_t dpi;       // dots per inch along a pass
    std::int32_t unit;      // lines per inch
    std::int32_t speed_x;   // per mille of the maximum X velocity
    std::int32_t speed_y;   // per mille of the maximum Y velocity
    std::int32_t width;     // dots
    std::int32_t height;    // lines
};

// The raster settings of an image, bidirectional, lines down the page.
void raster_settings(JobText& job, const RasterImage& img)
{
    job.entry("RasterDPI", {img.dpi});
    job.entry("RasterUnit", {img.unit});
    job.entry("RasterSpeedX", {img.speed_x});
    job.entry("RasterSpeedY", {img.speed_y});
    job.entry("RasterPower", {600});
    job.entry("RasterFiringType", {0});
    job.entry("RasterBandingFree", {1});
    job.entry("RasterBuEngrave", {0});
    job.entry("ImageWidth", {img.width});
    job.entry("ImageHeight", {img.height});
}

// One image at (x dots, y lines) on the page: every line sent.
void raster_image(JobText& job, const RasterImage& img, std::int32_t x, std::int32_t y)
{
    job.entry("SetHorizontalPositionPCL", {1, x});
    job.entry("SetVerticalPositionPCL", {1, y});
    job.entry("SetStartRasterGraphics", {0});
    for (std::int32_t line = 0; line < img.height; ++line) {
        job.entry("RasterLineOut", {0});
    }
    job.entry("SetEndRasterGraphics", {0});
}

// One photo, 4 inches wide at 600 dpi, 6000 lines at 500 lines per inch.
std::string raster_photo_job()
{
    const RasterImage img{600, 500, 1000, 500, 2400, 6000};
    JobText job;
    job.entry("VemtracCmdVer", {1});
    raster_settings(job, img);
    raster_image(job, img, img.dpi, img.unit);
    return job.take();
}

// A zig-zag of 64 cuts along X, out and back in pairs of 10..20 inches from
// the same left edge, 0.25 inch apart, with the slow speed code 20 (2.4 % of
// the maximum Y velocity) on pen 1.
std::string long_cuts_job()
{
    constexpr std::int32_t cuts = 64;
    constexpr std::int32_t step = hpgl_per_inch / 4;
    JobText job;
    vector_header(job, 20);
    job.pu_to(hpgl_per_inch, hpgl_per_inch);
    for (std::int32_t i = 0; i < cuts; ++i) {
        const std::int32_t length = hpgl_per_inch * (10 + (i / 2) % 11);
        job.pd(i % 2 == 0 ? length : -length, 0);
        job.pd(0, step);
    }
    return job.take();
}

// Five images of 12 000 lines at 1000 lines per inch, 8.5 inches wide at
// 1000 dpi, at the slow pass speed 50 per mille: about ten hours, nine
// tenths of it and more slewing along the passes. The settings are sent
// once; the machine clears the image width and height at the end of each
// image, so images 2 to 5 run as images without width: each of their
// passes covers only the two acceleration allowances (12 mm), and the first
// image takes most of the ten hours.
std::string raster_10h_job()
{
    const RasterImage img{1000, 1000, 50, 1000, 8500, 12'000};
    JobText job;
    job.entry("VemtracCmdVer", {1});
    raster_settings(job, img);
    for (std::int32_t i = 0; i < 5; ++i) {
        raster_image(job, img, img.dpi, img.unit);
    }
    return job.take();
}

} // namespace

std::string bench_job_text(BenchJobKind kind)
{
    switch (kind) {
    case BenchJobKind::circles:
        return circles_job();
    case BenchJobKind::text:
        return text_job();
    case BenchJobKind::raster_photo:
        return raster_photo_job();
    case BenchJobKind::long_cuts:
        return long_cuts_job();
    case BenchJobKind::raster_10h:
        return raster_10h_job();
    }
    return {};
}

bool bench_write_file(const std::string& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool written = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool closed = f != nullptr && std::fclose(f) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
    }
    return written && closed;
}

bool bench_write_jobs(const std::string& dir)
{
    for (const BenchJob& job : bench_jobs) {
        const std::string path = dir + "/" + std::string(job.name) + ".cmd";
        if (!bench_write_file(path, bench_job_text(job.kind))) {
            return false;
        }
        std::printf("%s\n", path.c_str());
    }
    return true;
}
