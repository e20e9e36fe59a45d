// The command line end to end through the built binary: every argument
// form, the report's figures against the estimate, the timeline, the
// picture and the usage errors.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cli_run.h"
#include "report/report_text.h"
#include "xml_check.h"

using namespace cli_test;


TEST(Cli, HelpVersionAndFolderForms)
{
    CliRun cli;
    EXPECT_EQ(cli.run("--help"), 0);
    for (const char* part :
         {"Vemtrac.cmd", "Vemtrac.sts", "--report", "--json", "--timeline", "--svg",
          "--replay fast|full|literal", "position loop", "VEMTRAC_DEBUG"}) {
        EXPECT_NE(cli.out.find(part), std::string::npos) << part;
    }
    EXPECT_EQ(cli.run("-h"), 0);
    EXPECT_EQ(cli.run("--version"), 0);
    EXPECT_EQ(cli.out, "vemtrac 1.0.0\nOrvane 03.09-04\n");

    // A folder in place of the executable's: its job, its status file.
    cli.write("shop/Vemtrac.cmd", example_job("vector_job.cmd"));
    EXPECT_EQ(cli.run("shop"), 0);
    const auto lines = status_lines(read_all(cli.dir() / "shop/Vemtrac.sts"));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "57809");
    EXPECT_NE(cli.out.find("Job Run Time: 0:57\n\r"), std::string::npos);
    EXPECT_EQ(cli.run("--replay full shop", "VEMTRAC_DEBUG=ShowJobTime"), 0);
    EXPECT_EQ(status_lines(read_all(cli.dir() / "shop/Vemtrac.sts"))[2], "57809");
    EXPECT_NE(cli.out.find("SLEW:"), std::string::npos);
}

TEST(Cli, UsageErrorsTouchNoFile)
{
    CliRun cli;
    cli.write("job.cmd", example_job("vector_job.cmd"));
    cli.write("shop/Vemtrac.cmd", "VemtracCmdVer 1\n");
    const std::set<std::string> before = cli.files();
    for (const char* args :
         {"--bogus", "-x shop", "--report", "--report --timeline", "--report --svg",
          "--report --timeline t.csv job.cmd shop", "--report --svg p.svg job.cmd job.cmd",
          "--json shop", "--timeline t.csv shop", "shop shop", "job.cmd", "no_such_folder",
          "--replay slow shop", "--report --replay job.cmd"}) {
        EXPECT_EQ(cli.run(args), 2) << args;
        EXPECT_EQ(cli.out, "") << args;
        EXPECT_NE(cli.err.find("usage: vemtrac"), std::string::npos) << args;
        EXPECT_EQ(cli.files(), before) << args;
    }
}

TEST(Cli, ReportFiguresAddUpToTheEstimate)
{
    CliRun cli;
    cli.write("vector_job.cmd", example_job("vector_job.cmd"));
    cli.write("raster_job.cmd", example_job("raster_job.cmd"));
    cli.write("mixed/Vemtrac.cmd", example_job("mixed_job.cmd"));
    cli.write("short.cmd", pens_images_cut_short());
    const std::string jobs = " vector_job.cmd raster_job.cmd mixed short.cmd";
    ASSERT_EQ(cli.run("--report --json" + jobs), 3) << cli.err;  // short.cmd is cut short
    const json doc = json::parse(cli.out);
    EXPECT_EQ(doc.at("version"), "1.0.0");
    const json& out = doc.at("jobs");
    ASSERT_EQ(out.size(), 4u);
    for (const json& job : out) {
        EXPECT_EQ(job.at("result"), "ok");
        expect_sums(job);
    }
    EXPECT_EQ(out[0].at("run_time_ms"), 57809);
    EXPECT_EQ(out[0].at("run_time"), "0:00:57");
    EXPECT_EQ(out[0].at("stopped_at"), nullptr);
    EXPECT_EQ(out[1].at("run_time_ms"), 47747);
    EXPECT_EQ(out[1].at("raster_lines"), 300);
    EXPECT_EQ(out[2].at("run_time_ms"), 91696);
    EXPECT_EQ(doc.at("total").at("run_time_ms"), 57809 + 47747 + 91696 +
                                                     out[3].at("run_time_ms").get<int>());

    const json& cut_short = out[3];
    EXPECT_FALSE(cut_short.at("complete"));
    EXPECT_EQ(cut_short.at("stopped_at").at("keyword"), "bogus");
    EXPECT_EQ(cut_short.at("raster_lines"), 40);
    std::set<std::string> kinds;
    for (const json& a : cut_short.at("activities")) {
        kinds.insert(a.at("kind").get<std::string>() +
                     std::to_string(a.value("pen", 0) + 100 * a.value("image", 0)));
    }
    for (const char* k : {"cut1", "cut2", "cut3", "raster_pass100", "raster_pass200",
                          "raster_line_step100", "raster_line_step200"}) {
        EXPECT_EQ(kinds.count(k), 1u) << k;
    }
    // No status file beside a job folder's Vemtrac.cmd; the same figures
    // from the full replay.
    EXPECT_FALSE(fs::exists(cli.dir() / "mixed/Vemtrac.sts"));
    const std::string fast = cli.out;
    ASSERT_EQ(cli.run("--report --json --replay full" + jobs), 3);
    EXPECT_EQ(cli.out, fast);
    ASSERT_EQ(cli.run("--report --json --replay literal" + jobs), 3);
    EXPECT_EQ(cli.out, fast);
}

