// The command line end to end through the built binary: every argument
// form, the report's figures against the estimate, the timeline, the
// picture and the usage errors.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "machine_fixture.h"
#include "report/report_text.h"
#include "xml_check.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// A scratch folder to run in, and the run's captured output kept apart
// from it, so that the folder holds only what the run wrote.
class CliRun {
public:
    CliRun()
    {
        char work[] = "/tmp/vemtrac_cli_XXXXXX";
        char capture[] = "/tmp/vemtrac_cap_XXXXXX";
        dir_ = mkdtemp(work);
        capture_ = mkdtemp(capture);
    }
    ~CliRun()
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
        fs::remove_all(capture_, ec);
    }
    CliRun(const CliRun&) = delete;
    CliRun& operator=(const CliRun&) = delete;

    fs::path dir() const { return dir_; }
    void write(const std::string& name, const std::string& text) const
    {
        fs::create_directories((dir_ / name).parent_path());
        std::FILE* f = std::fopen((dir_ / name).c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    std::set<std::string> files() const
    {
        std::set<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(dir_)) {
            names.insert(fs::relative(e.path(), dir_).string());
        }
        return names;
    }
    // Runs the binary in the folder with the arguments; returns the exit code.
    // Standard output goes to stdout_to when given (e.g. /dev/full).
    int run(const std::string& args, const std::string& env = "", const std::string& stdout_to = "")
    {
        const std::string out_file = stdout_to.empty() ? (capture_ / "out").string() : stdout_to;
        const std::string command = "cd '" + dir_.string() + "' && " + env + " '" VEMTRAC_BINARY
                                    "' " + args + " >'" + out_file + "' 2>'" +
                                    (capture_ / "err").string() + "'";
        const int status = std::system(command.c_str());
        out = stdout_to.empty() ? read_all(capture_ / "out") : "";
        err = read_all(capture_ / "err");
        return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string out, err;

private:
    fs::path dir_, capture_;
};

// Two raster images between vector work with three pens, cut short by an
// entry the interpreter does not know.
std::string pens_images_cut_short()
{
    std::string job = "VemtracCmdVer 1\nToHpglMode 0\nexecute_penselect 1\npu_default 1016 1016\n"
                      "pd_default 2032 0\nexecute_penselect 2\npu_default 0 508\npd_default 0 2032\n"
                      "ToPclMode 0\n"
                      "RasterDPI 300\nRasterUnit 254\nRasterSpeedX 1000\nRasterSpeedY 1000\n"
                      "RasterBandingFree 1\nImageWidth 300\nImageHeight 20\n";
    for (const char* at : {"SetHorizontalPositionPCL 1 300\nSetVerticalPositionPCL 1 254\n",
                           "SetHorizontalPositionPCL 1 1200\nSetVerticalPositionPCL 1 600\n"}) {
        job += std::string(at) + "SetStartRasterGraphics 0\n";
        for (int line = 0; line < 20; ++line) {
            job += "RasterLineOut 0\n";
        }
        job += "SetEndRasterGraphics 0\n";
    }
    return job + "ToHpglMode 0\nexecute_penselect 3\npu_default 508 0\npd_default -1016 -1016\n"
                 "bogus 0\n"
                 "pd_default 1016 0\n";
}

std::int64_t sum_values(const json& object)
{
    std::int64_t sum = 0;
    for (const auto& [name, ticks] : object.items()) {
        sum += ticks.get<std::int64_t>();
    }
    return sum;
}

// The report's own arithmetic: phases and activities each add up to the
// ticks, and the ticks give the estimate.
void expect_sums(const json& job)
{
    const auto ticks = job.at("ticks").get<std::int64_t>();
    EXPECT_EQ(sum_values(job.at("phases")), ticks) << job.at("job");
    std::int64_t activity_ticks = 0;
    for (const json& a : job.at("activities")) {
        activity_ticks += a.at("ticks").get<std::int64_t>();
    }
    EXPECT_EQ(activity_ticks, ticks) << job.at("job");
    EXPECT_EQ(job.at("run_time_ms").get<std::int64_t>(), ticks * 2 / 5) << job.at("job");
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

} // namespace

TEST(Cli, HelpVersionAndFolderForms)
{
    CliRun cli;
    EXPECT_EQ(cli.run("--help"), 0);
    for (const char* part : {"Vemtrac.cmd", "Vemtrac.sts", "--report", "--json", "--timeline",
                             "--svg", "--replay fast|full|literal", "position loop", "VEMTRAC_DEBUG"}) {
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
                                                                      "like a PDF document", 0), 0u);
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
    cli.write("b/job.cmd", std::string("VemtracCmdVer 1\n\nexecute_penselect 1 pd\0default 100 0\n", 54));
    EXPECT_EQ(cli.run("--report a/job.cmd b/job.cmd"), 3);
    EXPECT_NE(cli.err.find("vemtrac: b/job.cmd line 3, entry 3 \"pd\\x00default\": unknown"),
              std::string::npos) << cli.err;
    EXPECT_NE(cli.out.find("at line 3, entry 3 \"pd\\x00default\""), std::string::npos) << cli.out;

    // Unknown replay and trace names are said, with the known ones.
    EXPECT_EQ(cli.run("--report a/job.cmd", "VEMTRAC_REPLAY=slow VEMTRAC_DEBUG=\"$(printf 'No\\033')\""), 0);
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
    for (const char* args : {"import tag.svg -o tag.cmd --force", "import tag.svg -o tag.svg --force",
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
