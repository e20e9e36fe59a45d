// Job files no driver would write: truncated, hand-edited, saved by other
// editors, or holding values out of every range. Each runs through the
// built binary; whatever the file holds, the tool ends with exit code 0 and
// a well-formed status file, and says on standard error where it stopped.
#include "machine_fixture.h"

#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "job/status_file.h"

namespace fs = std::filesystem;

namespace {

struct ProgramRun {
    int exit_code = -1;
    std::vector<std::string> status;
    std::string out;
    std::string err;
};

ProgramRun run_bytes(const std::string& bytes)
{
    JobFolder job;
    job.write_job(bytes);
    ProgramRun r;
    r.exit_code = job.run();
    r.status = status_lines(job.read_file("Vemtrac.sts"));
    r.out = job.stdout_text;
    r.err = job.stderr_text;
    return r;
}

// The five lines of a finished job, with its run time in milliseconds and
// as minutes:seconds.
void expect_finished(const ProgramRun& r, const std::string& ms, const std::string& min_sec)
{
    EXPECT_EQ(r.exit_code, 0);
    ASSERT_EQ(r.status.size(), 5u) << r.err;
    EXPECT_EQ(r.status[0], "VMTC_OK");
    EXPECT_EQ(r.status[1], std::string(status_model_word) + " " + status_firmware_version);
    EXPECT_EQ(r.status[2], ms);
    EXPECT_TRUE(std::regex_match(r.status[3], std::regex("APP Run Time [0-9]+ms"))) << r.status[3];
    EXPECT_EQ(r.status[4], "Job Run Time " + min_sec);
    EXPECT_NE(r.out.find("Job Run Time: " + min_sec + "\n\r"), std::string::npos);
}

bool says(const ProgramRun& r, const std::string& text)
{
    return r.err.find(text) != std::string::npos;
}

// One pen-down move of two inches, and how long it runs.
const std::string two_inch_cut = "execute_penselect 1\npd_default 2032 0\n";
const char* const two_inch_ms = "429";

} // namespace

TEST(HostileInput, EmptyBlankAndGarbageFilesGiveAZeroTimeJob)
{
    const ProgramRun empty = run_bytes("");
    expect_finished(empty, "0", "0:0");
    EXPECT_EQ(empty.err, "");

    const ProgramRun blank = run_bytes(" \t\r\n\n\v\f  \r\r\n");
    expect_finished(blank, "0", "0:0");
    EXPECT_EQ(blank.err, "");

    std::string garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage.push_back(static_cast<char>((i * 7919 + 13) & 0xFF));
    }
    const ProgramRun binary = run_bytes(garbage);
    expect_finished(binary, "0", "0:0");
    EXPECT_TRUE(says(binary, "entry 1 \"")) << binary.err;
    // Bytes that are not printable text are shown escaped, never raw.
    for (char c : binary.err) {
        const auto u = static_cast<unsigned char>(c);
        EXPECT_TRUE(u == '\n' || (u >= 0x20 && u < 0x7F)) << "raw byte " << int(u);
    }
}

TEST(HostileInput, NulInsideAKeywordEndsTheJobThere)
{
    const ProgramRun r =
        run_bytes(two_inch_cut + std::string("pd_de\0fault 2032 0\n", 19) + "pd_default 2032 0\n");
    expect_finished(r, two_inch_ms, "0:0");
    EXPECT_TRUE(says(r, "line 3, entry 3 \"pd_de\\x00fault\": unknown keyword")) << r.err;
}

TEST(HostileInput, OtherEditorsLineEndsTabsAndByteOrderMarkReadAlike)
{
    const std::string job = "execute_penselect 1\npd_default 2032 0\npd_default 0 2032\n";
    const ProgramRun plain = run_bytes(job);
    expect_finished(plain, "889", "0:0");

    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = job;
        for (std::size_t at = s.find(from); at != std::string::npos;
             at = s.find(from, at + to.size())) {
            s.replace(at, from.size(), to);
        }
        return s;
    };
    const std::string variants[] = {
        "\xEF\xBB\xBF" + job,          // UTF-8 byte-order mark
        replaced("\n", "\r\n"),         // Windows
        replaced("\n", "\r"),           // old Mac
        replaced(" ", "\t"),            // tabs
        job.substr(0, job.size() - 1),  // no final newline
    };
    for (const std::string& v : variants) {
        const ProgramRun r = run_bytes(v);
        expect_finished(r, "889", "0:0");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, plain.out);
    }
}