TEST(Cli, UnreadableJobIsReportedAndTheOthersRun)
{
    CliRun cli;
    cli.write("a.cmd", "VemtracCmdVer 1\nexecute_penselect 1\npd_default 1016 0\n");
    cli.write("refused.cmd", "VemtracCmdVer 2\n");
    cli.write("photo.pdf", "%PDF-1.4\n%binary\n");
    fs::create_directory(cli.dir() / "empty_folder");
    EXPECT_EQ(cli.run("--report a.cmd missing.cmd empty_folder refused.cmd photo.pdf"), 1);
    EXPECT_NE(cli.out.find("missing.cmd\n  Unreadable"), std::string::npos) << cli.out;
    EXPECT_NE(cli.out.find("empty_folder\n  Unreadable"), std::string::npos) << cli.out;
    EXPECT_NE(cli.out.find("refused.cmd\n  Estimate    none"), std::string::npos) << cli.out;
    // A file that is no job file is said to be one, never estimated at 0:00:00.
    EXPECT_NE(cli.out.find("photo.pdf\n  Unreadable  not a job file: it looks like a PDF document. "
                           "vemtrac reads job files"), std::string::npos) << cli.out;
    EXPECT_NE(cli.err.find("vemtrac: photo.pdf is not a job file: it looks like a PDF document"),
              std::string::npos) << cli.err;
    EXPECT_NE(cli.out.find("Total of 1 of 5 jobs (4 could not be estimated)\n"), std::string::npos)
        << cli.out;
    EXPECT_EQ(cli.run("--report --sweep VectorSpeed.1=100:200:100 photo.pdf"), 1);
    EXPECT_NE(cli.out.find("  Unreadable  not a job file"), std::string::npos) << cli.out;
    EXPECT_EQ(total_heading(2, 2), "Total of 2 jobs");
    EXPECT_EQ(total_heading(2, 1), "Total of 1 of 2 jobs (1 could not be estimated)");
    EXPECT_EQ(total_heading(1, 1), "Total of 1 job");
    EXPECT_EQ(cli.out.find("Start job"), std::string::npos);  // the console stays out

    ASSERT_EQ(cli.run("--report --json missing.cmd refused.cmd photo.pdf a.cmd"), 1);
    const json doc = json::parse(cli.out);
    EXPECT_EQ(doc.at("jobs")[0].at("result"), "unreadable");
    EXPECT_EQ(doc.at("jobs")[2].at("result"), "unreadable");
    EXPECT_EQ(doc.at("jobs")[2].at("reason").get<std::string>().rfind("not a job file: it looks "
                                                                      "like a PDF document",
                                                                      0),
              0u);
    EXPECT_EQ(doc.at("total").at("jobs"), 4);
    EXPECT_EQ(doc.at("total").at("estimated"), 1);
    EXPECT_EQ(doc.at("jobs")[1].at("result"), "refused");
    EXPECT_EQ(doc.at("jobs")[1].at("run_time_ms"), nullptr);
    EXPECT_EQ(cli.run("--report a.cmd"), 0);

    // A job named by bytes that are not UTF-8 still gives valid JSON.
    cli.write("\xFF.cmd", example_job("vector_job.cmd"));
    ASSERT_EQ(cli.run("--report --json \"$(printf '\\377').cmd\""), 0) << cli.err;
    EXPECT_EQ(json::parse(cli.out).at("jobs")[0].at("job"), "\xEF\xBF\xBD.cmd");
}

