// The design import of pictures: which pixels burn, the size from the
// picture's density, raster lines resampled from rows, blank rows and
// margins left out or kept, and the resolutions the machine steps.
#include <gtest/gtest.h>

#include <string>

#include "design/read/design_readers.h"
#include "design_test_util.h"

namespace {

constexpr std::uint32_t BLACK = 0x000000ffu, WHITE = 0xffffffffu;

// The image entries of a job: (ImageWidth, ImageHeight, x dots, y lines,
// raster lines sent).
struct SentImage {
    long long dots, lines, x, y, line_entries;
    bool operator==(const SentImage&) const = default;
};

std::vector<SentImage> sent_images(const std::string& job)
{
    std::vector<SentImage> out;
    SentImage cur{};
    for (const JobEntry& e : job_entries(job)) {
        if (e.keyword == "ImageWidth") {
            cur = {e.values[0], 0, 0, 0, 0};
        } else if (e.keyword == "ImageHeight") {
            cur.lines = e.values[0];
        } else if (e.keyword == "SetHorizontalPositionPCL") {
            EXPECT_EQ(e.values[0], 1);
            cur.x = e.values[1];
        } else if (e.keyword == "SetVerticalPositionPCL") {
            EXPECT_EQ(e.values[0], 1);
            cur.y = e.values[1];
        } else if (e.keyword == "RasterLineOut") {
            ++cur.line_entries;
        } else if (e.keyword == "SetEndRasterGraphics") {
            out.push_back(cur);
        }
    }
    return out;
}

// Two dark boxes, 100 pixels per inch: rows 20..59 (columns 50..149) and
// rows 120..179 (columns 200..279), a blank gap of 0.6 inch between them.
std::uint32_t two_boxes(std::uint32_t x, std::uint32_t y)
{
    const bool a = y >= 20 && y < 60 && x >= 50 && x < 150;
    const bool b = y >= 120 && y < 180 && x >= 200 && x < 280;
    return a || b ? BLACK : WHITE;
}

TEST(DesignPicture, BlankRowsAndMarginsAreLeftOut)
{
    const DesignImport r = import_ok(encode_png(300, 200, two_boxes, 100), "boxes.png");
    // 254 lines per inch, 300 dots per inch: each box placed on its own,
    // trimmed to its columns.
    const std::vector<SentImage> want = {{300, 101, 150, 51, 101}, {240, 152, 600, 305, 152}};
    EXPECT_EQ(sent_images(r.job), want);
    EXPECT_EQ(r.summary.lines, 253);
    EXPECT_NEAR(r.summary.picture_dpi_x, 100, 0.001);
    const std::vector<JobEntry> e = job_entries(r.job);
    EXPECT_EQ(e[0].keyword, "VemtracCmdVer");
    EXPECT_EQ(count_keyword(e, "RasterDPI"), 1);
    EXPECT_EQ(count_keyword(e, "RasterUnit"), 1);
    EXPECT_EQ(count_keyword(e, "ToHpglMode"), 0);

    DesignSettings keep;
    keep.keep_blank = true;
    const DesignImport whole = import_ok(encode_png(300, 200, two_boxes, 100), "boxes.png", keep);
    EXPECT_EQ(sent_images(whole.job), (std::vector<SentImage>{{900, 508, 0, 0, 508}}));
}

TEST(DesignPicture, ATenthOfAnInchOfBlankSplits)
{
    // At 254 lines per inch a tenth of an inch is 25.4 lines: 25 blank
    // lines keep one image, 26 split it. 1 pixel = 1 line at 254 ppi.
    auto gap = [](std::uint32_t blank) {
        return [blank](std::uint32_t, std::uint32_t y) {
            return y < 10 || (y >= 10 + blank && y < 20 + blank) ? BLACK : WHITE;
        };
    };
    EXPECT_EQ(sent_images(import_ok(encode_png(8, 45, gap(25), 254)).job).size(), 1u);
    EXPECT_EQ(sent_images(import_ok(encode_png(8, 46, gap(26), 254)).job).size(), 2u);
}

TEST(DesignPicture, WhatBurns)
{
    // Luminance under half and opacity over half; a dark pixel seen through
    // is blank, and so is mid grey.
    const std::uint32_t cells[] = {0x7f7f7fffu, 0x808080ffu, 0x00000080u,
                                   0x0000007fu, 0xff000040u, 0x0000ffffu};
    const DesignImport r = import_ok(encode_png(
        6, 1, [&](std::uint32_t x, std::uint32_t) { return cells[x]; }, 254));
    // Columns 0 (grey 127), 2 (black, alpha 128) and 5 (pure blue) burn: the
    // image spans columns 0..5.
    ASSERT_EQ(sent_images(r.job).size(), 1u);
    DesignSettings s;
    s.image_dpi = 254;
    s.dpi = 254;
    const DesignImport only_first = import_ok(
        encode_png(6, 1, [&](std::uint32_t x, std::uint32_t) { return x < 2 ? cells[x] : WHITE; }),
        "p.png", s);
    EXPECT_EQ(sent_images(only_first.job)[0].dots, 1);
}

// Every pixel of pictures whose rows are no whole number of words, and
// whose values lie about the threshold, burns by the rule: luminance under
// half and opacity over half.
TEST(DesignPicture, EveryPixelBurnsByTheRule)
{
    const std::uint32_t w = 131, h = 5;
    auto noise = [](std::uint32_t x, std::uint32_t y) {
        std::uint32_t v = (x * 2654435761u) ^ (y * 40503u);
        v = (v ^ (v >> 13)) * 0x5bd1e995u;
        v ^= v >> 15;
        const std::uint32_t g = 96 + v % 64;
        return (g << 24) | ((v >> 16 & 255) << 16) | (g << 8) | (v >> 8 & 255);
    };
    for (bool interlaced : {false, true}) {
        const design::Picture p = design::read_png(encode_png(w, h, noise, 0, interlaced), {});
        for (std::uint32_t y = 0; y < h; ++y) {
            for (std::uint32_t x = 0; x < w; ++x) {
                const std::uint32_t c = noise(x, y);
                const std::uint32_t luma = (c >> 24) * 299 + (c >> 16 & 255) * 587 +
                                           (c >> 8 & 255) * 114;
                ASSERT_EQ(p.burns(x, y), 2 * luma < 255000 && 2 * (c & 255) > 255) << x << ',' << y;
            }
        }
    }
    const std::string jpeg = encode_jpeg(w, h, noise);
    const std::vector<unsigned char> grey = decode_grey_jpeg(jpeg);
    const design::Picture p = design::read_jpeg(jpeg, {});
    for (std::uint32_t i = 0; i < w * h; ++i) {
        ASSERT_EQ(p.burns(i % w, i / w), grey[i] < 128) << i;
    }
}

TEST(DesignPicture, SizeComesFromTheDensity)
{
    auto dark = [](std::uint32_t, std::uint32_t) { return BLACK; };
    // No density: 96 pixels per inch; 96 rows are one inch, 254 lines.
    EXPECT_EQ(import_ok(encode_png(96, 96, dark)).summary.lines, 254);
    // PNG's own, JPEG's JFIF, and the setting over both.
    EXPECT_EQ(import_ok(encode_png(96, 96, dark, 48)).summary.lines, 508);
    const DesignImport j = import_ok(encode_jpeg(96, 96, dark, 192), "p.jpg");
    EXPECT_EQ(j.summary.format, DesignFormat::jpeg);
    EXPECT_EQ(j.summary.lines, 127);
    DesignSettings s;
    s.image_dpi = 254;
    EXPECT_EQ(import_ok(encode_jpeg(96, 96, dark, 192), "p.jpg", s).summary.lines, 96);
    // Interlaced pictures burn the same pixels.
    EXPECT_EQ(sent_images(import_ok(encode_png(300, 200, two_boxes, 100, true)).job),
              sent_images(import_ok(encode_png(300, 200, two_boxes, 100, false)).job));
}

TEST(DesignPicture, LinesPerInchTheMachineSteps)
{
    const std::string png = encode_png(10, 10, [](std::uint32_t, std::uint32_t) { return BLACK; });
    DesignSettings s;
    s.lpi = 300;
    DesignImport r = design_import(png, "p.png", s);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "p.png: the machine has no raster steps for 300 lines per inch; the nearest "
                       "it has is 304 (or let it be rounded)");
    s.lpi_round = true;
    r = import_ok(png, "p.png", s);
    EXPECT_EQ(r.summary.lpi, 304);
    EXPECT_EQ(r.summary.warnings.size(), 1u);
    for (int lpi : {609, 3048, 127, 1}) {
        s.lpi = lpi;
        s.lpi_round = false;
        EXPECT_TRUE(design_import(png, "p.png", s).ok) << lpi;
    }
    s.lpi = 500;
    s.lpi_round = true;
    EXPECT_EQ(import_ok(png, "p.png", s).summary.lpi, 508);
}

TEST(DesignPicture, RasterSettingsReachTheJob)
{
    DesignSettings s;
    s.one_way = true;
    s.raster_speed_mm_s = 508;
    s.dpi = 600;
    const DesignImport r = import_ok(
        encode_png(10, 10, [](std::uint32_t, std::uint32_t) { return BLACK; }), "p.png", s);
    const std::vector<JobEntry> e = job_entries(r.job);
    auto value = [&](const char* k) {
        for (const JobEntry& x : e) {
            if (x.keyword == k) {
                return x.values[0];
            }
        }
        return -1LL;
    };
    EXPECT_EQ(value("RasterFiringType"), 1);
    EXPECT_EQ(value("RasterSpeedX"), 250);
    EXPECT_EQ(value("RasterDPI"), 600);
    EXPECT_DOUBLE_EQ(r.summary.raster_speed_mm_s, 508);
}

}  // namespace
