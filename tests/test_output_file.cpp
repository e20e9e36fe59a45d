// Outputs written through a scratch file: a reader finds the old file or
// the whole new one, never a part; a failed write is said and leaves the
// old file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "job/file_kind.h"
#include "job/output_file.h"
#include "machine_fixture.h"

namespace fs = std::filesystem;

TEST(OutputFile, ReplacesWholeOrNotAtAll)
{
    JobFolder dir;  // a scratch folder (it holds the binary too)
    const std::string path = dir.path() + "/Vemtrac.sts";
    {
        std::FILE* old = std::fopen(path.c_str(), "wb");
        std::fputs("old", old);
        std::fclose(old);
    }
    std::string why;
    OutputFile out;
    ASSERT_TRUE(out.open(path, &why)) << why;
    out.write("new lines");
    EXPECT_EQ(read_all(path), "old");  // nothing shows before the commit
    ASSERT_TRUE(out.commit(&why)) << why;
    EXPECT_EQ(read_all(path), "new lines");

    OutputFile dropped;
    ASSERT_TRUE(dropped.open(path, &why));
    dropped.write("half");
    dropped.discard();
    EXPECT_EQ(read_all(path), "new lines");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}),
              2);  // no scratch file left

    // A full disk: the failure is said, at the latest when closing.
    OutputFile full;
    ASSERT_TRUE(full.open("/dev/full", &why));
    full.write(std::string(100000, 'x'));
    EXPECT_FALSE(full.commit(&why));
    EXPECT_EQ(why, "No space left on device");

    OutputFile nowhere;
    EXPECT_FALSE(nowhere.open(dir.path() + "/no/such/folder/x.svg", &why));
    EXPECT_FALSE(nowhere.open(dir.path(), &why));
    EXPECT_EQ(why, "it is a folder");
}

// What a file handed in as a job looks like, from its first bytes; a job
// file is told by its first keyword whatever follows.
TEST(FileKind, JobFilesAreToldFromWhatOperatorsDropInstead)
{
    using namespace std::string_literals;
    for (const std::string& job : {"VemtracCmdVer 1\n"s, "\xEF\xBB\xBF  \r\n\tpd_default 1 2"s,
                                  "VectorSpeed"s, "RasterLineOut 0 garbage \x89"s}) {
        EXPECT_TRUE(reads_as_job_file(job)) << job;
        EXPECT_EQ(not_a_job_file_reason(job), "") << job;
    }
    for (const std::string& empty : {""s, " \r\n\t"s, "\xEF\xBB\xBF"s}) {
        EXPECT_FALSE(reads_as_job_file(empty));
        EXPECT_EQ(not_a_job_file_reason(empty), "");  // an empty job, not a wrong file
    }
    const std::pair<std::string, const char*> others[] = {
        {"\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s, "a PNG image"},
        {"\xFF\xD8\xFF\xE0\0\x10JFIF"s, "a JPEG image"},
        {"%PDF-1.7\n"s, "a PDF document"},
        {"<?xml version=\"1.0\"?>\n<!-- made by hand -->\n<svg width=\"10\">"s, "an SVG drawing"},
        {"<?xml version=\"1.0\"?><project/>"s, "an XML document"},
        {"  0\r\nSECTION\r\n  2\r\nHEADER\r\n"s, "a DXF drawing"},
        {"IN;SP1;PU0,0;PD100,0;"s, "HPGL plotter commands"},
        {"PK\x03\x04\x14\0\0\0"s, "a ZIP archive"},
        {"\x1B%-12345X@PJL"s, "PCL or PJL"},
        {"\x01\x02\x03\0\x04 job"s, "binary data"},
        {"vemtraccmdver 1\n"s, "first word, \"vemtraccmdver\", is no keyword"},
    };
    for (const auto& [head, looks] : others) {
        EXPECT_FALSE(reads_as_job_file(head)) << looks;
        const std::string why = not_a_job_file_reason(head);
        EXPECT_EQ(why.rfind("not a job file: ", 0), 0u) << why;
        EXPECT_NE(why.find(looks), std::string::npos) << why;
        EXPECT_NE(why.find("\"VemtracCmdVer 1\""), std::string::npos) << why;
    }
}

// No output replaces a job file, --force or not; a name that says another
// kind of file is refused; "-" is standard output, flushed but never closed.
TEST(OutputFile, SparesJobFilesAndWritesStandardOutput)
{
    JobFolder dir;
    const std::string job = dir.path() + "/job.txt";
    const std::string notes = dir.path() + "/notes.svg";
    dir.write_file("job.txt", "\n  VemtracCmdVer 1\npd_default 1 1\n");
    dir.write_file("notes.svg", "notes");  // not a job file, whatever its start
    std::string why;
    EXPECT_FALSE(output_spares_job_file(job, &why));
    EXPECT_NE(why.find("not even with --force"), std::string::npos) << why;
    EXPECT_FALSE(output_replaceable(job, OutputKind::picture, true, &why));
    EXPECT_TRUE(output_replaceable(notes, OutputKind::picture, true, &why));
    EXPECT_TRUE(output_spares_job_file(dir.path() + "/new.svg", &why));
    EXPECT_TRUE(output_spares_job_file("/dev/tty", &why));  // not read: it would wait for keys

    for (const char* fits : {"a.svg", "A.SVG", "picture", "-", "/dev/stdout", "a.v2"}) {
        EXPECT_TRUE(output_name_fits(fits, OutputKind::picture, &why)) << fits;
    }
    for (const char* fits : {"t.csv", "t.TXT", "timeline", "-", "t.json"}) {
        EXPECT_TRUE(output_name_fits(fits, OutputKind::timeline, &why)) << fits;
    }
    EXPECT_FALSE(output_name_fits("out.png", OutputKind::picture, &why));
    EXPECT_EQ(why,
              "--svg writes an SVG picture, but out.png is named as a .png file; name it *.svg");
    EXPECT_FALSE(output_name_fits("t.cmd", OutputKind::timeline, &why));
    EXPECT_FALSE(output_name_fits("t.svg", OutputKind::timeline, &why));

    const std::string out = capture_stdout([&] {
        OutputFile to_stdout;
        ASSERT_TRUE(to_stdout.open("-", &why));
        to_stdout.write("picture bytes\n");
        ASSERT_TRUE(to_stdout.commit(&why)) << why;
    });
    EXPECT_EQ(out, "picture bytes\n");
    EXPECT_GE(std::fputs("", stdout), 0);  // still open
}
