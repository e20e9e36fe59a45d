// The design import of vector designs: formats found from content, plot
// files taken exactly, the job's entries and their order, placement, pens,
// speeds, passes and cutting orders, and the SVG and DXF features that
// decide what is cut.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "design/cut_order.h"
#include "design_test_util.h"

namespace {

const char* const square_plt = "IN;SP1;PU0,0;PD400,0,400,400,0,400,0,0;PU;";

std::string
svg(const std::string& body,
    const std::string& size = "width=\"100mm\" height=\"100mm\" viewBox=\"0 0 100 100\"")
{
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" " + size + ">" + body + "</svg>";
}

TEST(DesignFormat, ContentDecidesAndTheExtensionOnlyHints)
{
    EXPECT_EQ(design_detect_format(svg(""), "x.dxf"), DesignFormat::svg);
    EXPECT_EQ(design_detect_format("  0\nSECTION\n  2\nENTITIES\n", "x.svg"), DesignFormat::dxf);
    EXPECT_EQ(design_detect_format(square_plt, "x.png"), DesignFormat::hpgl);
    EXPECT_EQ(design_detect_format("\x89PNG\r\n\x1a\nrest", ""), DesignFormat::png);
    EXPECT_EQ(design_detect_format("\xFF\xD8\xFF\xE0", ""), DesignFormat::jpeg);
    // A plot file without a known opening is found by its extension alone.
    EXPECT_EQ(design_detect_format(";;PA0,0;", "cut.plt"), DesignFormat::hpgl);
    EXPECT_EQ(design_detect_format("hello", "x.txt"), DesignFormat::automatic);

    DesignImport r = design_import("hello", "notes.txt", {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "notes.txt: not an SVG, DXF, HPGL plot file, PNG or JPEG");
    // A forced format reads the bytes as that format, and says what is wrong.
    DesignSettings forced;
    forced.format = DesignFormat::dxf;
    r = design_import(svg(""), "a.svg", forced);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "a.svg: the DXF has no complete ENTITIES section (cut short?)");
}

TEST(DesignJob, PlotFileMovesAreTakenExactly)
{
    const DesignImport r = import_ok("IN;SP1;PU100,200;PD137,251;PR-3,7,1,1;PA90,260;PU;SP2;"
                                     "PA500 500;PD 520 510;PU;ZZ1;");
    const std::vector<JobEntry> e = job_entries(r.job);
    std::vector<std::pair<long long, long long>> pd;
    for (const JobEntry& x : e) {
        if (x.keyword == "pd_default") {
            pd.push_back({x.values[0], x.values[1]});
        }
    }
    // Plot-file y runs up, as the machine's does: each move as written.
    const std::vector<std::pair<long long, long long>> want = {
        {37, 51}, {-3, 7}, {1, 1}, {-45, 1}, {20, 10}};
    EXPECT_EQ(pd, want);
    ASSERT_EQ(r.summary.pens.size(), 2u);
    EXPECT_EQ(r.summary.pens[1].sources, std::vector<std::string>{"SP2"});
    EXPECT_EQ(r.summary.warnings, std::vector<std::string>{"1 ZZ instruction skipped (not read)"});
}

TEST(DesignJob, EntriesStandInTheOrderTheMachineNeeds)
{
    const DesignImport r = import_ok(square_plt);
    const std::vector<JobEntry> e = job_entries(r.job);
    ASSERT_GE(e.size(), 5u);
    EXPECT_EQ(e[0].keyword, "VemtracCmdVer");
    EXPECT_EQ(e[1].keyword, "VectorSpeed");
    EXPECT_EQ(e[1].values.size(), 16u);
    EXPECT_EQ(e[2].keyword, "execute_penselect");
    // No mode switch: the first travel keeps the pen-up speeds.
    EXPECT_EQ(count_keyword(e, "ToHpglMode"), 0);
    EXPECT_EQ(count_keyword(e, "ToPclMode"), 0);
    // The first travel runs from the machine's home to the table's origin
    // (the square's top-left corner): 80 right and 18640 up... less the
    // square's height, its first point being its bottom-left corner.
    EXPECT_EQ(e[3].keyword, "pu_default");
    EXPECT_EQ(e[3].values, (std::vector<long long>{80, 18640 - 400}));
    EXPECT_EQ(e.back().keyword, "pu_default");
    EXPECT_EQ(e.back().values, (std::vector<long long>{0, 0}));
    EXPECT_DOUBLE_EQ(r.summary.width_mm, 10.0);
    EXPECT_DOUBLE_EQ(r.summary.cut_mm, 40.0);
}

TEST(DesignJob, RoundingNeverAccumulates)
{
    // 400 steps of 0.3 plotter units (a 120-unit line in tiny pieces).
    std::string d = "M0 0";
    for (int i = 0; i < 400; ++i) {
        d += " l0.3 0";
    }
    const double px = 96.0 / 1016.0;  // one plotter unit in px
    std::string scaled = "<path transform=\"scale(" + std::to_string(px) +
                         ")\" stroke=\"black\" fill=\"none\" d=\"" + d + "\"/>";
    const DesignImport r = import_ok(svg(scaled, "width=\"100\" height=\"100\""));
    const auto sum = pen_down_sum(job_entries(r.job));
    EXPECT_EQ(sum.first, 120);
    EXPECT_EQ(sum.second, 0);
}

TEST(DesignJob, PlacementAndTheTable)
{
    DesignSettings at;
    ASSERT_TRUE(design_setting_set(&at, "at", "100,50", nullptr));
    DesignImport r = import_ok(square_plt, "sq.plt", at);
    EXPECT_DOUBLE_EQ(r.summary.x_mm, 100);
    EXPECT_DOUBLE_EQ(r.summary.y_mm, 50);
    EXPECT_EQ(job_entries(r.job)[3].values,
              (std::vector<long long>{80 + 4000, 18640 - 2000 - 400}));

    // 650 mm across: larger than the table.
    r = design_import("IN;PU0,0;PD26000,0;", "wide.plt", {});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error,
              "wide.plt: the design is 650.0 x 0.0 mm, larger than the table (640 x 460 mm)");
    // A corner half a plotter unit off the grid still lands on the origin.
    r = import_ok(svg("<path d=\"M0.0125 0.0125 h10 v10\" stroke=\"red\"/>",
                      "width=\"100mm\" height=\"100mm\" viewBox=\"0 0 100 100\""));
    EXPECT_EQ(r.summary.x_mm, 0);
    EXPECT_EQ(r.summary.y_mm, 0);
    // Fits, but not where it is placed.
    at.at_x_mm = 635;
    r = design_import(square_plt, "sq.plt", at);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("reaches past the table's edge"), std::string::npos) << r.error;
}