TEST(Cli, TimelineEndsAtTheEstimate)
{
    for (const char* name : {"mixed_job.cmd", "raster_job.cmd"}) {
        CliRun cli;
        cli.write("job.cmd", example_job(name));
        ASSERT_EQ(cli.run("--report --json --timeline t.csv job.cmd"), 0) << cli.err;
        const auto estimate = json::parse(cli.out).at("jobs")[0].at("run_time_ms").get<long>();
        std::istringstream csv(read_all(cli.dir() / "t.csv"));
        std::string line;
        std::getline(csv, line);
        EXPECT_EQ(line, "entry,keyword,start_ms,end_ms");
        long last_entry = 0, last_end = 0, largest_end = 0;
        while (std::getline(csv, line)) {
            long entry = 0, start = 0, end = 0;
            char keyword[64] = {};
            ASSERT_EQ(std::sscanf(line.c_str(), "%ld,%63[^,],%ld,%ld", &entry, keyword, &start,
                                  &end), 4) << line;
            EXPECT_GT(entry, last_entry) << line;
            EXPECT_LE(start, end) << line;
            EXPECT_GE(start, last_end) << line;  // entries run one after the other
            last_entry = entry;
            last_end = end;
            largest_end = std::max(largest_end, end);
        }
        EXPECT_EQ(largest_end, estimate) << name;
    }
}

TEST(Cli, PictureIsWellFormedAndHoldsTheJob)
{
    CliRun cli;
    cli.write("job.cmd", pens_images_cut_short());
    ASSERT_EQ(cli.run("--report --svg p.svg job.cmd"), 3) << cli.err;  // cut short
    const std::string svg = read_all(cli.dir() / "p.svg");
    EXPECT_TRUE(xml_check::well_formed(svg));
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
    EXPECT_EQ(count_of(svg, "class=\"raster_band\""), 2u);
    EXPECT_GE(count_of(svg, "class=\"cut\""), 3u);
    EXPECT_NE(svg.find("class=\"travel\""), std::string::npos);
    EXPECT_NE(svg.find("stroke-dasharray"), std::string::npos);
    // One bar segment per activity: three pens, travel, two images' passes
    // and line steps, the carriage.
    EXPECT_EQ(count_of(svg, "class=\"segment\""), 9u);
    EXPECT_NE(svg.find("cutting, pen 3"), std::string::npos);
}

TEST(Cli, AnyNameAnyByteGivesValidOutputs)
{
    CliRun cli;
    // Not UTF-8, a terminal escape, a line break: none may reach the output raw.
    const std::string name = "bad\xff\x1b[31m\nname.cmd";
    cli.write(name, "VemtracCmdVer 1\nexecute_penselect 1\npd_default 1016 0\n");
    const std::string quoted = "\"$(printf 'bad\\377\\033[31m\\nname.cmd')\"";
    ASSERT_EQ(cli.run("--report --json " + quoted), 0) << cli.err;
    const json doc = json::parse(cli.out);  // throws on invalid UTF-8
    EXPECT_EQ(doc.at("jobs")[0].at("result"), "ok");
    ASSERT_EQ(cli.run("--report --svg p.svg " + quoted), 0) << cli.err;
    EXPECT_NE(cli.out.find("bad\\xFF\\x1B[31m\\x0Aname.cmd\n  Estimate"), std::string::npos)
        << cli.out;
    const std::string svg = read_all(cli.dir() / "p.svg");
    EXPECT_TRUE(xml_check::well_formed(svg));
    EXPECT_NE(svg.find("bad\\xFF\\x1B[31m\\x0Aname.cmd"), std::string::npos);
    EXPECT_EQ(cli.run("--report --json " + quoted + " \"$(printf 'missing<>&\\047\\376')\""), 1);
    EXPECT_TRUE(json::accept(cli.out));

    // A NUL in a keyword is shown, not taken as its end; messages about two
    // jobs of one name tell them apart, with the line beside the entry.
    cli.write("a/job.cmd", "VemtracCmdVer 1\n");
    cli.write("b/job.cmd",
              std::string("VemtracCmdVer 1\n\nexecute_penselect 1 pd\0default 100 0\n", 54));
    EXPECT_EQ(cli.run("--report a/job.cmd b/job.cmd"), 3);
    EXPECT_NE(cli.err.find("vemtrac: b/job.cmd line 3, entry 3 \"pd\\x00default\": unknown"),
              std::string::npos) << cli.err;
    EXPECT_NE(cli.out.find("at line 3, entry 3 \"pd\\x00default\""), std::string::npos) << cli.out;

    // Unknown replay and trace names are said, with the known ones.
    EXPECT_EQ(
        cli.run("--report a/job.cmd", "VEMTRAC_REPLAY=slow VEMTRAC_DEBUG=\"$(printf 'No\\033')\""),
        0);
    EXPECT_NE(cli.err.find("VEMTRAC_REPLAY value \"slow\" (the values are full, fast and literal)"),
              std::string::npos) << cli.err;
    EXPECT_NE(cli.err.find("unknown debug category \"No\\x1B\"; the categories are:"),
              std::string::npos) << cli.err;
    EXPECT_NE(cli.err.find(" ShowJobTime "), std::string::npos);
}

