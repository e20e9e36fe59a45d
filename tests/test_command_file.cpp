// The job-file interpreter and the status file, run in-process on job files
// in a scratch folder.
#include "machine_fixture.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "fwShare/machine_params.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/vector_cutting.h"
#include "job/command_file.h"
#include "job/command_reader.h"
#include "job/exe_dir.h"

namespace fs = std::filesystem;

namespace {

class Interpreter : public MachineTest {
protected:
    JobFolder folder;
    int result = -1;
    std::string out;
    std::string err;

    // Runs the interpreter on the job text, with the folder as the
    // executable's directory.
    void run_job(const std::string& text)
    {
        folder.write_job(text);
        run_existing_job();
    }

    void run_existing_job()
    {
        ASSERT_TRUE(set_exe_dir((folder.path() + "/vemtrac").c_str()));
        ::testing::internal::CaptureStderr();
        out = capture_stdout([this] {
            JobEnd end;
            result = job_run_command_file(&end);
        });
        err = ::testing::internal::GetCapturedStderr();
    }

    std::vector<std::string> status() const
    {
        return status_lines(folder.read_file("Vemtrac.sts"));
    }

    // The command kinds committed so far, in ring order from record 0.
    std::vector<int> committed_kinds() const
    {
        std::vector<int> kinds;
        for (const VdbData& rec : vdb_pool) {
            if (rec.sent_cmd != 0) {
                kinds.push_back(rec.sent_cmd);
            }
        }
        return kinds;
    }
};

} // namespace

TEST_F(Interpreter, EmptyJobGivesTheFiveStatusLinesWithZeroTime)
{
    run_job("");
    EXPECT_EQ(result, 1);
    const std::string sts = folder.read_file("Vemtrac.sts");
    const std::vector<std::string> lines = status_lines(sts);
    ASSERT_EQ(lines.size(), 5u) << sts;
    EXPECT_EQ(lines[0], "VMTC_OK");
    EXPECT_EQ(lines[1], "Orvane 03.09-04");
    EXPECT_EQ(lines[2], "0");
    EXPECT_EQ(lines[3].rfind("APP Run Time ", 0), 0u);
    EXPECT_EQ(lines[3].substr(lines[3].size() - 2), "ms");
    EXPECT_EQ(lines[4], "Job Run Time 0:0");
    EXPECT_EQ(sts.substr(sts.size() - 3), "\r\n\r");
    EXPECT_EQ(out, "Job Run Time: 0:0\n\r");
    EXPECT_EQ(err, "");
}

TEST_F(Interpreter, VersionOneIsAccepted)
{
    run_job("VemtracCmdVer 1\n");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(status()[2], "0");
}

TEST_F(Interpreter, OtherVersionRefusesTheJobAfterWhatCameBefore)
{
    run_job("RasterDPI 600\nVemtracCmdVer 2\nRasterUnit 300\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(folder.read_file("Vemtrac.sts"), "VMTC_Error\r\n\rVersionMisMatch\r\n\r");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 600);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 0);
    EXPECT_EQ(out, "");  // no run-time line
}

TEST_F(Interpreter, EntriesAreSeparatedByAnyWhiteSpace)
{
    run_job("RasterDPI 600 RasterUnit\t300\r\n\r\nImageWidth\n-7 ImageHeight 12");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 600);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 300);
    EXPECT_EQ(ptCurrentFile->ImageWidth, -7);
    EXPECT_EQ(ptCurrentFile->ImageHeight, 12);
    EXPECT_EQ(err, "");
}

TEST_F(Interpreter, SettingsAreStoredAtTheWidthOfTheirField)
{
    run_job("RasterDPI 65837 RasterBandingFree 258 SetHorizontalPositionPCL 257 -5");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 301);
    EXPECT_EQ(ptCurrentFile->RasterBandingFree, 2);
    EXPECT_EQ(ptCurrentFile->ImageAbsPosFlag, 1);
    EXPECT_EQ(ptCurrentFile->ImageOffsetX, -5);
}

TEST_F(Interpreter, WrongNumberOfIntegersEndsReadingThere)
{
    run_job("RasterDPI 600 1 RasterUnit 300");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ptCurrentFile->RasterDPI, 0);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 0);
    EXPECT_NE(err.find("entry 1 \"RasterDPI\": expects one integer"), std::string::npos) << err;
    EXPECT_EQ(status()[0], "VMTC_OK");
}

TEST_F(Interpreter, TwoIntegerKeywordWithOneIntegerEndsReading)
{
    run_job("pd_default 10 RasterDPI 600");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 0);
    EXPECT_NE(err.find("\"pd_default\": expects two integers"), std::string::npos) << err;
}