TEST(DesignPens, ColoursLayersAndPlotPensChoosePens)
{
    const std::string body =
        "<path d=\"M0 0 h10\" stroke=\"#F00\"/><path d=\"M0 5 h10\" stroke=\"blue\"/>"
        "<path d=\"M0 9 h10\" stroke=\"rgb(255,0,0)\"/>";
    DesignImport r = import_ok(svg(body));
    ASSERT_EQ(r.summary.pens.size(), 2u);
    EXPECT_EQ(r.summary.pens[0].sources, std::vector<std::string>{"#ff0000"});
    EXPECT_EQ(r.summary.pens[0].subpaths, 2);
    EXPECT_EQ(r.summary.pens[1].pen, 2);

    // Named pens; the first unnamed colour takes the lowest free pen.
    DesignSettings s;
    std::string error;
    ASSERT_TRUE(design_settings_from_json(R"({"pens": {"red": 3}, "speed": {"3": 20},
        "passes": {"1": 2}})",
                                          &s, &error))
        << error;
    r = import_ok(svg(body), "d.svg", s);
    ASSERT_EQ(r.summary.pens.size(), 2u);
    EXPECT_EQ(r.summary.pens[0].pen, 1);  // blue
    EXPECT_EQ(r.summary.pens[0].passes, 2);
    EXPECT_EQ(r.summary.pens[1].pen, 3);  // red
    const std::vector<JobEntry> e = job_entries(r.job);
    EXPECT_EQ(count_keyword(e, "pd_default"), 4);  // blue twice, red's two once
    EXPECT_DOUBLE_EQ(r.summary.cut_mm, 40);
    EXPECT_EQ(e[1].values[2], r.summary.pens[1].speed_code);
}