TEST(Cli, OutputsNeverReplaceAJobOrEachOther)
{
    CliRun cli;
    const std::string job = example_job("vector_job.cmd");
    cli.write("a.cmd", job);
    cli.write("b.cmd", job);
    cli.write("shop/Vemtrac.cmd", job);
    cli.write("notes.txt", "keep me\n");
    const std::set<std::string> before = cli.files();
    for (const char* args :
         {"--report --svg a.cmd b.cmd", "--report --svg= a.cmd b.cmd", "--report --svg a.cmd a.cmd",
          "--report --timeline a.cmd a.cmd", "--report --timeline ./a.cmd a.cmd",
          "--report --svg shop/Vemtrac.cmd shop", "--report --svg x.svg --timeline ./x.svg a.cmd",
          "--report --svg '' a.cmd", "--report --svg notes.txt a.cmd",
          "--report --timeline notes.txt a.cmd", "--report --svg shop a.cmd"}) {
        EXPECT_EQ(cli.run(args), 2) << args;
        EXPECT_EQ(cli.out, "") << args;
        EXPECT_EQ(cli.files(), before) << args;
        EXPECT_EQ(read_all(cli.dir() / "a.cmd"), job) << args;
    }
    ASSERT_EQ(cli.run("--report --svg notes.txt a.cmd"), 2);
    EXPECT_NE(cli.err.find("notes.txt exists and is not a picture written by vemtrac; to replace "
                           "it, add --force"), std::string::npos) << cli.err;

    // An earlier output of the same kind, or any file with --force, is replaced.
    ASSERT_EQ(cli.run("--report --svg p.svg --timeline t.csv a.cmd"), 0) << cli.err;
    ASSERT_EQ(cli.run("--report --svg p.svg --timeline t.csv a.cmd"), 0) << cli.err;
    EXPECT_EQ(cli.run("--report --svg t.csv a.cmd"), 2);
    ASSERT_EQ(cli.run("--report --force --svg notes.txt a.cmd"), 0) << cli.err;
    EXPECT_EQ(read_all(cli.dir() / "notes.txt").rfind("<?xml", 0), 0u);
    EXPECT_EQ(cli.run("--report --force --svg a.cmd a.cmd"), 2);  // never a job
    EXPECT_EQ(read_all(cli.dir() / "a.cmd"), job);
    // Nor a job file that is not one of the run's, whatever its name, and
    // the message does not invite --force.
    cli.write("job_copy", job);
    for (const char* args :
         {"--report --force --svg job_copy a.cmd", "--report --force --timeline b.cmd a.cmd",
          "--report --sweep VectorSpeed.1=100:200:100 --force --svg b.cmd a.cmd"}) {
        EXPECT_EQ(cli.run(args), 2) << args;
        EXPECT_NE(cli.err.find("is a job file (it starts with a job file's keyword): no output "
                               "ever replaces one, not even with --force"), std::string::npos)
            << cli.err;
    }
    EXPECT_EQ(read_all(cli.dir() / "job_copy"), job);
    EXPECT_EQ(read_all(cli.dir() / "b.cmd"), job);
    // A name that says another kind of file.
    EXPECT_EQ(cli.run("--report --svg out.png a.cmd"), 2);
    EXPECT_NE(cli.err.find("out.png is named as a .png file; name it *.svg"), std::string::npos);
    EXPECT_FALSE(fs::exists(cli.dir() / "out.png"));
    // The machine's own form neither writes nor removes a status file that
    // is a job file.
    cli.write("shop/Vemtrac.sts", job);
    EXPECT_EQ(cli.run("shop"), 0);
    EXPECT_NE(cli.err.find("cannot create shop/Vemtrac.sts: it is a job file"), std::string::npos)
        << cli.err;
    fs::remove(cli.dir() / "shop/Vemtrac.cmd");
    EXPECT_EQ(cli.run("shop"), 0);
    EXPECT_EQ(read_all(cli.dir() / "shop/Vemtrac.sts"), job);
}

