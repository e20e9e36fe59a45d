// A picture's job: the picture's rows resampled to raster lines, blank rows
// and margins left out (unless kept), and one placed raster image per run
// of lines that holds something to burn. The pixels themselves never reach
// the job: they only decide which lines and columns are sent.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "design/raster_job.h"

namespace design {

namespace {

// Plot-bed units per inch: the machine steps raster lines evenly when the
// lines per inch divide it, and has step tables for 304 and 609 besides.
constexpr int PBD_PER_INCH = 3048;
// A picture without a density of its own is taken at 96 pixels per inch.
constexpr double DEFAULT_PICTURE_DPI = 96.0;
// The machine's top X speed at power-on in plot-bed units per second (80
// inches per second); raster speed codes are per mille of it.
constexpr std::uint32_t MAX_X_PBD = 80 * PBD_PER_INCH;
constexpr double MM_PER_INCH = 25.4;

// A run of lines sent as one image, and the columns it covers.
struct Band {
    std::int64_t first_line = 0;  // from the picture's top, in lines
    std::int64_t lines = 0;
    std::uint32_t first_column = 0, last_column = 0;
};

// The picture row a raster line shows: lines spread evenly over the rows.
std::uint32_t row_of_line(std::int64_t line, std::int64_t lines, std::uint32_t rows)
{
    const auto r = static_cast<std::int64_t>((static_cast<double>(line) + 0.5) * rows /
                                             static_cast<double>(lines));
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(r, 0, rows - 1));
}

bool row_blank(const Picture& p, std::uint32_t y)
{
    const std::uint64_t* row = &p.bits[y * p.words_per_row];
    return std::all_of(row, row + p.words_per_row, [](std::uint64_t w) { return w == 0; });
}

// The first and last burning columns of the band's rows; false if none.
bool band_columns(const Picture& p, const std::vector<std::uint32_t>& rows, Band* band)
{
    std::vector<std::uint64_t> any(p.words_per_row, 0);
    for (std::int64_t l = band->first_line; l < band->first_line + band->lines; ++l) {
        const std::uint64_t* row = &p.bits[rows[static_cast<std::size_t>(l)] * p.words_per_row];
        for (std::size_t w = 0; w < p.words_per_row; ++w) {
            any[w] |= row[w];
        }
    }
    std::size_t w0 = 0, w1 = p.words_per_row;
    while (w0 < w1 && any[w0] == 0) {
        ++w0;
    }
    while (w1 > w0 && any[w1 - 1] == 0) {
        --w1;
    }
    if (w0 == w1) {
        return false;
    }
    band->first_column =
        static_cast<std::uint32_t>(w0 * 64 + static_cast<std::size_t>(std::countr_zero(any[w0])));
    band->last_column = static_cast<std::uint32_t>(
        (w1 - 1) * 64 + 63 - static_cast<std::size_t>(std::countl_zero(any[w1 - 1])));
    return true;
}

// The bands of lines to send: runs of lines with something to burn,
// split where at least a tenth of an inch of blank lines lies between them.
std::vector<Band> burning_bands(const Picture& p, const std::vector<std::uint32_t>& rows, int lpi)
{
    std::vector<char> blank_row(p.height);
    for (std::uint32_t y = 0; y < p.height; ++y) {
        blank_row[y] = row_blank(p, y) ? 1 : 0;
    }
    std::vector<Band> bands;
    const auto lines = static_cast<std::int64_t>(rows.size());
    std::int64_t start = -1, last_burning = -1;
    for (std::int64_t l = 0; l < lines; ++l) {
        if (blank_row[rows[static_cast<std::size_t>(l)]]) {
            continue;
        }
        // A gap of g blank lines is g / lpi inches: a tenth or more splits.
        if (start >= 0 && (l - last_burning - 1) * 10 >= lpi) {
            bands.push_back({start, last_burning + 1 - start, 0, 0});
            start = -1;
        }
        if (start < 0) {
            start = l;
        }
        last_burning = l;
    }
    if (start >= 0) {
        bands.push_back({start, last_burning + 1 - start, 0, 0});
    }
    for (Band& b : bands) {
        band_columns(p, rows, &b);
    }
    return bands;
}

int checked_lpi(int lpi, bool round, std::vector<std::string>* warnings)
{
    if (lpi_supported(lpi)) {
        return lpi;
    }
    const int nearest = nearest_supported_lpi(lpi);
    if (!round) {
        throw ImportFailure("the machine has no raster steps for " + std::to_string(lpi) +
                            " lines per inch; the nearest it has is " + std::to_string(nearest) +
                            " (or let it be rounded)");
    }
    warnings->push_back(std::to_string(lpi) + " lines per inch rounded to " +
                        std::to_string(nearest) + ", the nearest the machine steps evenly");
    return nearest;
}

void entry(std::string* job, const char* keyword, std::int64_t a)
{
    *job += keyword;
    *job += ' ' + std::to_string(a) + '\n';
}

void entry(std::string* job, const char* keyword, std::int64_t a, std::int64_t b)
{
    *job += keyword;
    *job += ' ' + std::to_string(a) + ' ' + std::to_string(b) + '\n';
}

// One placed image: its size, its absolute place in dots and lines, and a
// raster line entry per line.
void write_image(std::string* job, const DesignImage& image, std::int64_t x_dots,
                 std::int64_t y_lines)
{
    entry(job, "ImageWidth", image.dots);
    entry(job, "ImageHeight", image.lines);
    entry(job, "SetHorizontalPositionPCL", 1, x_dots);
    entry(job, "SetVerticalPositionPCL", 1, y_lines);
    entry(job, "SetStartRasterGraphics", 0);
    for (std::int32_t l = 0; l < image.lines; ++l) {
        *job += "RasterLineOut 0\n";
    }
    entry(job, "SetEndRasterGraphics", 0);
}

void check_fits(double x_mm, double y_mm, double w_mm, double h_mm)
{
    char text[200];
    if (w_mm > 640 || h_mm > 460) {
        std::snprintf(text, sizeof text,
                      "the picture is %.1f x %.1f mm, larger than the table (640 x 460 mm); "
                      "give it more pixels per inch",
                      w_mm, h_mm);
        throw ImportFailure(text);
    }
    if (x_mm + w_mm > 640 + 1e-9 || y_mm + h_mm > 460 + 1e-9) {
        std::snprintf(text, sizeof text,
                      "placed at %.3f,%.3f mm the %.1f x %.1f mm picture reaches past the "
                      "table's edge (640 x 460 mm)",
                      x_mm, y_mm, w_mm, h_mm);
        throw ImportFailure(text);
    }
}

// The picture's density (the setting's, its own, or 96 per inch) and the
// raster settings, into the summary.
void describe_picture(const Picture& picture, const DesignSettings& settings, int lpi,
                      DesignSummary* s)
{
    const double fallback = settings.image_dpi > 0 ? settings.image_dpi : DEFAULT_PICTURE_DPI;
    s->picture_dpi_x = settings.image_dpi > 0 || !(picture.dpi_x > 0) ? fallback : picture.dpi_x;
    s->picture_dpi_y = settings.image_dpi > 0 || !(picture.dpi_y > 0) ? fallback : picture.dpi_y;
    s->picture_width_px = static_cast<std::int32_t>(picture.width);
    s->picture_height_px = static_cast<std::int32_t>(picture.height);
    s->lpi = lpi, s->dpi = settings.dpi, s->one_way = settings.one_way;
    // A speed in mm/s becomes the nearest per mille of the top X speed.
    int code = settings.raster_speed_code;
    if (settings.raster_speed_mm_s > 0) {
        code = std::clamp(
            static_cast<int>(std::lround(settings.raster_speed_mm_s * 120.0 * 1000.0 / MAX_X_PBD)),
            1, 1000);
    }
    s->raster_speed_code = code;
    s->raster_speed_mm_s =
        static_cast<double>(static_cast<std::uint32_t>(code) * MAX_X_PBD / 1000u) / 120.0;
}

// The settings entries every image of the job runs at.
std::string raster_header(const DesignSettings& settings, int lpi, int speed_code)
{
    std::string job = "VemtracCmdVer 1\n";
    entry(&job, "RasterDPI", settings.dpi);
    entry(&job, "RasterUnit", lpi);
    entry(&job, "RasterSpeedX", speed_code);
    entry(&job, "RasterSpeedY", 1000);
    entry(&job, "RasterFiringType", settings.one_way ? 1 : 0);
    entry(&job, "RasterBandingFree", 1);
    entry(&job, "RasterBuEngrave", 0);
    return job;
}

// Each band as an image placed on the table: its left edge and width in
// dots, its top in lines from the table's origin; the summary's images and
// extent.
void place_images(const std::vector<Band>& bands, const DesignSettings& settings, int lpi,
                  std::string* job, DesignSummary* s)
{
    const double at_x = settings.at_x_mm / MM_PER_INCH;
    const std::int64_t top_line = std::llround(settings.at_y_mm / MM_PER_INCH * lpi);
    const double dpi = settings.dpi;
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (const Band& b : bands) {
        const std::int64_t left = std::llround((at_x + b.first_column / s->picture_dpi_x) * dpi);
        const std::int64_t right =
            std::llround((at_x + (b.last_column + 1) / s->picture_dpi_x) * dpi);
        DesignImage image;
        image.dots = static_cast<std::int32_t>(std::max<std::int64_t>(1, right - left));
        image.lines = static_cast<std::int32_t>(b.lines);
        image.x_mm = static_cast<double>(left) * MM_PER_INCH / dpi;
        image.y_mm = static_cast<double>(top_line + b.first_line) * MM_PER_INCH / lpi;
        image.width_mm = image.dots * MM_PER_INCH / dpi;
        image.height_mm = image.lines * MM_PER_INCH / lpi;
        write_image(job, image, left, top_line + b.first_line);
        s->images.push_back(image);
        s->lines += image.lines;
        x0 = std::min(x0, image.x_mm), y0 = std::min(y0, image.y_mm);
        x1 = std::max(x1, image.x_mm + image.width_mm);
        y1 = std::max(y1, image.y_mm + image.height_mm);
    }
    s->x_mm = x0, s->y_mm = y0, s->width_mm = x1 - x0, s->height_mm = y1 - y0;
}

}  // namespace