TEST(DesignPens, SpeedsBecomeTheMachinesCodes)
{
    // Codes are per mille of the top Y speed (40 in/s, 1016 mm/s) ...
    DesignSettings s;
    s.speed_mm_s[1] = 20;
    DesignImport r = import_ok(square_plt, "sq.plt", s);
    EXPECT_EQ(r.summary.pens[0].speed_code, 20);
    EXPECT_NEAR(r.summary.pens[0].speed_mm_s, 20.317, 1e-3);
    // ... below 10 mm/s codes 1..10 set their own top speeds ...
    s.speed_mm_s[1] = 5;
    r = import_ok(square_plt, "sq.plt", s);
    EXPECT_EQ(r.summary.pens[0].speed_code, 5);
    // ... and that top speed stays for the pens selected after them.
    s = {};
    s.speed_code[1] = 9;  // 38 in/s
    s.speed_mm_s[2] = 100;
    r = import_ok("IN;SP1;PD0,0,10,0;PU;SP2;PD0,10,10,10;PU;", "p.plt", s);
    ASSERT_EQ(r.summary.pens.size(), 2u);
    EXPECT_EQ(r.summary.pens[1].speed_code, 104);  // 115824 x 104 / 1000 units/s
    EXPECT_NEAR(r.summary.pens[1].speed_mm_s, 12045 / 120.0, 1e-9);
}

TEST(DesignOrder, TravelShortensAndInsideCutsHolesFirst)
{
    // Three squares far apart in a bad document order, and a hole drawn
    // after the part that holds it.
    const std::string body = "<g stroke=\"black\" fill=\"none\">"
                             "<rect x=\"0\" y=\"0\" width=\"5\" height=\"5\"/><rect x=\"90\" "
                             "y=\"90\" width=\"5\" height=\"5\"/>"
                             "<rect x=\"5\" y=\"5\" width=\"5\" height=\"5\"/>"
                             "<rect x=\"40\" y=\"40\" width=\"30\" height=\"30\"/><circle "
                             "cx=\"55\" cy=\"55\" r=\"5\"/></g>";
    DesignImport doc = import_ok(svg(body));
    DesignSettings s;
    s.order = CutOrder::travel;
    DesignImport travel = import_ok(svg(body), "d.svg", s);
    EXPECT_LT(travel.summary.travel_mm, doc.summary.travel_mm - 100);
    EXPECT_NEAR(travel.summary.travel_document_mm, doc.summary.travel_mm, 1e-9);
    EXPECT_EQ(pen_down_sum(job_entries(travel.job)), pen_down_sum(job_entries(doc.job)));

    s.order = CutOrder::inside;
    const DesignImport inside = import_ok(svg(body), "d.svg", s);
    // The circle (many short moves) comes before the 30 mm square's sides.
    const std::vector<JobEntry> e = job_entries(inside.job);
    int circle_at = -1, big_side_at = -1;
    for (std::size_t i = 0; i < e.size(); ++i) {
        if (e[i].keyword == "pd_default" && std::abs(e[i].values[0]) == 1200 && big_side_at < 0) {
            big_side_at = static_cast<int>(i);
        }
        if (e[i].keyword == "pd_default" && e[i].values[0] != 0 && e[i].values[1] != 0 &&
            circle_at < 0) {
            circle_at = static_cast<int>(i);
        }
    }
    EXPECT_LT(circle_at, big_side_at);
}

TEST(DesignOrder, InsideKeepsADocumentOrderThatCutsHolesFirstAndTravelsLess)
{
    // Dots on a line: nearest-first from 0 goes to 10, 30, then back to
    // -12 (72 units); the document's -12, 10, 30 travels 54 and has no
    // contour to cut last.
    using design::CutPiece;
    const auto dot = [](std::int32_t x) { return CutPiece{{{x, 0}, {x, 0}}, false, 1}; };
    const std::vector<CutPiece> pieces = {dot(-12), dot(10), dot(30)};
    for (const CutOrder order : {CutOrder::travel, CutOrder::inside}) {
        std::string warning;
        const auto steps = design::order_pieces(pieces, {0, 1, 2}, {0, 0}, order, &warning);
        ASSERT_EQ(steps.size(), 3u);
        EXPECT_EQ(design::travel_length(pieces, steps, {0, 0}), 54.0);
        EXPECT_TRUE(warning.empty());
    }
}