TEST(HostileInput, KeywordLengthLimit)
{
    const ProgramRun at_limit =
        run_bytes(two_inch_cut + std::string(259, 'K') + " 1\n" + two_inch_cut);
    expect_finished(at_limit, two_inch_ms, "0:0");
    EXPECT_TRUE(says(at_limit, "entry 3 \"" + std::string(259, 'K') + "\": unknown keyword"))
        << at_limit.err;

    for (std::size_t length : {260u, 261u, 100000u}) {
        const ProgramRun over =
            run_bytes(two_inch_cut + std::string(length, 'K') + " 1\n" + two_inch_cut);
        expect_finished(over, two_inch_ms, "0:0");
        EXPECT_TRUE(says(over, "keyword longer than 259 characters")) << over.err;
    }
}

TEST(HostileInput, NumbersAtAndBeyondTheSigned32BitRange)
{
    // In range: stored at the width of the setting, the job goes on.
    const ProgramRun max = run_bytes("RasterDPI 2147483647\n" + two_inch_cut);
    expect_finished(max, two_inch_ms, "0:0");
    EXPECT_EQ(max.err, "");
    const ProgramRun min = run_bytes("RasterDPI -2147483648\n" + two_inch_cut);
    expect_finished(min, two_inch_ms, "0:0");
    EXPECT_EQ(min.err, "");

    // Out of range: reading stops at that entry, nothing after it runs.
    for (const char* n : {"2147483648", "99999999999", "-2147483649"}) {
        const ProgramRun r = run_bytes(two_inch_cut + "RasterDPI " + n + "\n" + two_inch_cut);
        expect_finished(r, two_inch_ms, "0:0");
        EXPECT_TRUE(says(r, "entry 3 \"RasterDPI\": number outside the signed 32-bit range"))
            << r.err;
    }
}

TEST(HostileInput, ShortSpeedListKeepsTheOtherPensAndReadsOn)
{
    const ProgramRun r = run_bytes("VectorSpeed 1 2 3 4 5\n" + two_inch_cut);
    expect_finished(r, "78035", "1:18");
    EXPECT_TRUE(says(r, "\"VectorSpeed\"")) << r.err;
}

TEST(HostileInput, PenNumbersAboveSixteenEndTheJob)
{
    const ProgramRun sixteen = run_bytes("execute_penselect 16\npd_default 2032 0\n");
    expect_finished(sixteen, two_inch_ms, "0:0");
    EXPECT_EQ(sixteen.err, "");
    for (const char* pen : {"17", "255"}) {
        const ProgramRun r =
            run_bytes(two_inch_cut + "execute_penselect " + pen + "\npd_default 2032 0\n");
        expect_finished(r, two_inch_ms, "0:0");
        EXPECT_TRUE(says(r, "entry 3 \"execute_penselect\"")) << r.err;
    }
}

namespace {

std::string raster_image(const std::string& settings, int passes = 4)
{
    std::string job = "RasterDPI 300\nRasterUnit 254\nImageWidth 600\nImageHeight 4\n"
                      "RasterSpeedX 1000\nRasterSpeedY 500\n" +
                      settings + "SetStartRasterGraphics 0\n";
    for (int i = 0; i < passes; ++i) {
        job += "RasterLineOut 0\n";
    }
    return job + "SetEndRasterGraphics 0\n";
}

} // namespace

TEST(HostileInput, RasterSettingsOutsideTheDriversRange)
{
    expect_finished(run_bytes(raster_image("")), "656", "0:0");

    for (const char* zero : {"RasterDPI 0\n", "RasterUnit 0\n"}) {
        const ProgramRun r = run_bytes(two_inch_cut + raster_image(zero));
        expect_finished(r, two_inch_ms, "0:0");
        EXPECT_TRUE(says(r, "\"SetStartRasterGraphics\"")) << r.err;
    }

    expect_finished(run_bytes(raster_image("RasterUnit 300\n")), "653", "0:0");
    expect_finished(run_bytes(raster_image("RasterUnit 1\n")), "902", "0:0");
    expect_finished(run_bytes(raster_image("RasterSpeedX 65535\n")), "1882", "0:1");

    const ProgramRun empty_image =
        run_bytes("RasterDPI 300\nRasterUnit 254\nRasterSpeedX 1000\nRasterSpeedY 500\n"
                  "ImageWidth 0\nImageHeight 0\nSetStartRasterGraphics 0\nRasterLineOut 0\n"
                  "SetEndRasterGraphics 0\n");
    expect_finished(empty_image, "118", "0:0");
    EXPECT_EQ(empty_image.err, "");
}

