// Whole jobs for the benchmarks, generated as job-file text: the same text on
// every run, so that every build replays exactly the same machine work.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

enum class BenchJobKind : std::uint8_t {
    circles,       // 60 small circles of 360 chords, default pen speed
    text,          // 150 000 chords of 12 HPGL units in short engraved strokes
    raster_photo,  // one bidirectional photo of 6000 lines
    long_cuts,     // a slow pen cutting a meander of 10..20 inch cuts
    raster_10h,    // five slow images of 12 000 lines, about ten hours
};

struct BenchJob {
    std::string_view name;
    BenchJobKind kind;
};

// Every job kind, in the order the benchmarks run them.
inline constexpr std::array<BenchJob, 5> bench_jobs = {{
    {"circles", BenchJobKind::circles},
    {"text", BenchJobKind::text},
    {"raster_photo", BenchJobKind::raster_photo},
    {"long_cuts", BenchJobKind::long_cuts},
    {"raster_10h", BenchJobKind::raster_10h},
}};

// The job file (Vemtrac.cmd) of one kind.
std::string bench_job_text(BenchJobKind kind);

// Writes text to the file at path; false (with a line on standard error)
// when it cannot.
bool bench_write_file(const std::string& path, const std::string& text);

// Writes every job as <dir>/<name>.cmd and prints each path written, in
// benchmark order; returns false (with a line on standard error) when a
// file cannot be written.
bool bench_write_jobs(const std::string& dir);