TEST(DesignSvg, WhatIsCutAndHowBig)
{
    const std::string body =
        "<defs><path id=\"p\" d=\"M0 0 H10\" stroke=\"black\"/></defs>"
        "<g transform=\"translate(10 10)\"><g transform=\"scale(2)\"><use href=\"#p\" "
        "y=\"5\"/></g></g>"
        "<rect x=\"0\" y=\"0\" width=\"20\" height=\"10\" rx=\"5\" stroke=\"black\" fill=\"none\"/>"
        "<path d=\"M50 50 h10\" stroke=\"none\" fill=\"none\"/>"
        "<path d=\"M50 50 h10\" stroke=\"red\" style=\"display:none\"/>"
        "<g visibility=\"hidden\"><path d=\"M50 50 h10\" stroke=\"red\"/>"
        "<path d=\"M60 60 h7\" stroke=\"red\" visibility=\"visible\"/></g>"
        "<clipPath id=\"c\"><rect width=\"99\" height=\"99\"/></clipPath>"
        "<style>.k { stroke: green; fill: none } #hide { display: none }</style>"
        "<path class=\"k\" d=\"M0 80 a 5 5 0 0 0 10 0\"/><path id=\"hide\" d=\"M0 0 h99\"/>"
        "<text id=\"t1\" x=\"1\" y=\"1\">hi</text>";
    const DesignImport r = import_ok(svg(body));
    // The use (20 mm), the rounded rect (2 x 10 straight + a 5 mm circle),
    // the 7 mm path made visible again and the half circle of radius 5.
    const double want = 20 + 20 + 2 * M_PI * 5 + 7 + M_PI * 5;
    EXPECT_NEAR(r.summary.cut_mm, want, want * 0.002);
    EXPECT_EQ(r.summary.subpaths, 4);
    ASSERT_EQ(r.summary.warnings.size(), 1u);
    EXPECT_EQ(r.summary.warnings[0],
              "text is not cut (convert it to paths): <text id=\"t1\"> (line 1)");
}

TEST(DesignSvg, UnitsViewBoxesAndArcs)
{
    // 2 inches wide over a viewBox of 50: one user unit is 1.016 mm.
    DesignImport r = import_ok(svg("<path d=\"M0 0 L50 0 L50 25\" stroke=\"black\"/>",
                                   "width=\"2in\" height=\"1in\" viewBox=\"0 0 50 25\""));
    EXPECT_DOUBLE_EQ(r.summary.width_mm, 50.8);
    EXPECT_DOUBLE_EQ(r.summary.height_mm, 25.4);
    // An arc whose radii are too small is scaled up to a half circle; a
    // zero radius draws a line; equal end points draw nothing.
    r = import_ok(svg("<path d=\"M0 0 A1 1 0 0 1 20 0 M0 30 a0 5 0 0 1 10 0 M5 5 A3 3 0 0 1 5 5\" "
                      "stroke=\"black\"/>"));
    EXPECT_NEAR(r.summary.cut_mm, M_PI * 10 + 10, 0.04);
    // Rotation and skew.
    r = import_ok(
        svg("<path transform=\"rotate(90 10 10) skewX(45)\" d=\"M0 0 h10\" stroke=\"black\"/>"));
    EXPECT_NEAR(r.summary.cut_mm, 10, 1e-9);
    EXPECT_NEAR(r.summary.height_mm, 10, 1e-9);
}

