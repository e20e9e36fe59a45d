// The command line's what-if, sweep, import and threads end to end
// through the built binary.
#include <gtest/gtest.h>

#include <string>

#include "cli_run.h"
#include "xml_check.h"

using namespace cli_test;

TEST(Cli, WhatIfUsageErrorsNameTheProblemAndRunNothing)
{
    CliRun cli;
    cli.write("job.cmd", example_job("raster_job.cmd"));
    cli.write("shop/Vemtrac.cmd", example_job("vector_job.cmd"));
    const std::set<std::string> before = cli.files();
    const std::pair<const char*, const char*> cases[] = {
        {"--report --set Bogus=1 job.cmd", "Bogus"},
        {"--report --set VectorSpeed.0=5 job.cmd", "VectorSpeed.0"},
        {"--report --set VectorSpeed.17=5 job.cmd", "VectorSpeed.17"},
        {"--report --set RasterSpeedX=65536 job.cmd", "RasterSpeedX"},
        {"--report --set VectorSpeed.4=1001 job.cmd",
         "VectorSpeed.4 takes 0 to 1000 (per mille of the maximum speed; the machine goes no "
         "faster past 1000), not 1001"},
        {"--report --sweep RasterSpeedY=900:1100:100 job.cmd", "RasterSpeedY takes 0 to 1000"},
        {"--report --set VectorSpeed.4=100 --sweep VectorSpeed.4=100:900:100 job.cmd",
         "--set and --sweep: VectorSpeed.4 is both set and swept"},
        {"--report --set RasterBuEngrave=256 job.cmd", "RasterBuEngrave"},
        {"--report --set ImageWidth=2147483648 job.cmd", "ImageWidth"},
        {"--report --set RasterSpeedX job.cmd", "KEY=VALUE"},
        {"--report --sweep RasterSpeedX=900:100:10 job.cmd", "FROM <= TO"},
        {"--report --sweep RasterSpeedX=100:900:0 job.cmd", "steps above 0"},
        {"--report --sweep RasterSpeedX=100:900:-1 job.cmd", "steps above 0"},
        {"--report --sweep ImageWidth=0:1001:1 job.cmd", "1001"},
        {"--report --sweep VectorSpeed.2=0:70000:1000 job.cmd", "VectorSpeed.2"},
        {"--report --sweep RasterSpeedX=100:900:100 job.cmd job.cmd", "one JOB"},
        {"--report --sweep RasterSpeedX=100:900:100 --timeline t.csv job.cmd", "timeline"},
        {"--report --fit 1:00:00 job.cmd", "--fit goes with --sweep"},
        {"--report --sweep RasterSpeedX=100:900:100 --fit 1:60:00 job.cmd", "H:MM:SS"},
        {"--report --rate -5 job.cmd", "--rate"},
        {"--report --rate nan job.cmd", "--rate"},
        {"--report --rate 60 --setup x job.cmd", "--setup"},
        {"--report --setup 5 job.cmd", "--setup goes with --rate"},
        {"--set RasterSpeedX=800 shop", "go with --report"},
        {"--rate 60", "go with --report"},
    };
    for (const auto& [args, said] : cases) {
        EXPECT_EQ(cli.run(args), 2) << args;
        EXPECT_EQ(cli.out, "") << args;
        EXPECT_NE(cli.err.find(said), std::string::npos) << args << ": " << cli.err;
        EXPECT_EQ(cli.files(), before) << args;
    }
}

TEST(Cli, SettingsAndCostInTheReport)
{
    CliRun cli;
    const std::string job = example_job("raster_job.cmd");
    cli.write("job.cmd", job);
    std::string edited = job;
    edited.replace(edited.find("RasterSpeedX 1000"), 17, "RasterSpeedX 800");
    cli.write("edited.cmd", edited);
    ASSERT_EQ(cli.run("--report --json edited.cmd"), 0) << cli.err;
    const json by_hand = json::parse(cli.out).at("jobs")[0];
    EXPECT_FALSE(by_hand.contains("overrides"));
    EXPECT_FALSE(by_hand.contains("cost"));

    ASSERT_EQ(cli.run("--report --json --set RasterSpeedX=800 --rate 60 --setup 6 job.cmd"), 0)
        << cli.err;
    const json doc = json::parse(cli.out);
    const json& run = doc.at("jobs")[0];
    EXPECT_EQ(run.at("overrides"), json({{"RasterSpeedX", 800}}));
    EXPECT_EQ(run.at("ticks"), by_hand.at("ticks"));
    const double hours = run.at("run_time_ms").get<double>() / 3600000.0 + 0.1;
    EXPECT_NEAR(run.at("cost").get<double>(), hours * 60, 0.005);
    EXPECT_EQ(doc.at("total").at("cost"), run.at("cost"));

    // The text, the timeline and the picture say which settings ran.
    ASSERT_EQ(cli.run("--report --set RasterSpeedX=800 --rate 60 --timeline t.csv --svg p.svg "
                      "job.cmd job.cmd"), 2);
    ASSERT_EQ(cli.run("--report --set RasterSpeedX=800 --rate 60 --timeline t.csv --svg p.svg "
                      "job.cmd"), 0) << cli.err;
    EXPECT_NE(cli.out.find("  Settings    RasterSpeedX 800 (in place of the job's own)\n"),
              std::string::npos) << cli.out;
    EXPECT_NE(cli.out.find("  Cost        "), std::string::npos);
    const std::string timeline = read_all(cli.dir() / "t.csv");
    EXPECT_EQ(timeline.rfind("entry,keyword,start_ms,end_ms\n", 0), 0u);
    EXPECT_NE(timeline.find("\n# run with RasterSpeedX 800 in place of the job's own\n"),
              std::string::npos);
    const std::string picture = read_all(cli.dir() / "p.svg");
    EXPECT_TRUE(xml_check::well_formed(picture));
    EXPECT_NE(picture.find("at RasterSpeedX 800"), std::string::npos);
}

