#include "machine_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include "fwShare/start_up.h"

namespace fs = std::filesystem;

void TestMachine::reset_machine()
{
    machine_reset();
    dbg_set(DBG_Event, false);
    capture_stdout([this] { InitHardwareScaleFactor(); });
}

int TestMachine::run_ticks_until_idle(int max_ticks)
{
    int ticks = 0;
    while (SVO_VectPtr != nullptr && ticks < max_ticks) {
        ++svo_tick_count;
        if (job_timing_state != 0) {
            ++phase_tick_count[phase];
        }
        svo_isr();
        ++ticks;
    }
    return ticks;
}

void plan_straight_vector(VdbData* r, std::int32_t distance, std::uint16_t steps)
{
    r->majrdisth = distance;
    r->minrdisth = 0;
    r->majrfract = 0;
    r->minrfract = 0;
    r->octant = 0;
    r->slope = 0;
    r->majrvel = 1u << 23;
    r->majrdvel = 720u * 512u;
    r->minrvel = 0;
    r->minrdvel = 0;
    r->creep = 16;
    r->acclcount = steps;
    r->ddr = 63u * 65536u;
    r->high_ddr = 0;
    r->currvel = 0;
    r->acc_index = 0;
    r->psuedodist = 0;
    r->cnrvel = 0;
    r->end_delay = 0;
}

VdbData* TestMachine::commit_straight_vector(std::int32_t distance, std::uint16_t steps,
                                             std::uint16_t end_delay)
{
    pipeflag = 1;
    VdbData* r = getfreevdb();
    plan_straight_vector(r, distance, steps);
    r->end_delay = end_delay;
    r->cmd = VECTOR;
    sendvdb(r);
    return r;
}

void TestMachine::load_pen_down_planning()
{
    pbdAxiaVel = 800;
    pbdAccel = 3600;
    LowSpeed = 0;
    CREEP_VELOCITY = 2;
    min_corner_vel = 240;
    pbdVelType = PEN_DOWN;
    End_Delay_1 = 24;
    End_Delay_2 = 100;
    End_Delay_3 = 3;
}

VdbData* TestMachine::plan_and_commit(std::int32_t dx, std::int32_t dy)
{
    VdbData* r = getfreevdb();
    if (r == nullptr) {
        ADD_FAILURE() << "no free vector record";
        return &vdb_pool[0];
    }
    _delta_move(dx, dy, r);
    sendvdb(r);
    return r;
}

void TestMachine::start_raster_job()
{
    capture_stdout([this] { srvo_off_to_on(); });
    CurrentFileRecord& f = *ptCurrentFile;
    f.RasterDPI = 300;
    f.RasterUnit = 254;
    f.ImageWidth = 300;
    f.ImageHeight = 3;
    f.RasterSpeedX = 1000;
    f.RasterSpeedY = 500;
}

std::string read_all(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string example_job(const std::string& name)
{
    return read_all(fs::path(VEMTRAC_EXAMPLES_DIR) / name);
}

std::string slow_zigzag_job(int cuts)
{
    std::string job = "VemtracCmdVer 1\nVectorSpeed";
    for (int pen = 0; pen < 16; ++pen) {
        job += " 9";
    }
    job += "\nToHpglMode 0\nexecute_penselect 1\n";
    for (int i = 0; i < cuts; ++i) {
        job += (i % 2 == 0 ? "pd_default 20000 0\n" : "pd_default -20000 0\n");
        job += "pd_default 0 40\n";
    }
    return job;
}

JobFolder::JobFolder()
{
    static int serial = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                       : "job";
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    fs::path dir = fs::temp_directory_path() /
                   ("vemtrac-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) +
                    "-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    path_ = dir.string();
    fs::copy_file(VEMTRAC_BINARY, dir / "vemtrac", fs::copy_options::overwrite_existing);
}

JobFolder::~JobFolder()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void JobFolder::write_job(const std::string& text) const
{
    write_file("Vemtrac.cmd", text);
}

void JobFolder::write_file(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(fs::path(path_) / name, std::ios::binary);
    out << bytes;
}

bool JobFolder::has_file(const std::string& name) const
{
    return fs::exists(fs::path(path_) / name);
}

std::string JobFolder::read_file(const std::string& name) const
{
    return read_all(fs::path(path_) / name);
}

int JobFolder::run(const std::string& env)
{
    const fs::path dir(path_);
    const std::string command = "cd '" + path_ + "' && " + env + " '" + (dir / "vemtrac").string() +
                                "' >stdout.txt 2>stderr.txt";
    int status = std::system(command.c_str());
    stdout_text = read_all(dir / "stdout.txt");
    stderr_text = read_all(dir / "stderr.txt");
    if (status == -1 || !WIFEXITED(status)) {
        return -1;  // could not start, or killed by a signal
    }
    return WEXITSTATUS(status);
}

std::vector<std::string> status_lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find("\r\n\r", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 3;
    }
    return lines;
}