std::string dxf(const std::string& header, const std::string& blocks, const std::string& entities)
{
    return "0\nSECTION\n2\nHEADER\n" + header + "0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n" + blocks +
           "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

TEST(DesignDxf, UnitsBlocksBulgesAndWhatIsLeftOut)
{
    const std::string block =
        "0\nBLOCK\n2\nTick\n10\n0\n20\n0\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n0\nENDBLK\n";
    const std::string entities =
        // A half circle by bulge 1, from (0,0) to (2,0): length pi.
        "0\nLWPOLYLINE\n8\nCut\n90\n2\n70\n0\n10\n0\n20\n0\n42\n1\n10\n2\n20\n0\n"
        // The block twice as long, turned a quarter, on layer Score.
        "0\nINSERT\n8\nScore\n2\nTick\n10\n5\n20\n5\n41\n2\n42\n2\n50\n90\n"
        "0\nTEXT\n8\n0\n1\nhi\n0\nMTEXT\n8\n0\n0\nTEXT\n8\n0\n";
    const DesignImport r = import_ok(dxf("9\n$INSUNITS\n70\n1\n", block, entities), "d.dxf");
    EXPECT_NEAR(r.summary.cut_mm, (M_PI + 2) * 25.4, 0.05);
    ASSERT_EQ(r.summary.pens.size(), 2u);
    EXPECT_EQ(r.summary.pens[1].sources, std::vector<std::string>{"Score"});
    EXPECT_EQ(r.summary.warnings, (std::vector<std::string>{"1 MTEXT entity is not cut",
                                                            "2 TEXT entities are not cut"}));
    // The inserted tick stands upright: 2 inches tall, no width.
    const std::string alone = dxf("", block, "0\nINSERT\n2\nTick\n10\n5\n20\n5\n41\n2\n50\n90\n");
    const DesignImport t = import_ok(alone, "t.dxf");
    EXPECT_NEAR(t.summary.height_mm, 2, 1e-9);
    EXPECT_NEAR(t.summary.width_mm, 0, 1e-9);
}

TEST(DesignDxf, ABlockThatInsertsItselfIsAnError)
{
    const std::string blocks =
        "0\nBLOCK\n2\nA\n0\nINSERT\n2\nB\n0\nENDBLK\n"
        "0\nBLOCK\n2\nB\n0\nLINE\n10\n0\n20\n0\n11\n1\n21\n1\n0\nINSERT\n2\nA\n0\nENDBLK\n";
    const DesignImport r = design_import(dxf("", blocks, "0\nINSERT\n2\nA\n"), "loop.dxf", {});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("loop.dxf: block \"A\" inserts itself"), std::string::npos) << r.error;
}

TEST(DesignSettingsText, JsonAndTextAgreeAndBadValuesAreNamed)
{
    DesignSettings a, b;
    std::string error;
    ASSERT_TRUE(design_settings_from_json(R"({"order": "travel", "at": [10, 20], "lpi": 508,
        "keep_blank": true, "speed_code": {"2": 300}, "format": "plt"})",
                                          &a, &error))
        << error;
    for (const auto& [k, v] : {std::pair{"order", "travel"},
                               {"at", "10,20"},
                               {"lpi", "508"},
                               {"keep_blank", "true"},
                               {"speed_code", "2=300"},
                               {"format", "hpgl"}}) {
        ASSERT_TRUE(design_setting_set(&b, k, v, &error)) << error;
    }
    EXPECT_EQ(a.order, b.order);
    EXPECT_EQ(a.at_x_mm, b.at_x_mm);
    EXPECT_EQ(a.at_y_mm, b.at_y_mm);
    EXPECT_EQ(a.lpi, b.lpi);
    EXPECT_EQ(a.keep_blank, b.keep_blank);
    EXPECT_EQ(a.speed_code, b.speed_code);
    EXPECT_EQ(a.format, DesignFormat::hpgl);

    EXPECT_FALSE(design_setting_set(&b, "pen", "red=17", &error));
    EXPECT_EQ(error, "setting \"pen\": pen 17 is not one of the pens 1 to 16");
    EXPECT_FALSE(design_settings_from_json(R"({"colour": 1})", &b, &error));
    EXPECT_EQ(error, "setting \"colour\": no such setting");
    DesignSettings fast;
    fast.speed_mm_s[1] = 2000;
    const DesignImport r = design_import(square_plt, "sq.plt", fast);
    EXPECT_EQ(r.error, "sq.plt: setting \"speed\": pen 1: the machine cuts at 0.5 to 1016 mm/s");
}

}  // namespace