TEST_F(Interpreter, UnknownKeywordOrMissingIntegerEndsReading)
{
    run_job("RasterDPI 600 rasterunit 300 RasterUnit 300");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 600);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 0);
    EXPECT_NE(err.find("entry 2 \"rasterunit\": unknown keyword"), std::string::npos) << err;

    reset_machine();
    run_job("RasterDPI");
    EXPECT_NE(err.find("no integer follows"), std::string::npos) << err;
    EXPECT_EQ(status()[0], "VMTC_OK");
}

TEST_F(Interpreter, OverlongKeywordAndOutOfRangeNumberEndReadingSafely)
{
    run_job("RasterDPI 600 " + std::string(300, 'K') + " 1 RasterUnit 300");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 600);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 0);
    EXPECT_NE(err.find("longer than 259"), std::string::npos) << err;

    reset_machine();
    run_job("ImageWidth -2147483648 ImageHeight 2147483648 RasterUnit 300");
    EXPECT_EQ(ptCurrentFile->ImageWidth, INT32_MIN);
    EXPECT_EQ(ptCurrentFile->ImageHeight, 0);
    EXPECT_EQ(ptCurrentFile->RasterUnit, 0);
    EXPECT_NE(err.find("outside the signed 32-bit range"), std::string::npos) << err;
    EXPECT_EQ(status()[0], "VMTC_OK");
}

TEST_F(Interpreter, ByteOrderMarkAtTheStartIsSkipped)
{
    run_job("\xEF\xBB\xBFRasterDPI 600");
    EXPECT_EQ(ptCurrentFile->RasterDPI, 600);
    EXPECT_EQ(err, "");
}

TEST_F(Interpreter, VectorSpeedReadsSixteenPenSpeeds)
{
    run_job("VectorSpeed 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 RasterDPI 7");
    EXPECT_EQ(ptCurrentFile->VectorSpeed[0], 500);
    for (int pen = 1; pen <= 16; ++pen) {
        EXPECT_EQ(ptCurrentFile->VectorSpeed[pen], pen);
    }
    EXPECT_EQ(ptCurrentFile->RasterDPI, 7);
}

TEST_F(Interpreter, ShortVectorSpeedListKeepsTheOtherPensAndReadsOn)
{
    run_job("VectorSpeed 1 2 3 4 5 RasterDPI 7");
    EXPECT_EQ(ptCurrentFile->VectorSpeed[5], 5);
    EXPECT_EQ(ptCurrentFile->VectorSpeed[6], 500);
    EXPECT_EQ(ptCurrentFile->VectorSpeed[16], 500);
    EXPECT_EQ(ptCurrentFile->RasterDPI, 7);
    EXPECT_NE(err.find("pens 6 to 16 keep their speeds"), std::string::npos) << err;
}

TEST_F(Interpreter, PenMovesAreScaledFromHpglToPlotBedUnits)
{
    run_job("pd_default 0 0 pd_default 10 -4 pd_default 5 0");
    EXPECT_EQ(pen_up_flag, 0);
    EXPECT_EQ(cmd_pen_down, 1);
    EXPECT_EQ(positionx, 45);
    EXPECT_EQ(positiony, -12);
    // One pen-down record only: the second and third entries keep the pen down.
    EXPECT_EQ(committed_kinds(), (std::vector<int>{SHORT_PEN_DOWN, VECTOR, VECTOR}));
    EXPECT_EQ(vdb_pool[1].dx, 30);
    EXPECT_EQ(vdb_pool[1].dy, -12);
}

TEST_F(Interpreter, PenUpMoveRaisesThePenOnce)
{
    run_job("pd_default 1 0 pu_default 0 0 pu_default 2 0");
    EXPECT_EQ(cmd_pen_down, 0);
    EXPECT_EQ(pen_up_flag, 1);
    EXPECT_EQ(committed_kinds(),
              (std::vector<int>{SHORT_PEN_DOWN, VECTOR, SHORT_PEN_UP, VECTOR}));
    EXPECT_EQ(positionx, 9);
}

TEST_F(Interpreter, MissingJobFileWritesNoStatusAndSaysWhy)
{
    fs::remove(fs::path(folder.path()) / "Vemtrac.cmd");
    run_existing_job();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(folder.has_file("Vemtrac.sts"));
    EXPECT_NE(err.find("cannot open"), std::string::npos);
    EXPECT_NE(err.find("Vemtrac.cmd"), std::string::npos);
    EXPECT_EQ(out, "");
}

