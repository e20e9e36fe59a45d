// Hostile designs: each ends in a clear error or a sound job, quickly and
// within bounded memory, never in a crash, a hang or a stack overflow.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "design_test_util.h"

namespace {

// The import of the bytes (within memory bytes, 0: none given) fails with a
// message holding the text.
void expect_error(const std::string& bytes, const std::string& name, const std::string& text,
                  std::size_t memory = 0)
{
    DesignSettings settings;
    settings.memory_limit = memory;
    const DesignImport r = design_import(bytes, name, settings);
    EXPECT_FALSE(r.ok) << name;
    EXPECT_NE(r.error.find(text), std::string::npos) << r.error;
}

TEST(DesignHostile, DeepNestingIsWalkedWithoutTheCallStack)
{
    constexpr int depth = 100000;
    std::string text = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\">";
    for (int i = 0; i < depth; ++i) {
        text += "<g transform=\"translate(0.00001)\">";
    }
    text += "<path d=\"M0 0 h5\" stroke=\"black\"/>";
    for (int i = 0; i < depth; ++i) {
        text += "</g>";
    }
    text += "</svg>";
    const DesignImport r = import_ok(text, "deep.svg");
    EXPECT_EQ(r.summary.subpaths, 1);
}

TEST(DesignHostile, EntityBombsAndUseBombsStaySmall)
{
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY a \"aaaaaaaaaa\">";
    for (int i = 1; i < 10; ++i) {
        const std::string prev(1, static_cast<char>('a' + i - 1)),
            cur(1, static_cast<char>('a' + i));
        bomb += "<!ENTITY " + cur + " \"&" + prev + ";&" + prev + ";&" + prev + ";&" + prev + ";&" +
                prev + ";&" + prev + ";&" + prev + ";&" + prev + ";&" + prev + ";&" + prev + ";\">";
    }
    bomb += "]><svg xmlns=\"http://www.w3.org/2000/svg\"><path id=\"&j;\" d=\"M0 0 h5 &j;\" "
            "stroke=\"black\"/><text>&j;</text></svg>";
    const auto start = std::chrono::steady_clock::now();
    const DesignImport r = import_ok(bomb, "bomb.svg");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_LT(r.job.size(), 1000u);

    // Ten levels of ten uses each would draw 10^10 paths.
    std::string uses = "<svg xmlns=\"http://www.w3.org/2000/svg\"><defs><path id=\"l0\" d=\"M0 0 "
                       "h1\" stroke=\"red\"/>";
    for (int level = 1; level <= 10; ++level) {
        uses += "<g id=\"l" + std::to_string(level) + "\">";
        for (int k = 0; k < 10; ++k) {
            uses += "<use href=\"#l" + std::to_string(level - 1) + "\"/>";
        }
        uses += "</g>";
    }
    uses += "</defs><use href=\"#l10\"/></svg>";
    expect_error(uses, "uses.svg", "(the limit)");
    // A use that shows itself is left out.
    const DesignImport self =
        import_ok("<svg xmlns=\"http://www.w3.org/2000/svg\"><g id=\"g\">"
                  "<path d=\"M0 0 h1\" stroke=\"red\"/><use href=\"#g\"/></g></svg>");
    EXPECT_EQ(self.summary.subpaths, 2);
}

TEST(DesignHostile, NumbersOutOfRange)
{
    const std::string open = "<svg xmlns=\"http://www.w3.org/2000/svg\">";
    expect_error(open + "<path d=\"M0 0 L1e300 0\" stroke=\"red\"/></svg>", "far.svg",
                 "far.svg: a coordinate lies more than 2.5 km from the origin");
    expect_error(
        open +
            "<path transform=\"scale(1e308) scale(1e308)\" d=\"M0 0 L1 0\" stroke=\"red\"/></svg>",
        "inf.svg", "not a finite number");
    // Infinity in path data ends the path there, with a warning.
    const DesignImport r =
        import_ok(open + "<path d=\"M0 0 L10 0 L1e999 0\" stroke=\"red\"/></svg>");
    EXPECT_EQ(r.summary.subpaths, 1);
    EXPECT_EQ(r.summary.warnings.size(), 1u);
    expect_error(
        "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nnan\n20\n0\n11\n1\n21\n1\n0\nENDSEC\n0\nEOF\n",
        "nan.dxf", "not finite");
    expect_error("IN;PD999999999999999999999,0;", "big.plt", "more than 2.5 km");
    // Pen numbers, flags and counts past an int's range.
    EXPECT_TRUE(design_import("IN;SP99999999999999999999999;PD0,0,10,0;", "pen.plt", {}).ok);
    EXPECT_TRUE(design_import("0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n70\n1e300\n10\n0\n20\n0\n"
                              "10\n1\n20\n0\n0\nENDSEC\n0\nEOF\n",
                              "flags.dxf", {})
                    .ok);
}

TEST(DesignHostile, PicturesThatClaimTooMuch)
{
    // A PNG whose header claims 100000 x 100000 pixels and holds none.
    std::string png = encode_png(1, 1, [](std::uint32_t, std::uint32_t) { return 0x000000ffu; });
    const unsigned char big[8] = {0, 1, 0x86, 0xa0, 0, 1, 0x86, 0xa0};  // 100000, 100000
    png.replace(16, 8, reinterpret_cast<const char*>(big), 8);
    expect_error(png, "huge.png", "more than the limit of 400 million");
}

TEST(DesignHostile, TruncatedFiles)
{
    const std::string png = encode_png(
        200, 200, [](std::uint32_t x, std::uint32_t y) { return (x ^ y) & 1 ? 0x000000ffu : ~0u; });
    expect_error(png.substr(0, png.size() / 2), "cut.png", "cut.png: the PNG");
    const std::string jpeg = encode_jpeg(
        64, 64, [](std::uint32_t x, std::uint32_t) { return x < 32 ? 0x000000ffu : ~0u; });
    // A JPEG cut short is read as far as it goes (libjpeg's own choice).
    const DesignImport j = design_import(jpeg.substr(0, jpeg.size() / 2), "cut.jpg", {});
    if (j.ok) {
        EXPECT_FALSE(j.summary.warnings.empty());
    }
    expect_error(jpeg.substr(0, 20), "head.jpg", "head.jpg: the JPEG cannot be decoded");
    expect_error("<svg xmlns=\"http://www.w3.org/2000/svg\"><path d=\"M0 0 h5\" stroke=\"red\"",
                 "cut.svg", "not well-formed XML");
    expect_error("0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n0\n20\n", "cut.dxf",
                 "no complete ENTITIES section");
    expect_error("", "empty.svg", "empty.svg: the file is empty");
}

TEST(DesignHostile, AMemoryAllowanceBoundsEachKindOfDesign)
{
    // 64 KiB: a 1000 x 1000 picture's bits alone take 125 KiB; 3000 empty
    // groups take more to read; two circles of 200 mm flattened to 1 um
    // take more than the 1000 segments left; and 16 KiB: 100 passes of a
    // 10 segment path take more to write.
    constexpr std::size_t memory = 64 << 10;
    const std::string png =
        encode_png(1000, 1000, [](std::uint32_t, std::uint32_t) { return 0x000000ffu; });
    expect_error(png, "big.png", "pixels need 149 KiB to read, more than the 64 KiB", memory);
    const std::string head = R"(<svg xmlns="http://www.w3.org/2000/svg" width="500mm" )"
                             R"(height="500mm" viewBox="0 0 500 500">)";
    std::string groups = head;
    for (int i = 0; i < 3000; ++i) {
        groups += "<g/>";
    }
    expect_error(groups + "</svg>", "g.svg", "reading it needs about 564 KiB", memory);
    const auto import_error = [&](const std::string& body, const char* settings_json,
                                  std::size_t allowed) {
        DesignSettings settings;
        std::string error;
        EXPECT_TRUE(design_settings_from_json(settings_json, &settings, &error)) << error;
        EXPECT_TRUE(design_import(body, "d.svg", settings).ok);
        settings.memory_limit = allowed;
        return design_import(body, "d.svg", settings).error;
    };
    const std::string circle = R"(<circle cx="250" cy="250" r="200" stroke="red"/>)";
    EXPECT_NE(import_error(head + circle + circle + "</svg>", R"({"tolerance": 0.001})", memory)
                  .find("segments once curves are flattened: the most 64 KiB"),
              std::string::npos);
    const std::string zigzag = head + R"(<path d="M0 0 l5 5 l5 -5 l5 5 l5 -5 l5 5 l5 -5 )"
                                      R"(l5 5 l5 -5 l5 5 l5 -5" stroke="red"/></svg>)";
    EXPECT_NE(import_error(zigzag, R"({"passes": {"1": 100}})", 16 << 10)
                  .find("its job of 1000 cutting moves needs 25 KiB to write"),
              std::string::npos);
}

TEST(DesignHostile, NestedInsertsHaveADepthLimit)
{
    std::string blocks = "0\nBLOCK\n2\nB0\n0\nLINE\n10\n0\n20\n0\n11\n1\n21\n0\n0\nENDBLK\n";
    for (int i = 1; i <= 70; ++i) {
        blocks += "0\nBLOCK\n2\nB" + std::to_string(i) + "\n0\nINSERT\n2\nB" +
                  std::to_string(i - 1) + "\n0\nENDBLK\n";
    }
    const std::string dxf = "0\nSECTION\n2\nBLOCKS\n" + blocks +
                            "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
                            "0\nINSERT\n2\nB70\n0\nENDSEC\n0\nEOF\n";
    expect_error(dxf, "deep.dxf", "blocks nested deeper than 64");
}

}  // namespace