TEST(Cli, SweepTableJsonAndChart)
{
    CliRun cli;
    cli.write("job.cmd", example_job("raster_job.cmd"));
    const std::string sweep = "--report --sweep RasterSpeedX=600:1000:200 --fit 0:00:47 ";
    ASSERT_EQ(cli.run(sweep + "--json --rate 60 job.cmd"), 0) << cli.err;
    const json s = json::parse(cli.out).at("sweep");
    EXPECT_EQ(s.at("key"), "RasterSpeedX");
    EXPECT_EQ(s.at("as_written").at("value"), 1000);
    EXPECT_EQ(s.at("as_written").at("run_time_ms"), 47747);
    ASSERT_EQ(s.at("points").size(), 3u);
    for (const json& p : s.at("points")) {
        EXPECT_EQ(p.at("fits"), p.at("run_time_ms").get<int>() <= 47000);
        EXPECT_EQ(p.at("run_time_ms"), p.at("ticks").get<int>() * 2 / 5);
        EXPECT_TRUE(p.contains("cost"));
    }
    EXPECT_EQ(s.at("points")[2].at("ticks"), s.at("as_written").at("ticks"));

    ASSERT_EQ(cli.run(sweep + "--svg chart.svg job.cmd"), 0) << cli.err;
    EXPECT_NE(cli.out.find("* the job's own value"), std::string::npos) << cli.out;
    EXPECT_NE(cli.out.find("fits 0:00:47"), std::string::npos) << cli.out;
    const std::string chart = read_all(cli.dir() / "chart.svg");
    EXPECT_TRUE(xml_check::well_formed(chart));
    EXPECT_EQ(count_of(chart, "class=\"point\""), 3u);
    EXPECT_NE(chart.find("as written: 1000"), std::string::npos);
    // A chart never replaces a job; a job cut short or unreadable says so.
    EXPECT_EQ(cli.run(sweep + "--svg job.cmd job.cmd"), 2);
    cli.write("short.cmd", pens_images_cut_short());
    EXPECT_EQ(cli.run("--report --sweep VectorSpeed.1=100:300:100 short.cmd"), 3);
    EXPECT_EQ(cli.run("--report --sweep VectorSpeed.1=100:300:100 missing.cmd"), 1);
}