TEST_F(Interpreter, StatusFileThatCannotBeCreatedIsReported)
{
    fs::create_directory(fs::path(folder.path()) / "Vemtrac.sts");
    run_job("RasterDPI 600");
    EXPECT_EQ(result, 0);
    EXPECT_NE(err.find("cannot create"), std::string::npos) << err;
    EXPECT_EQ(ptCurrentFile->RasterDPI, 0);  // nothing was run
}

namespace {

// The reading rules one character at a time over the whole job, as the
// reader applied them before it read whole entries straight from its block.
struct ReferenceReader {
    std::string bytes;
    std::size_t pos = 0;
    CmdReadError error = CmdReadError::none;
    int line = 1;
    int keyword_line = 1;
    int keyword_length = 0;

    int next() { return pos < bytes.size() ? static_cast<unsigned char>(bytes[pos++]) : EOF; }
    void back(int c) { pos -= c != EOF ? 1 : 0; }
    static bool blank(int c) { return c > 0 && std::strchr(" \t\n\v\f\r", c) != nullptr; }
    int skip_blanks()
    {
        int c = next();
        for (int last = EOF; blank(c); last = c, c = next()) {
            line += c == '\r' || (c == '\n' && last != '\r') ? 1 : 0;
        }
        return c;
    }
    int read_int(std::int32_t* value)
    {
        int c = skip_blanks();
        const int sign = c == '+' || c == '-' ? c : 0;
        c = sign != 0 ? next() : c;
        if (c < '0' || c > '9') {
            back(c);
            back(sign != 0 ? sign : EOF);
            return c == EOF && sign == 0 ? -1 : 0;
        }
        const std::int64_t limit = sign == '-' ? 2147483648LL : 2147483647LL;
        std::int64_t magnitude = 0;
        bool too_large = false;
        for (; c >= '0' && c <= '9'; c = next()) {
            magnitude = magnitude * 10 + (c - '0');
            too_large = too_large || magnitude > limit;
            magnitude = std::min(magnitude, limit);
        }
        back(c);
        error = too_large ? CmdReadError::number_out_of_range : error;
        *value =
            too_large ? *value : static_cast<std::int32_t>(sign == '-' ? -magnitude : magnitude);
        return too_large ? 0 : 1;
    }
    int read_entry(char* keyword, std::int32_t* first, std::int32_t* second)
    {
        int c = skip_blanks();
        if (c == EOF) {
            return -1;
        }
        keyword_line = line;
        for (keyword_length = 0; c != EOF && !blank(c); c = next()) {
            if (keyword_length == CMD_KEYWORD_SIZE - 1) {
                error = CmdReadError::keyword_too_long;
                keyword[keyword_length] = '\0';
                return 0;
            }
            keyword[keyword_length++] = static_cast<char>(c);
        }
        back(c);
        keyword[keyword_length] = '\0';
        return read_int(first) != 1 ? 1 : read_int(second) != 1 ? 2 : 3;
    }
};

// A job of random pieces that reach every rule of the reader (blanks of
// every kind, CR LF mixes, signs, long digit runs, numbers at and past the
// range, keywords at and past 259 bytes, NULs and other bytes, a mark at
// the start), at least min_size bytes long.
std::string random_job(std::mt19937& rng, std::size_t min_size, int pieces)
{
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto digits = [&](int n) {
        std::string s(static_cast<std::size_t>(n), '0');
        for (char& d : s) {
            d = static_cast<char>('0' + pick(10));
        }
        return s;
    };
    const char* const specials[] = {"2147483647", "-2147483648", "2147483648", "-2147483649",
                                    "+0000000000007", "-", "+", "+-1", "\r\n", "\xEF\xBB\xBF"};
    std::string job = pick(4) == 0 ? "\xEF\xBB\xBF" : "";
    for (int i = 0; i < pieces || job.size() < min_size; ++i) {
        switch (pick(9)) {
        case 0: job += std::string(pick(3), ' ') + " \t\n\v\f\r"[pick(6)]; break;
        case 1: job += (pick(3) == 0 ? "-" : "") + digits(1 + pick(pick(4) == 0 ? 14 : 4)); break;
        case 2: job += specials[pick(10)]; break;
        case 3: job += std::string(1 + pick(12), static_cast<char>('a' + pick(26))); break;
        case 4: job += std::string(pick(4) == 0 ? 255 + pick(8) : 1 + pick(20), 'K'); break;
        case 5: job += static_cast<char>(pick(256)); break;
        default:
            job += " pd_default " + digits(1 + pick(3)) + " -" + digits(1 + pick(3)) + "\n";
            break;
        }
    }
    return job;
}

// Everything a read hands back, as text to compare.
std::string read_outcome(int got, const char* keyword, int keyword_length, std::int32_t a,
                         std::int32_t b, CmdReadError error, int line, int keyword_line)
{
    return std::to_string(got) + " [" + std::string(keyword, keyword + keyword_length + 1) + "] " +
           std::to_string(a) + " " + std::to_string(b) + " error " +
           std::to_string(static_cast<int>(error)) + " line " + std::to_string(line) + " at " +
           std::to_string(keyword_line);
}

// Reads the whole job with the reader and the reference, entries and
// single integers in a random mix, and compares every read.
void expect_reads_alike(const std::string& job, const CmdSource& source, std::mt19937& rng)
{
    auto reader = std::make_unique<CmdReader>();
    cmd_reader_open(reader.get(), source);
    ReferenceReader ref{job, job.starts_with("\xEF\xBB\xBF") ? 3u : 0u};
    char keyword[CMD_KEYWORD_SIZE] = {};
    char ref_keyword[CMD_KEYWORD_SIZE] = {};
    for (int ends = 0; ends < 2;) {
        std::int32_t a = 7777, b = 7777, ref_a = 7777, ref_b = 7777;
        const bool entry = rng() % 4 != 0;
        const int got =
            entry ? cmd_read_entry(reader.get(), keyword, &a, &b) : cmd_read_int(reader.get(), &a);
        const int ref_got =
            entry ? ref.read_entry(ref_keyword, &ref_a, &ref_b) : ref.read_int(&ref_a);
        ASSERT_EQ(read_outcome(got, keyword, reader->keyword_length, a, b, reader->error,
                               reader->line, reader->keyword_line),
                  read_outcome(ref_got, ref_keyword, ref.keyword_length, ref_a, ref_b, ref.error,
                               ref.line, ref.keyword_line))
            << "at byte " << ref.pos << " of a job of " << job.size();
        ends += got == -1 ? 1 : 0;
    }
}

} // namespace