bool lpi_supported(int lpi)
{
    return lpi >= 1 && (PBD_PER_INCH % lpi == 0 || lpi == 304 || lpi == 609);
}

int nearest_supported_lpi(int lpi)
{
    int best = 1;
    for (int c = 1; c <= PBD_PER_INCH; ++c) {
        if (lpi_supported(c) && std::abs(c - lpi) < std::abs(best - lpi)) {
            best = c;
        }
    }
    return best;
}

std::string write_raster_job(const Picture& picture, const DesignSettings& settings,
                             DesignSummary* s)
{
    const int lpi = checked_lpi(settings.lpi, settings.lpi_round, &s->warnings);
    describe_picture(picture, settings, lpi, s);
    const double height_in = picture.height / s->picture_dpi_y;
    check_fits(settings.at_x_mm, settings.at_y_mm, picture.width / s->picture_dpi_x * MM_PER_INCH,
               height_in * MM_PER_INCH);

    const std::int64_t lines = std::max<std::int64_t>(1, std::llround(height_in * lpi));
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(lines));
    for (std::int64_t l = 0; l < lines; ++l) {
        rows[static_cast<std::size_t>(l)] = row_of_line(l, lines, picture.height);
    }
    const std::vector<Band> bands = settings.keep_blank
                                        ? std::vector<Band>{{0, lines, 0, picture.width - 1}}
                                        : burning_bands(picture, rows, lpi);
    if (bands.empty()) {
        s->warnings.push_back("nothing to engrave: no pixel of the picture is dark enough");
        return "VemtracCmdVer 1\n";
    }
    std::string job = raster_header(settings, lpi, s->raster_speed_code);
    job.reserve(job.size() + static_cast<std::size_t>(lines) * 16 + bands.size() * 160);
    place_images(bands, settings, lpi, &job, s);
    return job;
}

}  // namespace design