TEST(Cli, DashWritesAnOutputToStandardOutput)
{
    CliRun cli;
    cli.write("a.cmd", example_job("vector_job.cmd"));
    const std::set<std::string> before = cli.files();
    ASSERT_EQ(cli.run("--report --svg - a.cmd"), 0) << cli.err;
    EXPECT_EQ(cli.out.rfind("<?xml", 0), 0u);
    EXPECT_TRUE(xml_check::well_formed(cli.out));
    EXPECT_NE(cli.err.find("a.cmd\n  Estimate    0:00:57"), std::string::npos) << cli.err;
    ASSERT_EQ(cli.run("--report --json --timeline - a.cmd"), 0) << cli.err;
    EXPECT_EQ(cli.out.rfind("entry,keyword,start_ms,end_ms\n4,pu_default,0,", 0), 0u) << cli.out;
    EXPECT_EQ(json::parse(cli.err).at("jobs")[0].at("run_time_ms"), 57809);
    ASSERT_EQ(cli.run("--report --sweep VectorSpeed.4=100:200:100 --svg - a.cmd"), 0) << cli.err;
    EXPECT_EQ(cli.out.rfind("<?xml", 0), 0u);
    EXPECT_NE(cli.err.find("Sweep       VectorSpeed.4, 2 values"), std::string::npos) << cli.err;
    EXPECT_EQ(cli.run("--report --svg - --timeline - a.cmd"), 2);
    EXPECT_EQ(cli.files(), before);  // no file named "-"
    EXPECT_EQ(cli.run("--report --svg - a.cmd", "", "/dev/full"), 4);
    EXPECT_NE(cli.err.find("cannot write standard output: No space left on device"),
              std::string::npos) << cli.err;
}

TEST(Cli, EveryWriteIsChecked)
{
    CliRun cli;
    cli.write("a.cmd", "VemtracCmdVer 1\nexecute_penselect 1\npd_default 1016 0\n");
    const std::set<std::string> before = cli.files();
    // A folder that does not exist is said before the job runs.
    EXPECT_EQ(cli.run("--report --svg no/p.svg a.cmd"), 4);
    EXPECT_NE(cli.err.find("cannot write no/p.svg: No such file or directory"), std::string::npos);
    EXPECT_EQ(cli.out, "");
    EXPECT_EQ(cli.run("--report --json a.cmd", "", "/dev/full"), 4);
    EXPECT_NE(cli.err.find("cannot write the report to standard output: No space left on device"),
              std::string::npos) << cli.err;
    for (const char* output : {"--svg", "--timeline"}) {
        EXPECT_EQ(cli.run(std::string("--report ") + output + " /dev/full a.cmd"), 4) << output;
        EXPECT_NE(cli.err.find("cannot write /dev/full: No space left on device"),
                  std::string::npos) << cli.err;
    }
    EXPECT_EQ(cli.files(), before);  // no scratch file left behind

    // The machine's own mode keeps its exit code and says what was lost.
    cli.write("shop/Vemtrac.cmd", "VemtracCmdVer 1\n");
    EXPECT_EQ(cli.run("shop", "", "/dev/full"), 0);
    EXPECT_NE(cli.err.find("cannot write the console to standard output"), std::string::npos);
    EXPECT_EQ(status_lines(read_all(cli.dir() / "shop/Vemtrac.sts")).size(), 5u);
}