TEST(CommandReader, ReadsEveryJobByTheCharacterRulesInMemoryAndAcrossFileBlocks)
{
    std::mt19937 rng(25);
    for (int run = 0; run < 3000; ++run) {
        const std::string job = random_job(rng, 0, static_cast<int>(rng() % 60));
        expect_reads_alike(job, CmdSource{nullptr, job}, rng);
    }
    for (int run = 0; run < 150; ++run) {
        // Long enough for tokens of every kind to straddle one or two block ends.
        const std::string job = random_job(rng, CMD_READ_BLOCK * (1 + run % 2) + rng() % 300, 0);
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(job.data(), 1, job.size(), file), job.size());
        std::rewind(file);
        expect_reads_alike(job, CmdSource{file, {}}, rng);
        std::fclose(file);
    }
}

using ExeDir = MachineTest;

TEST_F(ExeDir, TakesEverythingBeforeTheLastSeparator)
{
    ASSERT_TRUE(set_exe_dir("D:\\tools\\est.exe"));
    EXPECT_STREQ(exe_dir, "D:\\tools");
    ASSERT_TRUE(set_exe_dir("/opt/laser/bin/vemtrac"));
    EXPECT_STREQ(exe_dir, "/opt/laser/bin");
    ASSERT_TRUE(set_exe_dir("/vemtrac"));
    EXPECT_STREQ(exe_dir, "");
    ASSERT_TRUE(format_job_path("Vemtrac.cmd"));
    EXPECT_STREQ(path_buf, "/Vemtrac.cmd");
}

TEST_F(ExeDir, WithoutSeparatorUsesTheRunningExecutablesFolder)
{
    ASSERT_TRUE(set_exe_dir("vemtrac"));
    EXPECT_TRUE(fs::exists(fs::path(exe_dir) / "vemtrac_tests")) << exe_dir;
}

TEST_F(ExeDir, PathsTooLongForTheBufferAreRefused)
{
    ::testing::internal::CaptureStderr();
    const std::string long_path = "/" + std::string(300, 'd') + "/vemtrac";
    EXPECT_FALSE(set_exe_dir(long_path.c_str()));
    EXPECT_FALSE(format_job_path("Vemtrac.cmd"));

    const std::string almost = "/" + std::string(250, 'd') + "/vemtrac";
    EXPECT_TRUE(set_exe_dir(almost.c_str()));
    EXPECT_FALSE(format_job_path("Vemtrac.cmd"));  // 252 + 12 characters do not fit
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("more than 259"), std::string::npos) << err;
    EXPECT_NE(err.find("longer than 259"), std::string::npos) << err;
}