// A design's job: import writes it, never over a file it must spare, and
// --report estimates the design as that very job.
TEST(Cli, ImportWritesTheJobTheReportEstimates)
{
    CliRun cli;
    const std::string svg = read_all(fs::path(VEMTRAC_EXAMPLES_DIR) / "design_tag.svg");
    cli.write("tag.svg", svg);
    cli.write("notes.txt", "keep me\n");
    ASSERT_EQ(cli.run("import tag.svg -o tag.cmd --speed 1=20 --passes 2=2"), 0) << cli.err;
    EXPECT_NE(cli.out.find("asked 20.0 mm/s"), std::string::npos) << cli.out;
    const std::string job = read_all(cli.dir() / "tag.cmd");
    EXPECT_EQ(job.rfind("VemtracCmdVer 1\n", 0), 0u);
    const std::set<std::string> before = cli.files();
    for (const char* args :
         {"import tag.svg -o tag.cmd --force", "import tag.svg -o tag.svg --force",
          "import tag.svg -o notes.txt", "import tag.svg", "import -o x.cmd",
          "import tag.svg -o x.cmd --speed 1=fast", "--report --lpi 0 tag.svg",
          "import tag.svg -o x.cmd --set VectorSpeed.1=5", "--pen red=1 tag.cmd"}) {
        EXPECT_EQ(cli.run(args), 2) << args;
        EXPECT_EQ(cli.files(), before) << args;
    }
    EXPECT_EQ(read_all(cli.dir() / "tag.cmd"), job);
    EXPECT_EQ(read_all(cli.dir() / "tag.svg"), svg);
    EXPECT_EQ(cli.run("import tag.cmd -o again.cmd"), 1);
    ASSERT_EQ(cli.run("import tag.svg -o notes.txt --force --json --order travel"), 0) << cli.err;
    EXPECT_EQ(json::parse(cli.out).at("order"), "travel");

    // The design estimated directly gives the written job's figures.
    ASSERT_EQ(cli.run("--report --json tag.cmd"), 0) << cli.err;
    json from_job = json::parse(cli.out).at("jobs")[0];
    ASSERT_EQ(cli.run("--report --json --speed 1=20 --passes 2=2 tag.svg"), 0) << cli.err;
    json from_design = json::parse(cli.out).at("jobs")[0];
    const json pass = from_design.at("pass_times").at(0);
    from_job.erase("job");
    from_design.erase("job");
    from_design.erase("pass_times");
    EXPECT_EQ(from_job, from_design);
    ASSERT_EQ(cli.run("--report --sweep VectorSpeed.1=100:200:100 --json tag.svg"), 0) << cli.err;

    // The time pen 2's second pass adds is the estimate less that of one pass.
    ASSERT_EQ(cli.run("--report --json --speed 1=20 tag.svg"), 0) << cli.err;
    const json once = json::parse(cli.out).at("jobs")[0];
    EXPECT_EQ(once.at("pass_times"), json::array());
    EXPECT_EQ(pass.at("pen"), 2);
    EXPECT_EQ(pass.at("ms").get<std::int64_t>(), from_job.at("run_time_ms").get<std::int64_t>() -
                                                     once.at("run_time_ms").get<std::int64_t>());
    EXPECT_EQ(pass.at("ticks").get<std::int64_t>(),
              from_job.at("ticks").get<std::int64_t>() - once.at("ticks").get<std::int64_t>());
    ASSERT_EQ(cli.run("--report --speed 1=20 --passes 2=2 tag.svg"), 0) << cli.err;
    EXPECT_NE(cli.out.find("  Passes      pen 2: 2 passes of 334.3 mm, one pass adds 0:00:0"),
              std::string::npos)
        << cli.out;

    // Import warnings join the report's; a broken design is named and skipped.
    cli.write("bracket.dxf", read_all(fs::path(VEMTRAC_EXAMPLES_DIR) / "design_bracket.dxf"));
    cli.write("broken.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
    ASSERT_EQ(cli.run("--report --json bracket.dxf broken.png"), 1);
    const json doc = json::parse(cli.out);
    EXPECT_EQ(doc.at("jobs")[0].at("warnings")[0].at("kind"), "design_import");
    EXPECT_EQ(doc.at("jobs")[1].at("reason").get<std::string>().rfind("broken.png: ", 0), 0u);
}

// Jobs and a sweep's runs on several threads: the output is byte for byte
// that of one thread, in the order given, whichever job ends first.
TEST(Cli, ThreadsGiveTheOutputOfOneThread)
{
    CliRun cli;
    cli.write("short.cmd", pens_images_cut_short());
    cli.write("photo.pdf", "%PDF-1.4\n%binary\n");
    cli.write("tag.svg", read_all(fs::path(VEMTRAC_EXAMPLES_DIR) / "design_tag.svg"));
    const std::string jobs = std::string(" short.cmd missing.cmd photo.pdf tag.svg ") +
                             VEMTRAC_EXAMPLES_DIR "/raster_job.cmd " VEMTRAC_EXAMPLES_DIR
                             "/vector_job.cmd " VEMTRAC_EXAMPLES_DIR "/mixed_job.cmd";
    for (const std::string& form :
         {"--report" + jobs, "--report --json --rate 60" + jobs,
          std::string("--report --sweep RasterSpeedX=200:1000:100 --fit 0:00:47 ") +
              VEMTRAC_EXAMPLES_DIR "/raster_job.cmd"}) {
        const int one = cli.run(form + " --threads 1");
        const std::string out = cli.out;
        const std::string err = cli.err;
        EXPECT_EQ(cli.run(form + " --threads 3"), one) << form;
        EXPECT_EQ(cli.out, out) << form;
        EXPECT_EQ(cli.err, err) << form;
        EXPECT_EQ(cli.run(form), one) << form;  // one thread per hardware thread
        EXPECT_EQ(cli.out, out) << form;
    }
    EXPECT_EQ(cli.run("--report --threads 0 short.cmd"), 2);
    EXPECT_EQ(cli.run("--threads 2 ."), 2);
    EXPECT_NE(cli.err.find("--threads goes with --report"), std::string::npos) << cli.err;
}
