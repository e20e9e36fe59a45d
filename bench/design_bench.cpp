// The design import against the estimate of the job it writes: a drawing
// of 1,000 elements (curved paths, circles, rounded rectangles, polygons)
// and a 1920 x 1080 photograph. The import should take well under the
// estimate's own time; the peak memory of the process is reported.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "design/design_import.h"
#include "design_pictures.h"
#include "vemtrac/vemtrac.h"

namespace {

// 1,000 elements over a 400 x 300 mm sheet, in four kinds.
std::string drawing_1000()
{
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"400mm\" height=\"300mm\" "
                      "viewBox=\"0 0 400 300\" fill=\"none\">\n";
    char buf[400];
    for (int i = 0; i < 1000; ++i) {
        const double x = 10 + (i % 40) * 9.5, y = 10 + (i / 40) * 11.5;
        switch (i % 4) {
        case 0:
            std::snprintf(
                buf, sizeof buf,
                "<path stroke=\"red\" d=\"M%.2f %.2f c2 -4 4 4 6 0 s4 4 2 6 q-3 2 -6 0 z\"/>\n", x,
                y);
            break;
        case 1:
            std::snprintf(buf, sizeof buf,
                          "<circle stroke=\"blue\" cx=\"%.2f\" cy=\"%.2f\" r=\"3.5\"/>\n", x + 4,
                          y + 4);
            break;
        case 2:
            std::snprintf(
                buf, sizeof buf,
                "<rect stroke=\"red\" x=\"%.2f\" y=\"%.2f\" width=\"8\" height=\"9\" rx=\"1.5\" "
                "transform=\"rotate(%d %.2f %.2f)\"/>\n",
                x, y, i % 90, x + 4, y + 4);
            break;
        default:
            std::snprintf(
                buf, sizeof buf,
                "<polygon stroke=\"black\" points=\"%.2f,%.2f %.2f,%.2f %.2f,%.2f %.2f,%.2f\"/>\n",
                x, y, x + 8, y + 1, x + 7, y + 9, x + 1, y + 8);
        }
        svg += buf;
    }
    return svg + "</svg>\n";
}

// A photograph's worth of detail: soft gradients, ripples and a little
// grain (about 5 bits a pixel once encoded, as a camera's picture).
std::string photo_1920x1080()
{
    return encode_jpeg(1920, 1080, [](std::uint32_t x, std::uint32_t y) {
        const double v = 128 + 70 * std::sin(x / 97.0) * std::cos(y / 61.0) +
                         40 * std::sin((x + y) / 13.0) +
                         static_cast<double>((x * 7919u + y * 104729u) % 9u) - 4;
        const auto g = static_cast<std::uint32_t>(std::fmin(255, std::fmax(0, v)));
        return (g << 24) | (g << 16) | (g << 8) | 0xffu;
    });
}

double peak_rss_mb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_Import(benchmark::State& state, const std::string& design, const char* name)
{
    DesignImport r;
    for (auto _ : state) {
        r = design_import(design, name, {});
        benchmark::DoNotOptimize(r.job.data());
    }
    if (!r.ok) {
        state.SkipWithError(r.error.c_str());
        return;
    }
    state.counters["design_kB"] = static_cast<double>(design.size()) / 1000.0;
    state.counters["job_kB"] = static_cast<double>(r.job.size()) / 1000.0;
    state.counters["peak_rss_MB"] = peak_rss_mb();
}

void BM_EstimateImportedJob(benchmark::State& state, const std::string& design, const char* name)
{
    const DesignImport r = design_import(design, name, {});
    vemtrac_result result{};
    for (auto _ : state) {
        if (vemtrac_estimate(r.job.data(), r.job.size(), nullptr, &result) != VEMTRAC_SUCCESS) {
            state.SkipWithError("the estimate failed");
            return;
        }
    }
    state.counters["estimate_s"] = result.run_time_ms / 1000.0;
    state.counters["peak_rss_MB"] = peak_rss_mb();
}

const std::string& drawing()
{
    static const std::string svg = drawing_1000();
    return svg;
}

const std::string& photo()
{
    static const std::string jpeg = photo_1920x1080();
    return jpeg;
}

void BM_ImportDrawing1000(benchmark::State& s)
{
    BM_Import(s, drawing(), "drawing.svg");
}
void BM_EstimateDrawing1000(benchmark::State& s)
{
    BM_EstimateImportedJob(s, drawing(), "drawing.svg");
}
void BM_ImportPhoto1920x1080(benchmark::State& s)
{
    BM_Import(s, photo(), "photo.jpg");
}
void BM_EstimatePhoto1920x1080(benchmark::State& s)
{
    BM_EstimateImportedJob(s, photo(), "photo.jpg");
}

BENCHMARK(BM_ImportDrawing1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EstimateDrawing1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportPhoto1920x1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EstimatePhoto1920x1080)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