TEST(Cli, WhatLooksWrongIsSaid)
{
    CliRun cli;
    cli.write("empty.cmd", "");
    cli.write("fast.cmd", "VemtracCmdVer 1\nexecute_penselect 1\npd_default 2147483647 0\n");
    cli.write("off.cmd", "VemtracCmdVer 1\nexecute_penselect 1\npu_default 100000 0\n");
    cli.write("no_width.cmd", "VemtracCmdVer 1\nToPclMode 0\nRasterDPI 300\nRasterUnit 254\n"
                              "ImageHeight 5\nSetStartRasterGraphics 0\nRasterLineOut 0\n"
                              "SetEndRasterGraphics 0\n");
    cli.write("long.cmd", read_all(fs::path(VEMTRAC_FAULT_INPUTS_DIR) /
                                   "vector_longer_than_warning_limit.cmd"));
    cli.write("fine.cmd", example_job("raster_job.cmd"));
    std::string raster = example_job("raster_job.cmd");
    raster.replace(raster.find("RasterSpeedY 1000"), 17, "RasterSpeedY 1200");
    cli.write("quick.cmd", "VemtracCmdVer 1\nVectorSpeed 2000 500\nexecute_penselect 1\n"
                           "pd_default 100 0\nexecute_penselect 2\npd_default 100 0\n" + raster);
    cli.write("mixed.cmd", example_job("mixed_job.cmd"));
    ASSERT_EQ(cli.run("--report --json empty.cmd fast.cmd off.cmd no_width.cmd long.cmd fine.cmd "
                      "quick.cmd mixed.cmd"),
              0) << cli.err;
    const json doc = json::parse(cli.out);
    EXPECT_EQ(doc.at("schema"), 5);
    EXPECT_EQ(doc.at("machine"), "Orvane 03.09-04");
    const auto kinds = [&](std::size_t job) {
        std::set<std::string> found;
        for (const json& w : doc.at("jobs")[job].at("warnings")) {
            found.insert(w.at("kind").get<std::string>());
            EXPECT_FALSE(w.at("message").get<std::string>().empty());
        }
        return found;
    };
    EXPECT_EQ(kinds(0), std::set<std::string>{"empty_job"});
    EXPECT_EQ(kinds(1), (std::set<std::string>{"off_table", "too_fast"}));
    EXPECT_EQ(kinds(2), std::set<std::string>{"off_table"});
    // The image without a width starts one run-up left of the head, at 0.
    EXPECT_EQ(kinds(3), (std::set<std::string>{"image_without_size", "raster_off_table"}));
    EXPECT_EQ(kinds(4), (std::set<std::string>{"long_vector", "off_table"}));
    EXPECT_EQ(kinds(5), std::set<std::string>{});
    EXPECT_EQ(doc.at("jobs")[3].at("warnings")[0].at("entry"), 6);
    // Speeds past 1000 per mille: pen 1 when selected, the raster's at its image's start.
    const json& quick = doc.at("jobs")[6].at("warnings");
    ASSERT_EQ(quick.size(), 2u) << quick;
    EXPECT_EQ(quick[0].at("entry"), 3);
    EXPECT_EQ(quick[0].at("message").get<std::string>().rfind(
                  "pen 1 cuts at speed code 2000, outside 0 to 1000 (per mille of the maximum "
                  "speed)", 0), 0u) << quick;
    EXPECT_EQ(quick[1].at("message").get<std::string>().rfind(
                  "RasterSpeedY is 1200, outside 0 to 1000", 0), 0u) << quick;
    // The mixed example's raster passes run up past the table's left edge.
    const json& mixed = doc.at("jobs")[7].at("warnings");
    ASSERT_EQ(mixed.size(), 1u) << mixed;
    EXPECT_EQ(mixed[0].at("kind"), "raster_off_table");
    EXPECT_EQ(mixed[0].at("entry"), 366);
    EXPECT_EQ(mixed[0].at("message"),
              "image 1 takes the head 20.7 mm past the table's left edge (to x = -20.7 mm): each "
              "pass runs up to speed before the image and runs out after it");

    ASSERT_EQ(cli.run("--report long.cmd"), 0);
    EXPECT_NE(cli.out.find("  Warning     entry 2: a vector longer than"), std::string::npos)
        << cli.out;
}