TEST(HostileInput, RasterLineBeforeAnyImageEndsTheJob)
{
    const ProgramRun r = run_bytes(two_inch_cut + "RasterLineOut 0\n" + two_inch_cut);
    expect_finished(r, two_inch_ms, "0:0");
    EXPECT_TRUE(says(r, "entry 3 \"RasterLineOut\"")) << r.err;
}

TEST(HostileInput, ExtremeMovesAndLongJobsFinish)
{
    const ProgramRun extreme =
        run_bytes("execute_penselect 1\npd_default 2147483647 -2147483647\n");
    expect_finished(extreme, "638", "0:0");

    std::string tiny = "execute_penselect 1\n";
    for (int i = 0; i < 10000; ++i) {
        tiny += "pd_default 1 0\npd_default 0 1\n";
    }
    expect_finished(run_bytes(tiny), "88008", "1:28");

    // The version check can come at any entry: the job is refused outright.
    JobFolder late;
    late.write_job(tiny + "VemtracCmdVer 2\n");
    EXPECT_EQ(late.run(), 0);
    EXPECT_EQ(late.read_file("Vemtrac.sts"), "VMTC_Error\r\n\rVersionMisMatch\r\n\r");
    EXPECT_EQ(late.stdout_text.find("Job Run Time"), std::string::npos);
}

TEST(HostileInput, JobFileThatIsAFolderIsNotAJob)
{
    JobFolder job;
    fs::create_directory(fs::path(job.path()) / "Vemtrac.cmd");
    EXPECT_EQ(job.run(), 0);
    EXPECT_FALSE(job.has_file("Vemtrac.sts"));
    EXPECT_NE(job.stderr_text.find("Vemtrac.cmd: it is a folder"), std::string::npos)
        << job.stderr_text;
}

TEST(HostileInput, StatusFileThatCannotBeWritten)
{
    // A folder in the status file's place refuses it to every user.
    JobFolder blocked;
    blocked.write_job(two_inch_cut);
    fs::create_directory(fs::path(blocked.path()) / "Vemtrac.sts");
    EXPECT_EQ(blocked.run(), 0);
    EXPECT_NE(blocked.stderr_text.find("cannot create"), std::string::npos) << blocked.stderr_text;
    EXPECT_EQ(blocked.stdout_text.find("Job Run Time"), std::string::npos);

    // A read-only folder; the superuser writes anyway, so run as nobody then.
    JobFolder read_only;
    read_only.write_job(two_inch_cut);
    ASSERT_EQ(::chmod(read_only.path().c_str(), 0555), 0);
    const std::string as_user =
        ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    EXPECT_EQ(read_only.run(as_user), 0);
    ::chmod(read_only.path().c_str(), 0755);
    EXPECT_FALSE(read_only.has_file("Vemtrac.sts"));
    EXPECT_NE(read_only.stderr_text.find("cannot create"), std::string::npos)
        << read_only.stderr_text;
}

// Every job file that ever exposed a fault, found by the fuzzer or by hand,
// is kept and must go on ending cleanly.
TEST(HostileInput, InputsThatOnceFoundFaultsEndCleanly)
{
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::directory_iterator(VEMTRAC_FAULT_INPUTS_DIR)) {
        if (entry.path().extension() == ".cmd") {
            inputs.push_back(entry.path());
        }
    }
    ASSERT_FALSE(inputs.empty());
    for (const fs::path& input : inputs) {
        const ProgramRun r = run_bytes(read_all(input));
        EXPECT_EQ(r.exit_code, 0) << input;
        ASSERT_FALSE(r.status.empty()) << input;
        if (r.status[0] == "VMTC_Error") {
            EXPECT_EQ(r.status, (std::vector<std::string>{"VMTC_Error", "VersionMisMatch"}))
                << input;
            continue;
        }
        ASSERT_EQ(r.status.size(), 5u) << input;
        EXPECT_EQ(r.status[0], "VMTC_OK") << input;
        EXPECT_TRUE(std::regex_match(r.status[2], std::regex("[0-9]+"))) << input;
        EXPECT_NE(r.out.find("Job Run Time: "), std::string::npos) << input;
    }
}
